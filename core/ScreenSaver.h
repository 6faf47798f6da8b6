// CScreenSaver: the saver core each view owns. Init creates the drawer (which
// shows its error picture if the scene cannot be set up) and starts the
// ambient music on the main screen outside the preview when sounds are on.
// Draw renders one frame and updates the music; Advance lets a frame's time
// pass without drawing (the camera and the music keep their schedule); Done
// stops the music and deletes the drawer. All calls but Advance need the
// view's OpenGL context current.
#pragma once

#include "core/Config.h"

class CDrawer;

class CScreenSaver
{
public:
    CScreenSaver();
    ~CScreenSaver(); // deletes a drawer that Done did not

    CScreenSaver(const CScreenSaver&) = delete;
    CScreenSaver& operator=(const CScreenSaver&) = delete;

    bool Init(const SCONFIG* config); // false only when no drawer could be made
    void Draw(); // one frame; the music is updated even without a drawer
    void Advance(); // one frame's time, nothing drawn; the music is updated
    void Done(); // stops the music of every view; harmless twice

    CDrawer* m_pDrawer; // owned; null when no scene exists
};
