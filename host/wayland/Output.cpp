#include "host/wayland/Output.h"

#include <algorithm>

namespace {

void NoDescription(void*, wl_output*, const char*)
{}
void NoXdgDescription(void*, zxdg_output_v1*, const char*)
{}

const wl_output_listener OutputListener = {COutput::Geometry, COutput::Mode,      COutput::Done,
                                           COutput::Scale,    COutput::NameEvent, NoDescription};
const zxdg_output_v1_listener XdgOutputListener = {COutput::XdgPosition, COutput::XdgSize, COutput::XdgDone,
                                                   COutput::XdgName, NoXdgDescription};

constexpr int MaxScale = 8;

} // namespace

COutput::COutput(IWlOutputOwner& owner, uint32_t global, wl_output* output)
    : m_Owner(owner)
    , m_nGlobal(global)
    , m_Output(output)
{
    wl_output_add_listener(output, &OutputListener, this);
    m_bXdgDone = true; // until xdg-output is asked
}

COutput::~COutput()
{
    m_pSurface.reset();
    m_XdgOutput.reset();
}

void COutput::Describe(zxdg_output_manager_v1* manager)
{
    if (!manager || m_XdgOutput)
        return;
    m_XdgOutput.reset(zxdg_output_manager_v1_get_xdg_output(manager, m_Output.get()));
    zxdg_output_v1_add_listener(m_XdgOutput.get(), &XdgOutputListener, this);
    m_bXdgDone = false;
}

// Whole once both descriptions came at least once; from xdg-output version 3
// its events are followed by wl_output.done alone. Later, either done settles.
void COutput::_Settle()
{
    const bool xdgByOutput = m_XdgOutput && zxdg_output_v1_get_version(m_XdgOutput.get()) >= 3;
    if (!m_bOutputDone || !(m_bXdgDone || xdgByOutput))
        return;
    m_State = m_Pending;
    if (m_XdgOutput && !m_State.m_bLogical)
        return; // xdg-output has not spoken yet
    m_bWhole = true;
    m_Owner.OnOutputDone(this);
}

void COutput::_Change(int& field, int value)
{
    if (field == value)
        return;
    field = value;
    m_Owner.OnOutputChanging(this);
}

void COutput::Geometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                       const char* model, int32_t)
{
    auto* o = static_cast<COutput*>(data);
    if (!o->m_Pending.m_bLogical) {
        o->_Change(o->m_Pending.m_nX, x);
        o->_Change(o->m_Pending.m_nY, y);
    }
    if (o->m_Pending.m_Name.empty() && model)
        o->m_Pending.m_Name = model;
}

void COutput::Mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t)
{
    auto* o = static_cast<COutput*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->_Change(o->m_Pending.m_nModeWidth, std::max(width, 0));
        o->_Change(o->m_Pending.m_nModeHeight, std::max(height, 0));
    }
}

void COutput::Done(void* data, wl_output*)
{
    auto* o = static_cast<COutput*>(data);
    o->m_bOutputDone = true;
    o->_Settle();
}

void COutput::Scale(void* data, wl_output*, int32_t factor)
{
    auto* o = static_cast<COutput*>(data);
    o->_Change(o->m_Pending.m_nScale, std::clamp(factor, 1, MaxScale));
}

void COutput::NameEvent(void* data, wl_output*, const char* name)
{
    if (name)
        static_cast<COutput*>(data)->m_Pending.m_Name = name;
}

void COutput::XdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y)
{
    auto* o = static_cast<COutput*>(data);
    o->_Change(o->m_Pending.m_nX, x);
    o->_Change(o->m_Pending.m_nY, y);
    o->m_Pending.m_bLogical = true;
}

void COutput::XdgSize(void* data, zxdg_output_v1*, int32_t width, int32_t height)
{
    auto* o = static_cast<COutput*>(data);
    o->_Change(o->m_Pending.m_nWidth, std::max(width, 0));
    o->_Change(o->m_Pending.m_nHeight, std::max(height, 0));
    o->m_Pending.m_bLogical = true;
}

void COutput::XdgDone(void* data, zxdg_output_v1*)
{
    auto* o = static_cast<COutput*>(data);
    o->m_bXdgDone = true;
    o->_Settle();
}

void COutput::XdgName(void* data, zxdg_output_v1*, const char* name)
{
    if (name)
        static_cast<COutput*>(data)->m_Pending.m_Name = name;
}
