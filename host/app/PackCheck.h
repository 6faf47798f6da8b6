// A look at the pack before recording: the saver shows an error picture, or
// a white one, when its scene cannot load, and reports nothing. The host says
// it instead, naming the first entry the scene needs that the pack cannot
// give (missing, damaged, or not under the pack password).
#pragma once

#include <string>

// The first such entry, or "" when all load or the pack cannot be opened at
// all (that failure is reported where the recording opens it). Leaves no pack open.
std::string FirstUnloadableSceneEntry(const std::string& packPath);
