#include "readerfolder.h"

#include "bookname.h"
#include "commandqueue.h"
#include "globalstate.h"
#include "naturalsort.h"
#include "prompter.h"
#include "volumes.h"

#include <QFile>
#include <QLocale>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>

ReaderFolder::ReaderFolder(GlobalState &state, CommandQueue &commands, QObject *parent)
    : QObject(parent)
    , g(state)
    , m_commands(commands)
{ }

QByteArray ReaderFolder::folder() const
{
    const std::optional<ReaderDevice> d = device ? device() : std::nullopt;
    return d ? d->books : QFile::encodeName(g.ReaderFolder);
}

bool ReaderFolder::ensureFolder()
{
    while (folder().isEmpty()) {
        g.prompter->message(QStringLiteral("Main Book Folder not identified."),
                            QStringLiteral("You must indicate the location of the eBook Reader "
                                           "Content Folder.\r\nPress 'OK' to continue."));
        if (!askForFolders || !askForFolders())
            return false;
    }
    return true;
}

namespace {

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// The checks a reader needs, then the copy, on the job's thread.
TransferOutcome sendWork(const FileSys &fs, Job::Context &job, const Path &book, const Path &folder,
                         const std::optional<ReaderDevice> &device)
{
    const QByteArray file = lastPathPart(book.bytes());
    const QString name = shownName(file);
    const Path target = folder / file;
    const QString title = QStringLiteral("Cannot Copy Book");
    if (fs.sameFile(book, target))
        return {TransferResult::SameFile,
                {QStringLiteral("Same Folder"),
                 QStringLiteral("'%1' already lies in the eBook Reader Content Folder: that "
                                "folder is the folder of its shelf. Nothing was copied.")
                     .arg(name)},
                {}};
    const qint64 size = fs.stamp(book).size;
    struct statvfs room;
    if (device && size >= 0) {
        // Nothing is written that cannot fit.
        if (device->type == "vfat" && size >= (qint64(4) << 30))
            return {TransferResult::Declined,
                    {title,
                     QStringLiteral("'%1' is 4 GiB or larger: a reader formatted with "
                                    "FAT32 cannot hold a file that large.")
                         .arg(name)},
                    {}};
        if (::statvfs(folder.c_str(), &room) == 0
            && qint64(room.f_bavail) * qint64(room.f_frsize) < size)
            return {TransferResult::Declined,
                    {QStringLiteral("Not Enough Room on the Reader"),
                     QStringLiteral("The reader has %1 free; '%2' needs %3.")
                         .arg(sizeText(qint64(room.f_bavail) * qint64(room.f_frsize)), name,
                              sizeText(size))},
                    {}};
    }
    if (fatRejectsName(name)) {
        const QString why
            = QStringLiteral("'%1' cannot be stored on a reader device formatted with FAT or "
                             "exFAT: such devices refuse the characters : * ? \" < > | \\ "
                             "and a name ending in a dot or a blank.")
                  .arg(name);
        const QString refused = QStringLiteral("Name Not Accepted by the Reader");
        const auto volume = Volumes::of(folder.bytes(), fs.sys());
        if (volume && volume->isFat())
            return {TransferResult::Declined,
                    {refused, why + QStringLiteral("\r\nRename the book, then send it again.")},
                    {}};
        if (job.ask(refused, why + QStringLiteral("\r\nCopy it anyway?"),
                    Prompter::Buttons::OkCancel)
            != Prompter::Answer::Ok)
            return {};
    }
    TransferOutcome sent = transferBooks(
        fs, job,
        {{book, target, false, title,
          QStringLiteral("'%1' could not be copied to the eBook Reader Content Folder.")
              .arg(name)}});
    // A reader pulled out: its mount point is gone, or is a plain folder again.
    struct stat after;
    if (sent.result == TransferResult::Failed && device
        && (fs.sys().stat(device->root.constData(), &after) != 0
            || quint64(after.st_dev) != device->device))
        sent.failure
            = {title, QStringLiteral("The reader went away while '%1' was copied.").arg(name)};
    return sent;
}

} // namespace

void ReaderFolder::send(const Path &book, std::function<void(TransferResult)> sent)
{
    if (lastPathPart(book.bytes()).isEmpty() || !ensureFolder())
        return;
    const Path to(folder());
    const std::optional<ReaderDevice> d = device ? device() : std::nullopt;
    auto outcome = std::make_shared<TransferOutcome>();
    m_commands.run({to.shown(),
                    to.bytes(),
                    {book.bytes(), (to / lastPathPart(book.bytes())).bytes()},
                    [fs = g.FileSys, book, to, d, outcome](Job::Context &job) {
                        *outcome = sendWork(fs, job, book, to, d);
                        return outcome->failure;
                    },
                    [this, outcome, sent](Job::Outcome ended) {
                        if (ended == Job::Outcome::Stopped)
                            return; // the work may still run: its outcome is not looked at
                        if (outcome->result == TransferResult::Done)
                            emit readerChanged();
                        if (m_listing) // an open listing shows the folder as it is now
                            readListing();
                        if (sent)
                            sent(outcome->result);
                    }});
}

void ReaderFolder::deleteBook(const QByteArray &path)
{
    const Path books(folder());
    if (path.isEmpty() || books.isEmpty()
        || !g.prompter->agrees(QStringLiteral("Delete from Reader"),
                               QStringLiteral("'%1' will be deleted from the reader, with what "
                                              "the reader noted of it.\r\n\r\nAre you sure?")
                                   .arg(shownName(path)),
                               Prompter::Buttons::YesNo))
        return;
    // Its sidecar folder: the book's path without its format part, then ".sdr".
    const qsizetype dot = path.lastIndexOf('.');
    const QByteArray sidecar
        = (dot > path.lastIndexOf('/') ? path.left(dot) : path) + QByteArrayLiteral(".sdr");
    const QString name = shownName(lastPathPart(path));
    m_commands.run({books.shown(),
                    books.bytes(),
                    {(books / path).bytes(), (books / sidecar).bytes()},
                    [fs = g.FileSys, book = books / path, sidecar = books / sidecar,
                     name](Job::Context &job) -> Notice {
                        const auto deleted = job.change(
                            QStringLiteral("'%1' may still be deleted when the reader answers "
                                           "again.")
                                .arg(name),
                            [&] { return fs.DeleteFile(book); });
                        if (!deleted)
                            return {};
                        if (!*deleted)
                            return {QStringLiteral("Cannot Delete Book"),
                                    QStringLiteral("'%1' could not be deleted from the reader."
                                                   "\r\n\r\n%2")
                                        .arg(name, deleted->error())};
                        // What the reader noted of it goes too: its files, then the folder.
                        std::vector<QByteArray> files, folders {sidecar.bytes()};
                        fs.walk(sidecar, [&](const QByteArray &p, bool folder) {
                            (folder ? folders : files).push_back((sidecar / p).bytes());
                            return true;
                        });
                        for (const QByteArray &f : files)
                            fs.DeleteFile(f);
                        for (auto f = folders.rbegin(); f != folders.rend(); ++f)
                            fs.DeleteFolder(*f);
                        return {};
                    },
                    [this](Job::Outcome) {
                        emit readerChanged();
                        if (m_listing)
                            readListing();
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
    struct Read
    {
        NameList paths;
        QString error;
    };
    const Path books(folder());
    auto answer = [this](Read read) {
        if (!m_listing && !m_opening)
            return; // closed meanwhile
        m_opening = false;
        if (!read.error.isEmpty()) {
            m_listing.reset();
            emit reported({QStringLiteral("Cannot List Reader Folder"),
                           QStringLiteral("The eBook Reader Content Folder cannot be read.\r\n\r\n")
                               + read.error});
        } else {
            m_listing = QList<QByteArray>();
            for (int i = 0; i < read.paths.size(); ++i)
                m_listing->append(read.paths.bytesAt(i));
        }
        emit listingChanged();
    };
    g.askDisk<Read>(
        books.bytes(), this,
        [fs = g.FileSys, books] {
            Read read;
            const auto opened = fs.GetFolder(books);
            read.error = opened.error();
            // The books of the folder and its sub-folders, without the readers' own notes.
            if (opened)
                fs.walk(books, [&](const QByteArray &path, bool folder) {
                    if (!folder)
                        read.paths.add(std::string_view(path.constData(), size_t(path.size())));
                    return !path.endsWith(".sdr");
                });
            return read;
        },
        answer);
}
