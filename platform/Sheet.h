// Interface files and sheets. loadNibNamed builds the windows of a GtkBuilder
// file "<name>.ui" in a bundle's resources with an owner: every outlet whose
// name is an object id in the file is filled with that object, every action
// whose name is a signal handler in the file is connected to the owner. A
// sheet window closes only through its default button: Escape and the
// window's close button press it, and Enter does unless another button has
// the focus; the owner's action for it ends the sheet with endSheet.
// Without a display, or with the file missing or malformed, nothing is
// loaded, no outlet is touched and loadNibNamed returns false.
#pragma once

#include "platform/Controls.h"

#include <cstddef>

class Bundle;

struct SOutlet
{
    const char* name;
    Control* control; // the owner's member that receives the object
};

struct SAction
{
    const char* name;
    void (*perform)(void* owner, void* sender);
};

// An action calling a member function of the owner with the sending control.
template <class Owner, void (Owner::*Method)(Control)> constexpr SAction MakeAction(const char* name)
{
    return {name, [](void* owner, void* sender) { (static_cast<Owner*>(owner)->*Method)(Control(sender)); }};
}

bool loadNibNamed(const Bundle& bundle, const char* name, void* owner, const SOutlet* outlets, size_t outletCount,
                  const SAction* actions, size_t actionCount);

// Shows the sheet over the X window parent (0: on its own) and returns when
// it has been ended, calling tick(context) every interval seconds meanwhile
// (the host's preview keeps moving). False when it could not be shown.
bool runSheet(Control sheet, unsigned long parent, double interval, void (*tick)(void*), void* context);
void endSheet(Control sheet); // hides it; a running runSheet returns
void releaseSheet(Control sheet); // destroys the window and its controls
