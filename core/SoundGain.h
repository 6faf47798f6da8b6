// The two music track gains (0..1). The drawer's camera cycle writes them each
// frame; the ambient music player applies them. Process-wide, both 0 at load,
// main thread only.
#pragma once

extern float g_SoundGain[2]; // [0]: track 0 (theme 1), [1]: track 1 (theme 2)
