// SaverMessageBox: a modal message with a title, a message and one "OK"
// button, for the rare thing the user must know (settings that could not be
// stored). Both texts are shown as they stand. Returns 1 when OK was
// pressed; 0 when there is no display to show it on or it was dismissed
// otherwise.
#pragma once

int SaverMessageBox(const char* title, const char* message);
