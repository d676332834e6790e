#include "detailscache.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

QByteArray fileUri(const QByteArray &path)
{
    // Letters, digits and the characters a path may keep unescaped; every other byte, those of
    // letters beyond ASCII too, as %XX.
    return "file://" + path.toPercentEncoding("!$&'()*+,-./:=@_~");
}

DetailsCache::Stamp DetailsCache::stampOf(const QByteArray &path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {qint64(st.st_mtim.tv_sec), qint64(st.st_size)};
}

QString DetailsCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
        + QStringLiteral("/details.sqlite");
}

DetailsCache &DetailsCache::ofThisThread()
{
    // Made again only when the cache folder changes (tests and benchmarks move it).
    // Made again when the cache folder changes (tests and benchmarks move it), and when the
    // file was deleted: a new one is made, and nothing goes on into the deleted one.
    thread_local std::unique_ptr<DetailsCache> mine;
    thread_local QByteArray home, file;
    const QByteArray now = qgetenv("XDG_CACHE_HOME");
    if (!mine || home != now || ::access(file.constData(), F_OK) != 0) {
        mine.reset();
        home = now;
        file = QFile::encodeName(defaultFile());
        mine = std::make_unique<DetailsCache>(QFile::decodeName(file));
    }
    return *mine;
}

namespace {

// Files checked whole by this process: each is checked once, by the first connection.
QMutex checkedLock;
QSet<QString> checked;

bool run(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery q(db);
    return q.exec(statement);
}

// True when the file is a database of ours that SQLite finds sound.
bool sound(QSqlDatabase &db, const QString &file)
{
    const QMutexLocker locker(&checkedLock);
    if (!checked.contains(file)) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()
            || q.value(0).toString() != QLatin1String("ok"))
            return false;
        checked.insert(file);
    }
    return run(db, QStringLiteral("PRAGMA journal_mode=WAL"))
        && run(db, QStringLiteral("PRAGMA synchronous=NORMAL"))
        && run(db,
               QStringLiteral("CREATE TABLE IF NOT EXISTS details (uri BLOB PRIMARY KEY, "
                              "mtime INTEGER, size INTEGER, lines BLOB) WITHOUT ROWID"));
}

// A row as selected: uri, mtime, size, lines.
DetailsCache::Row rowOf(const QSqlQuery &q)
{
    return {q.value(0).toByteArray(),
            {q.value(1).toLongLong(), q.value(2).toLongLong()},
            BookDetails::fromLines(q.value(3).toByteArray())};
}

} // namespace

DetailsCache::DetailsCache(const QString &file)
{
    static std::atomic<quint64> made = 0;
    m_name = QStringLiteral("quillrack-details-%1").arg(++made);
    // A folder of the user's own: the names of their books are in it.
    const QString folder = QFileInfo(file).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if ((m_open = open(file)))
        return;
    // Damaged, or not a database at all: set aside (the last one set aside is kept for a look)
    // and made anew.
    QSqlDatabase::removeDatabase(m_name);
    QFile::remove(file + QStringLiteral(".damaged"));
    QFile::rename(file, file + QStringLiteral(".damaged"));
    for (const char *part : {"-wal", "-shm"})
        QFile::remove(file + QLatin1String(part));
    m_open = open(file);
}

bool DetailsCache::open(const QString &file)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    return db.open() && sound(db, file);
}

DetailsCache::~DetailsCache()
{
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

std::optional<BookDetails> DetailsCache::fresh(const QByteArray &uri, Stamp stamp)
{
    const std::optional<Row> row = stamp.mtime < 0 ? std::nullopt : rowsOf({uri})[0];
    return row && row->stamp == stamp ? std::optional(row->details) : std::nullopt;
}

std::vector<std::optional<DetailsCache::Row>>
DetailsCache::rowsOf(const std::vector<QByteArray> &uris)
{
    std::vector<std::optional<Row>> found(uris.size());
    if (!m_open || uris.empty())
        return found;
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    QString marks = QStringLiteral("?");
    for (size_t i = 1; i < uris.size(); ++i)
        marks += QStringLiteral(",?");
    q.prepare(
        QStringLiteral("SELECT uri, mtime, size, lines FROM details WHERE uri IN (%1)").arg(marks));
    for (size_t i = 0; i < uris.size(); ++i)
        q.bindValue(int(i), uris[i]);
    if (!q.exec())
        return found;
    while (q.next()) {
        const Row row = rowOf(q);
        for (size_t i = 0; i < uris.size(); ++i) {
            if (uris[i] == row.uri)
                found[i] = row;
        }
    }
    return found;
}

bool DetailsCache::store(const std::vector<Row> &rows)
{
    return eachInOne(QStringLiteral("INSERT OR REPLACE INTO details VALUES (?, ?, ?, ?)"), rows,
                     [](QSqlQuery &q, const Row &row) {
                         q.addBindValue(row.uri);
                         q.addBindValue(row.stamp.mtime);
                         q.addBindValue(row.stamp.size);
                         q.addBindValue(row.details.toLines());
                     });
}

std::vector<DetailsCache::Row> DetailsCache::under(const QByteArray &folderUri)
{
    std::vector<Row> rows;
    if (!m_open || folderUri.isEmpty())
        return rows;
    QByteArray end = folderUri;
    end.back() = char(end.back() + 1); // the first URI past the folder's
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT uri, mtime, size, lines FROM details "
                             "WHERE uri >= ? AND uri < ?"));
    q.addBindValue(folderUri);
    q.addBindValue(end);
    if (!q.exec())
        return rows;
    while (q.next())
        rows.push_back(rowOf(q));
    return rows;
}

bool DetailsCache::drop(const std::vector<QByteArray> &uris)
{
    return eachInOne(QStringLiteral("DELETE FROM details WHERE uri = ?"), uris,
                     [](QSqlQuery &q, const QByteArray &uri) { q.addBindValue(uri); });
}

template<typename Item, typename Bind>
bool DetailsCache::eachInOne(const QString &statement, const std::vector<Item> &items, Bind bind)
{
    if (!m_open)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!db.transaction())
        return false;
    QSqlQuery q(db);
    q.prepare(statement);
    for (const Item &item : items) {
        bind(q, item);
        if (!q.exec()) {
            db.rollback();
            return false;
        }
    }
    q.finish();
    return db.commit();
}
