#include "readerdevices.h"

#include "bookcase.h"
#include "diskexecutor.h"
#include "globalstate.h"

#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool isFolder(const FileSys &fs, const QByteArray &path)
{
    struct stat st;
    return fs.sys().stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What a Kobo's database says of the books read on it, by their paths from its root. The
// reader may be writing it: a copy (with its log) is opened, read-only, and never written.
QHash<QByteArray, ReadStatus> koboStatuses(const QByteArray &root)
{
    QHash<QByteArray, ReadStatus> found;
    QTemporaryDir aside;
    const QString copy = aside.filePath(QStringLiteral("KoboReader.sqlite"));
    const QString database = QFile::decodeName(root + "/.kobo/KoboReader.sqlite");
    if (!aside.isValid() || !QFile::copy(database, copy))
        return found;
    QFile::copy(database + QStringLiteral("-wal"), copy + QStringLiteral("-wal"));
    static std::atomic<int> made = 0;
    const QString name = QStringLiteral("quillrack-kobo-%1").arg(++made);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(copy);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (db.open()
            && q.exec(QStringLiteral("SELECT ContentID, ReadStatus, ___PercentRead FROM content "
                                     "WHERE ContentType = 6"))) {
            while (q.next() && found.size() < 100000) {
                const QByteArray path = koboBookPath(q.value(0).toString());
                if (!path.isEmpty())
                    found.insert(path, koboStatus(q.value(1).toInt(), q.value(2).toInt()));
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return found;
}

// A KOReader sidecar folder's status: its first metadata.<format>.lua.
ReadStatus sidecarOf(const FileSys &fs, const QByteArray &folder)
{
    QByteArray file;
    fs.folderAt(folder).eachEntry([&](std::string_view name, bool isFolder) {
        const QByteArray n(name.data(), qsizetype(name.size()));
        if (!isFolder && file.isEmpty() && n.startsWith("metadata.") && n.endsWith(".lua"))
            file = folder + '/' + n;
    });
    const Result<QByteArray> lua
        = file.isEmpty() ? Result<QByteArray>::failure({}) : fs.readFile(file, 1 << 20);
    return lua ? sidecarStatus(*lua) : ReadStatus();
}

} // namespace

const ReaderContents::Book *ReaderContents::find(const QByteArray &fileName, qint64 size) const
{
    for (const size_t i : m_byName.value(fileName)) {
        if (books[i].size == size)
            return &books[i];
    }
    return nullptr;
}

void ReaderContents::index()
{
    m_byName.clear();
    for (size_t i = 0; i < books.size(); ++i)
        m_byName[lastPathPart(books[i].path)].push_back(i);
}

std::optional<Reader> readerOn(const FileSys &fs, const UDisks::Volume &volume,
                               const QByteArray &configured)
{
    const QByteArray &root = volume.mountPoint;
    Reader r {Reader::Kind::Folder, {}, {}, volume};
    QString kind;
    if (isFolder(fs, root + "/.kobo")) {
        r = {Reader::Kind::Kobo, {}, root, volume};
        kind = QStringLiteral("Kobo");
    } else if (isFolder(fs, root + "/documents") && isFolder(fs, root + "/system")) {
        r = {Reader::Kind::Kindle, {}, root + "/documents", volume};
        kind = QStringLiteral("Kindle");
    } else if (!configured.isEmpty() && (configured == root || configured.startsWith(root + '/'))) {
        r.books = configured;
        kind = QStringLiteral("eBook reader");
    } else {
        return std::nullopt;
    }
    // A configured folder that lies on the reader is used as it is.
    if (!configured.isEmpty() && configured.startsWith(root + '/'))
        r.books = configured;
    struct stat st;
    if (fs.sys().stat(root.constData(), &st) != 0)
        return std::nullopt;
    r.device = quint64(st.st_dev);
    r.name = QStringList {volume.vendor, volume.model}.join(u' ').simplified();
    if (r.name.isEmpty())
        r.name = kind;
    return r;
}

ReaderContents readContents(const FileSys &fs, const Reader &reader)
{
    ReaderContents c;
    const QByteArray &root = reader.volume.mountPoint;
    struct statvfs sv;
    if (::statvfs(root.constData(), &sv) == 0)
        c.freeBytes = qint64(sv.f_bavail) * qint64(sv.f_frsize);
    const QHash<QByteArray, ReadStatus> kobo
        = reader.kind == Reader::Kind::Kobo ? koboStatuses(root) : QHash<QByteArray, ReadStatus>();
    QHash<QByteArray, ReadStatus> sidecars; // by the book's path without its format part
    fs.walk(reader.books, [&](const QByteArray &path, bool folder) {
        if (folder && path.endsWith(".sdr")) {
            sidecars.insert(path.chopped(4), sidecarOf(fs, reader.books + '/' + path));
            return false;
        }
        struct stat st;
        if (!folder && fs.sys().stat((reader.books + '/' + path).constData(), &st) == 0
            && S_ISREG(st.st_mode))
            c.books.push_back({path, qint64(st.st_size), {}});
        return true;
    });
    // What the reader says of each book: its sidecar, else the Kobo's database (by the path
    // from the reader's root).
    const QByteArray fromRoot = reader.books.mid(root.size() + 1);
    for (ReaderContents::Book &b : c.books) {
        const qsizetype dot = b.path.lastIndexOf('.');
        b.status = sidecars.value(dot > b.path.lastIndexOf('/') ? b.path.left(dot) : b.path);
        if (!b.status.isKnown())
            b.status = kobo.value(fromRoot.isEmpty() ? b.path : fromRoot + '/' + b.path);
    }
    c.index();
    return c;
}

Readers::Readers(GlobalState &state, UDisks &udisks, QObject *parent)
    : QObject(parent)
    , g(state)
    , m_udisks(udisks)
{
    connect(&m_udisks, &UDisks::changed, this, &Readers::look);
    look();
}

void Readers::follow(Bookcase &bookcase)
{
    m_bookcase = &bookcase;
    ReaderFolder &folder = bookcase.reader();
    folder.device = [this]() -> std::optional<ReaderDevice> {
        const Reader *r = current();
        if (!r)
            return std::nullopt;
        return ReaderDevice {r->name, r->volume.mountPoint, r->books, r->volume.type, r->device};
    };
    connect(&folder, &ReaderFolder::readerChanged, this, &Readers::readAgain);
}

const Reader *Readers::current() const
{
    for (const Reader &r : m_readers) {
        if (r.volume.mountPoint == m_chosen)
            return &r;
    }
    return m_readers.empty() ? nullptr : &m_readers.front();
}

void Readers::choose(int index)
{
    if (index < 0 || size_t(index) >= m_readers.size())
        return;
    m_chosen = m_readers[size_t(index)].volume.mountPoint;
    readAgain();
}

void Readers::look()
{
    // Each volume is looked at on its own threads: a slow stick holds only itself.
    const std::vector<UDisks::Volume> volumes = m_udisks.volumes();
    const int asked = ++m_looks;
    auto found = std::make_shared<std::vector<std::optional<Reader>>>(volumes.size());
    auto left = std::make_shared<int>(int(volumes.size()));
    auto settle = [this, asked, found] {
        if (asked != m_looks)
            return;
        const Reader *before = current();
        const QByteArray was = before ? before->volume.mountPoint : QByteArray();
        if (m_chosen.isEmpty())
            m_chosen = was; // another reader that comes does not take the books' way
        m_readers.clear();
        for (const auto &r : *found) {
            if (r)
                m_readers.push_back(*r);
        }
        const Reader *now = current();
        if (!now || now->volume.mountPoint != was || m_contents.books.empty())
            readAgain();
        else
            emit changed();
    };
    if (volumes.empty())
        return settle();
    for (size_t i = 0; i < volumes.size(); ++i) {
        g.askDisk<std::optional<Reader>>(
            volumes[i].mountPoint, this,
            [fs = g.FileSys, volume = volumes[i], configured = QFile::encodeName(g.ReaderFolder)] {
                return readerOn(fs, volume, configured);
            },
            [found, left, i, settle](std::optional<Reader> r) {
                (*found)[i] = r;
                if (--*left == 0)
                    settle();
            });
    }
}

void Readers::readAgain()
{
    const int asked = ++m_reads;
    const Reader *reader = current();
    if (!reader) {
        m_contents = {};
        m_reading = false;
        emit changed();
        return;
    }
    m_reading = true;
    g.askDisk<ReaderContents>(
        reader->volume.mountPoint, this,
        [fs = g.FileSys, r = *reader] { return readContents(fs, r); },
        [this, asked](ReaderContents contents) {
            if (asked != m_reads)
                return;
            m_contents = std::move(contents);
            m_reading = false;
            emit changed();
        });
}

void Readers::whichAreOn(const std::vector<QByteArray> &books, QObject *receiver,
                         std::function<void(std::vector<QString>)> done)
{
    if (books.empty())
        return;
    using Sizes = std::vector<qint64>;
    DiskExecutor::shared().ask<Sizes>(
        books.front(), receiver,
        [books, fs = g.FileSys] {
            Sizes sizes;
            for (const QByteArray &path : books) {
                struct stat st;
                sizes.push_back(fs.sys().stat(path.constData(), &st) == 0 ? st.st_size : -1);
            }
            return sizes;
        },
        [this, books, done](Sizes sizes) {
            std::vector<QString> said;
            for (size_t i = 0; i < books.size(); ++i) {
                const auto *book = m_contents.find(lastPathPart(books[i]), sizes[i]);
                const QString status = book ? book->status.text() : QString();
                said.push_back(
                    !book ? QString()
                          : QStringLiteral("on the reader")
                            + (status.isEmpty() ? QString() : QStringLiteral(", ") + status));
            }
            done(said);
        },
        DiskExecutor::Lane::Background);
}

QString Readers::line() const
{
    const Reader *reader = current();
    if (!reader)
        return {};
    if (m_contents.freeBytes < 0)
        return reader->name;
    return QStringLiteral("%1 · %2 free")
        .arg(reader->name,
             QLocale().formattedDataSize(m_contents.freeBytes, 1, QLocale::DataSizeSIFormat));
}

void Readers::eject(const Reader &reader, std::function<void(const Notice &)> done)
{
    auto told = [this, reader, done](const QString &error, const QString &message) {
        const QString title = QStringLiteral("Eject Reader");
        if (error.isEmpty())
            done({title, QStringLiteral("The %1 can now be unplugged.").arg(reader.name)});
        else if (error == u"org.freedesktop.UDisks2.Error.DeviceBusy")
            done({title,
                  QStringLiteral("The reader is in use by another program; close it and "
                                 "try again.")});
        else
            done({title, message.isEmpty() ? error : message});
    };
    // What the system still holds for the reader goes to it first.
    const QByteArray root = reader.volume.mountPoint;
    auto flush = [root](Job::Context &) {
        const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
        return Notice();
    };
    auto unmount
        = [this, volume = reader.volume, told](Job::Outcome) { m_udisks.eject(volume, told); };
    if (!m_bookcase)
        return unmount(Job::Outcome::Done); // the unmount flushes as well
    // A command on the whole reader: it waits for the copies to it and the deletes on it.
    m_bookcase->runCommand({QFile::decodeName(root), root, {root}, flush, unmount});
}
