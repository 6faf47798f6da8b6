// Control: a widget of a loaded interface file (a check box, a slider, a
// label, a button or the sheet window itself) as the saver sees it, with the
// operations a settings sheet needs. A default-constructed control is nil:
// every operation on it does nothing and readings are 0, so a view can use an
// outlet the interface file did not connect. Controls belong to their window;
// copying one copies the reference.
#pragma once

#include <string>

class Control
{
public:
    Control() = default;
    explicit Control(void* widget)
        : m_pWidget(widget)
    {}

    explicit operator bool() const { return m_pWidget != nullptr; }
    bool operator==(const Control& other) const = default;
    void* widget() const { return m_pWidget; }

    int state() const; // check box: 1 on, 0 off
    void setState(int state);
    int intValue() const; // slider or spin value, rounded
    void setIntValue(int value); // clamped to the control's range by the control
    void setEnabled(bool enabled);
    void setStringValue(const std::string& text); // label or text field; shown as it stands

private:
    void* m_pWidget = nullptr;
};
