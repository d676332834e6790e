#pragma once

#include "filesys.h"
#include "job.h"

#include <QString>
#include <vector>

// One book on its way: from where to where, moved or copied, and what a failure says.
struct Transfer
{
    Path source;
    Path target;
    bool move = false;
    QString failureTitle; // "Cannot Copy Book"
    QString failureText; // "'Emma.txt' could not be copied to the shelf Fiction."
};

// A book going to a shelf (a drop, a paste, files added from another folder): the one wording
// of such a transfer's failure.
Transfer toShelf(const Path &source, const Path &shelfFolder, const QByteArray &shelfName,
                 bool move);

enum class TransferResult { SameFile, Declined, Done, Failed };

// How a transfer ended, what its failure says (empty unless it failed), and which books arrived.
struct TransferOutcome
{
    TransferResult result = TransferResult::Declined;
    Notice failure;
    std::vector<Path> arrived; // the sources of the books that arrived
};

// The one way every book travels (a drop on a shelf or on the reader, a drop from a file
// manager, a paste, adding from another folder), on the job's thread: nothing at all when
// source and target are one file; the overwrite question when the target exists (Cancel skips
// the book); then the copy or the move with its progress, which replaces an old target only
// once the new one is complete. With several books, each target that exists is asked about
// first, with "Yes to All" and "No to All" besides OK and Cancel; a failure stops the batch and
// says which books arrived. A stop ends it after the book under way, which is then in one place
// only. Done when any book arrived.
TransferOutcome transferBooks(const FileSys &fs, Job::Context &job,
                              const std::vector<Transfer> &batch);
