#pragma once

#include "filesys.h"

struct GlobalState;

// Reads marked.dat into the marks line. Only a missing file means no marks yet; a file that is
// there but cannot be read (a dangling or looping link, an I/O error) is reported, and the
// marks are then never saved over it.
void LoadMarks(GlobalState &g);
// Writes the marks line to marked.dat in one step. Skipped (success) when the marks were never
// loaded, so that an exit during start-up or after a failed read cannot wipe the file.
FsResult SaveMarks(GlobalState &g);
// Saves the marks as SaveMarks does, right after a change and at exit. A failure is told once
// ("Marks Not Saved"), not again until a save has succeeded; the marks stay in memory.
void SaveMarksAndTell(GlobalState &g);
