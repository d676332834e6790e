#include "readerfolder.h"

#include "bookname.h"
#include "commandqueue.h"
#include "diskexecutor.h"
#include "globalstate.h"
#include "prompter.h"
#include "volumes.h"

#include <memory>

ReaderFolder::ReaderFolder(GlobalState &state, CommandQueue &commands, QObject *parent)
    : QObject(parent)
    , g(state)
    , m_commands(commands)
{ }

bool ReaderFolder::ensureFolder()
{
    while (g.ReaderFolder.isEmpty()) {
        g.prompter->message(QStringLiteral("Main Book Folder not identified."),
                            QStringLiteral("You must indicate the location of the eBook Reader "
                                           "Content Folder.\r\nPress 'OK' to continue."));
        if (!askForFolders || !askForFolders())
            return false;
    }
    return true;
}

namespace {

// The checks a reader device needs, then the copy, on the job's thread.
TransferOutcome sendWork(const FileSys &fs, Job::Context &job, const Path &book, const Path &folder)
{
    const QByteArray file = lastPathPart(book.bytes());
    const QString name = shownName(file);
    const Path target = folder / file;
    if (fs.sameFile(book, target))
        return {TransferResult::SameFile,
                {QStringLiteral("Same Folder"),
                 QStringLiteral("'%1' already lies in the eBook Reader Content Folder: that "
                                "folder is the folder of its shelf. Nothing was copied.")
                     .arg(name)},
                {}};
    if (fatRejectsName(name)) {
        const QString why
            = QStringLiteral("'%1' cannot be stored on a reader device formatted with FAT or "
                             "exFAT: such devices refuse the characters : * ? \" < > | \\ "
                             "and a name ending in a dot or a blank.")
                  .arg(name);
        const QString title = QStringLiteral("Name Not Accepted by the Reader");
        const auto volume = Volumes::of(folder.bytes(), fs.sys());
        if (volume && volume->isFat())
            return {TransferResult::Declined,
                    {title, why + QStringLiteral("\r\nRename the book, then send it again.")},
                    {}};
        const Prompter::Answer a = job.ask(title, why + QStringLiteral("\r\nCopy it anyway?"),
                                           Prompter::Buttons::OkCancel);
        if (a != Prompter::Answer::Ok)
            return {};
    }
    return transferBooks(fs, job,
                         {{book, target, false, QStringLiteral("Cannot Copy Book"),
                           QStringLiteral("'%1' could not be copied to the eBook Reader Content "
                                          "Folder.")
                               .arg(name)}});
}

} // namespace

void ReaderFolder::send(const Path &book, std::function<void(TransferResult)> sent)
{
    if (!ensureFolder() || lastPathPart(book.bytes()).isEmpty())
        return;
    const Path folder(g.ReaderFolder);
    auto outcome = std::make_shared<TransferOutcome>();
    m_commands.run({folder.shown(),
                    folder.bytes(),
                    {book.bytes(), (folder / lastPathPart(book.bytes())).bytes()},
                    [fs = g.FileSys, book, folder, outcome](Job::Context &job) {
                        *outcome = sendWork(fs, job, book, folder);
                        return outcome->failure;
                    },
                    [this, outcome, sent](Job::Outcome ended) {
                        if (ended == Job::Outcome::Stopped)
                            return; // the work may still run: its outcome is not looked at
                        if (m_listing) // an open listing shows the folder as it is now
                            readListing();
                        if (sent)
                            sent(outcome->result);
                    }});
}

void ReaderFolder::toggleListing()
{
    if (m_listing || m_opening) {
        m_listing.reset();
        m_opening = false;
        emit listingChanged();
        return;
    }
    if (!ensureFolder())
        return;
    m_opening = true;
    readListing();
}

void ReaderFolder::readListing()
{
    using Read = std::pair<NameList, QString>;
    const Path folder(g.ReaderFolder);
    auto answer = [this](Read read) {
        if (!m_listing && !m_opening)
            return; // closed meanwhile
        m_opening = false;
        if (!read.second.isEmpty()) {
            m_listing.reset();
            emit reported({QStringLiteral("Cannot List Reader Folder"),
                           QStringLiteral("The eBook Reader Content Folder cannot be read.\r\n\r\n")
                               + read.second});
        } else {
            m_listing = read.first.toStringList();
        }
        emit listingChanged();
    };
    auto work = [fs = g.FileSys, folder] {
        Read read;
        const auto opened = fs.GetFolder(folder);
        read.second = opened.error();
        if (opened)
            read.first = opened->fileNames(&read.second, true); // a crash's leftovers go
        return read;
    };
    if (!g.offThread)
        return answer(work());
    DiskExecutor::shared().ask<Read>(folder.bytes(), this, work, answer);
}
