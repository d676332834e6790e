#pragma once

#include "filesys.h"

struct GlobalState;

// Reads marked.dat into the marks line. Only a missing file means no marks yet; a file that is
// there but cannot be read (a dangling or looping link, an I/O error) is returned as a notice,
// and the marks are then never saved over it.
Notice LoadMarks(GlobalState &g);
// Writes the marks line to marked.dat in one step. Skipped (success) when the marks were never
// loaded, so that an exit during start-up or after a failed read cannot wipe the file. When
// another running copy has written the file since, its marks are read again (*reloaded) and
// this copy's unsaved changes put on top; the folder is locked meanwhile.
Result<> SaveMarks(GlobalState &g, bool *reloaded = nullptr);
// How a save of the marks went: whether marks of another copy were read in, and a failure to
// tell ("Marks Not Saved"), given once, not again until a save has succeeded.
struct MarksSaved
{
    bool reloaded = false;
    Notice failure;
};
// Saves the marks as SaveMarks does, right after a change and at exit; the marks stay in memory
// when it fails.
MarksSaved SaveMarksAndTell(GlobalState &g);
// Marks a book with a colour (0: unmarks it) and saves at once.
MarksSaved changeMark(GlobalState &g, const QByteArray &name, int colour);
