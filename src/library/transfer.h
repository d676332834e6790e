#pragma once

#include "filesys.h"

#include <QString>
#include <vector>

class Prompter;

// One book on its way: from where to where, moved or copied, and what a failure says.
struct Transfer
{
    Path source;
    Path target;
    bool move = false;
    QString failureTitle; // "Cannot Copy Book"
    QString failureText; // "'Emma.txt' could not be copied to the shelf Fiction."
};

enum class TransferResult { SameFile, Declined, Done, Failed };

// How a transfer ended, and what its failure says (empty unless it failed).
struct TransferOutcome
{
    TransferResult result;
    Notice failure;
};

// The one way every book travels (a drop on a shelf or on the reader, a drop from a file
// manager, adding from another folder): nothing at all when source and target are one file;
// the overwrite question when the target exists (Cancel ends it); then the copy or the move,
// off the window's thread with progress and Cancel, which replaces an old target only once the
// new one is complete; a failure returned with the file and the system's reason.
TransferOutcome transferBook(const FileSys &fs, Prompter &prompter, const Transfer &t);
// Several books at once (a drop of many files, files added together): each target that exists
// is asked about first, with "Yes to All" and "No to All" besides OK and Cancel (Cancel skips
// that book); then all travel in one job with one progress. A failure stops the batch and
// says which books arrived. Done when any book arrived.
TransferOutcome transferBooks(const FileSys &fs, Prompter &prompter,
                              const std::vector<Transfer> &batch);
