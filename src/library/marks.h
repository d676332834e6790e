#pragma once

#include "filesys.h"

struct GlobalState;

// Reads marked.dat into the marks line. Only a missing file means no marks yet; a file that is
// there but cannot be read (a dangling or looping link, an I/O error) is reported, and the
// marks are then never saved over it.
void LoadMarks(GlobalState &g);
// Writes the marks line to marked.dat in one step. Skipped (success) when the marks were never
// loaded, so that an exit during start-up or after a failed read cannot wipe the file. When
// another running copy has written the file since, its marks are read again (*reloaded) and
// this copy's unsaved changes put on top; the folder is locked meanwhile.
FsResult SaveMarks(GlobalState &g, bool *reloaded = nullptr);
// Saves the marks as SaveMarks does, right after a change and at exit. A failure is told once
// ("Marks Not Saved"), not again until a save has succeeded; the marks stay in memory. True
// when marks of another copy were read in.
bool SaveMarksAndTell(GlobalState &g);
// Marks a book with a colour (0: unmarks it) and saves at once; true as SaveMarksAndTell.
bool changeMark(GlobalState &g, const QByteArray &name, int colour);
