// One output of the compositor and what it says about itself: its name, its
// place and size in the layout (xdg-output's logical ones where offered),
// its integer scale; and the surface of ours on it, if any. Its state counts
// only once wl_output.done (and xdg-output's description, where bound) say
// it is whole; then the host hears of it, and again at every later change.
#pragma once

#include "host/wayland/Surface.h"

#include <memory>
#include <string>

class COutput;

class IWlOutputOwner
{
public:
    virtual ~IWlOutputOwner() = default;
    virtual void OnOutputDone(COutput* output) = 0; // its state is whole (again)
    // Its scale, mode, place or logical size is changing: said at the event,
    // before its done, since the compositor may move the pointer to the new
    // surface-local position in between.
    virtual void OnOutputChanging(COutput* output) = 0;
};

struct SOutputState
{
    std::string m_Name; // as the compositor names it: "HEADLESS-1", "DP-2"
    int m_nX = 0, m_nY = 0; // logical position in the layout
    int m_nWidth = 0, m_nHeight = 0; // logical size; 0 until known
    int m_nModeWidth = 0, m_nModeHeight = 0; // pixels
    int m_nScale = 1;
    bool m_bLogical = false; // position and size came from xdg-output

    int LogicalWidth() const { return m_bLogical ? m_nWidth : m_nModeWidth / m_nScale; }
    int LogicalHeight() const { return m_bLogical ? m_nHeight : m_nModeHeight / m_nScale; }
};

class COutput
{
public:
    COutput(IWlOutputOwner& owner, uint32_t global, wl_output* output); // takes output
    ~COutput(); // its surface (and so its view, which the host removes first) go before it
    COutput(const COutput&) = delete;
    COutput& operator=(const COutput&) = delete;

    // Asks xdg-output for the logical description (once the manager is bound).
    void Describe(zxdg_output_manager_v1* manager);

    uint32_t Global() const { return m_nGlobal; }
    wl_output* Get() const { return m_Output.get(); }
    bool Whole() const { return m_bWhole; }
    const SOutputState& State() const { return m_State; }
    std::string Name() const { return m_State.m_Name.empty() ? "an output" : m_State.m_Name; }

    std::unique_ptr<CWlSurface> m_pSurface; // ours on it; null: none now

    // Listener glue; data is the COutput.
    static void Geometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                         const char* model, int32_t);
    static void Mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t);
    static void Done(void* data, wl_output*);
    static void Scale(void* data, wl_output*, int32_t factor);
    static void NameEvent(void* data, wl_output*, const char* name);
    static void XdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y);
    static void XdgSize(void* data, zxdg_output_v1*, int32_t width, int32_t height);
    static void XdgDone(void* data, zxdg_output_v1*);
    static void XdgName(void* data, zxdg_output_v1*, const char* name);

private:
    void _Settle();
    // Sets a field of the pending state; a new value tells the owner at once.
    void _Change(int& field, int value);

    IWlOutputOwner& m_Owner;
    uint32_t m_nGlobal; // the registry's name of it
    wl::Output m_Output;
    wl::XdgOutput m_XdgOutput;
    SOutputState m_Pending; // as the events describe it, until done
    SOutputState m_State; // as of the last done
    bool m_bOutputDone = false; // wl_output.done came once
    bool m_bXdgDone = false; // xdg-output's done came once (or none was asked)
    bool m_bWhole = false;
};
