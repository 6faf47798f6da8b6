// Time and randomness shared by the scene code.
// GetTime: wall-clock seconds (not monotonic; callers take differences).
// RangeRand: one rand() draw mapped onto [min, max], both ends included;
// the order of calls across the scene fixes the random sequence.
#pragma once

double GetTime(); // seconds
float RangeRand(float min, float max);

// Tests drive the clock through this; a null source restores the wall clock.
// The module itself never installs one.
using TimeSource = double (*)();
void SetTimeSourceForTesting(TimeSource source);
