#include "readerfolder.h"

#include "bookname.h"
#include "desktop.h"
#include "globalstate.h"
#include "prompter.h"

ReaderFolder::ReaderFolder(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
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

TransferResult ReaderFolder::send(const Path &book)
{
    const QByteArray file = lastPathPart(book.bytes());
    if (!ensureFolder() || file.isEmpty())
        return TransferResult::Declined;
    const QString name = shownName(file);
    const Path target = Path(g.ReaderFolder) / file;
    if (g.FileSys.sameFile(book, target)) {
        emit reported({QStringLiteral("Same Folder"),
                       QStringLiteral("'%1' already lies in the eBook Reader Content Folder: that "
                                      "folder is the folder of its shelf. Nothing was copied.")
                           .arg(name)});
        return TransferResult::SameFile;
    }
    if (fatRejectsName(name)) {
        const QString why
            = QStringLiteral("'%1' cannot be stored on a reader device formatted with FAT or "
                             "exFAT: such devices refuse the characters : * ? \" < > | \\ "
                             "and a name ending in a dot or a blank.")
                  .arg(name);
        const QString title = QStringLiteral("Name Not Accepted by the Reader");
        if (Desktop::onFatVolume(g.ReaderFolder)) {
            emit reported(
                {title, why + QStringLiteral("\r\nRename the book, then send it again.")});
            return TransferResult::Declined;
        }
        if (!g.prompter->agrees(title, why + QStringLiteral("\r\nCopy it anyway?"),
                                Prompter::Buttons::OkCancel))
            return TransferResult::Declined;
    }
    const TransferOutcome sent
        = transferBook(g.FileSys, *g.prompter,
                       {book, target, false, QStringLiteral("Cannot Copy Book"),
                        QStringLiteral("'%1' could not be copied to the eBook Reader Content "
                                       "Folder.")
                            .arg(name)});
    emit reported(sent.failure);
    if (m_listing) { // an open listing shows the folder as it is now
        m_listing = listing();
        emit listingChanged();
    }
    return sent.result;
}

std::optional<QStringList> ReaderFolder::listing()
{
    if (!ensureFolder())
        return std::nullopt;
    const auto folder = g.FileSys.GetFolder(g.ReaderFolder);
    QString error = folder.error();
    const NameList names = folder ? folder->fileNames(&error, true) : NameList();
    if (!error.isEmpty()) {
        emit reported(
            {QStringLiteral("Cannot List Reader Folder"),
             QStringLiteral("The eBook Reader Content Folder cannot be read.\r\n\r\n") + error});
        return std::nullopt;
    }
    return names.toStringList();
}

void ReaderFolder::toggleListing()
{
    m_listing = m_listing ? std::nullopt : listing();
    emit listingChanged();
}
