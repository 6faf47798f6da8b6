// Private to platform/: what every headless EGL context of ours shares: one
// display on Mesa's surfaceless platform for the whole process. The
// framebuffer objects they draw into are in OffscreenFramebuffer.h.
#pragma once

#include <EGL/egl.h>

#include <string>

// The surfaceless display, initialised on first use and kept for the life of
// the process: terminating it unloads Mesa's driver while allocations made
// from it live on, and a process that makes a context again would pay for
// loading it anew. EGL_NO_DISPLAY when there is none (error says why).
EGLDisplay GetSurfacelessDisplay(std::string* error);

std::string EglError(const char* what); // "what failed (EGL error 0x....)"
