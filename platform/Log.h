// The module's log: one line on standard error, prefixed with the program's
// name, like the host platform's own log. The module logs one thing only.
#pragma once

void SaverLog(const char* line);
