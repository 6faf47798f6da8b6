// Finding and loading the saver module. A bundle is the Veltrix.saver folder;
// the module is its Contents/Linux/Veltrix.so. The loaded module stays loaded
// until the process ends: its process-wide objects (the music player, the
// pack handle, the OpenGL driver it loaded) live as long as the process.
#pragma once

#include "platform/SaverModule.h"

#include <string>

// The bundle to load: requested when not empty, else Veltrix.saver beside the
// running program, else the installed one at <program folder>/../lib/veltrix/
// Veltrix.saver; the one beside the program when neither exists (so an error
// names where it was looked for).
std::string FindModuleBundle(const std::string& requested);

// <bundle>/Contents/Linux/Veltrix.so
std::string ModuleLibraryPath(const std::string& bundle);

// dlopens the bundle's module and asks it for its table. Null with the
// one-line reason "cannot load module PATH: WHY" when it is missing, does not
// load, has no entry point or speaks another interface version.
const SSaverModule* LoadModule(const std::string& bundle, std::string& error);
