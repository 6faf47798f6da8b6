#include "platform/Controls.h"

#include "platform/SheetLibrary.h"

// A control exists only once the sheet library loaded it, so the library is
// there whenever a control is not nil.
int Control::state() const
{
    return m_pWidget ? SheetLibrary()->state(m_pWidget) : 0;
}

void Control::setState(int state)
{
    if (m_pWidget)
        SheetLibrary()->set_state(m_pWidget, state);
}

int Control::intValue() const
{
    return m_pWidget ? SheetLibrary()->int_value(m_pWidget) : 0;
}

void Control::setIntValue(int value)
{
    if (m_pWidget)
        SheetLibrary()->set_int_value(m_pWidget, value);
}

void Control::setEnabled(bool enabled)
{
    if (m_pWidget)
        SheetLibrary()->set_enabled(m_pWidget, enabled ? 1 : 0);
}

void Control::setStringValue(const std::string& text)
{
    if (m_pWidget)
        SheetLibrary()->set_string_value(m_pWidget, text.c_str());
}
