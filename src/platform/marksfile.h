#pragma once

#include "filesys.h"

struct GlobalState;

// Reads marked.dat into the marks line; no file, or an empty one, gives no marks. A file that
// cannot be read is reported, and the marks are then never saved over it.
void LoadMarks(GlobalState &g);
// Writes the marks line to marked.dat in one step. Skipped (success) when the marks were never
// loaded, so that an exit during start-up cannot wipe the file.
FsResult SaveMarks(GlobalState &g);
