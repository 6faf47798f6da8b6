#include "core/SoundGain.h"

float g_SoundGain[2] = {0.0f, 0.0f};
