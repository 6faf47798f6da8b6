// Ending a recording early: after CatchStopSignals, SIGINT (Ctrl-C) and
// SIGTERM only set a flag that the recorder reads before each frame, so the
// run ends as if its last frame had come (frames whole, audio file complete,
// temporary files gone). A second signal of the same kind acts as usual and
// ends the process at once, for a run that no longer reacts.
#pragma once

void CatchStopSignals();
bool StopRequested(); // true once a stop signal arrived
