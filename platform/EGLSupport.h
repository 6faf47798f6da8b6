// Private to platform/: what every headless EGL context of ours shares: one
// display for the whole process, on the first platform that gives one. The
// framebuffer objects they draw into are in OffscreenFramebuffer.h.
#pragma once

#include <EGL/egl.h>

#include <string>

// The headless display, initialised on first use and kept for the life of
// the process: terminating it unloads the driver while allocations made from
// it live on, and a process that makes a context again would pay for loading
// it anew. EGL_NO_DISPLAY when there is none (error says why).
// Platforms in order: Mesa's surfaceless one; the device platform
// (EGL_EXT_platform_device: any EGL with devices, NVIDIA's among them), a
// hardware device before Mesa's software one; the default display. The
// environment variable VELTRIX_EGL_PLATFORM set to "surfaceless", "device"
// or "default" allows only that one.
EGLDisplay GetSurfacelessDisplay(std::string* error);

// The platform GetSurfacelessDisplay settled on ("surfaceless", "device",
// "default"), empty before the first call or when none gave a display.
const char* HeadlessPlatformName();

std::string EglError(const char* what); // "what failed (EGL error 0x....)"
