#include "detailscache.h"

#include <QDir>
#include <QFile>
#include <QHash>
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

DetailsCache::Stamp DetailsCache::stampOf(const QByteArray &path, const SysCalls &sys)
{
    struct stat st;
    if (sys.stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, qint64(st.st_size)};
}

QString DetailsCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
        + QStringLiteral("/details.sqlite");
}

DetailsCache &DetailsCache::ofThisThread()
{
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

// The form of the file: its table, and what each row records. An earlier form is brought
// forward with its rows; the schema's version is kept in the file's user_version.
constexpr int SchemaVersion = 1;

int userVersion(QSqlDatabase &db)
{
    QSqlQuery q(db);
    return q.exec(QStringLiteral("PRAGMA user_version")) && q.next() ? q.value(0).toInt() : -1;
}

// Brings the file to this form in one transaction, which another program doing the same waits
// for: the first form's rows (modification times in seconds, no readers' version) are kept as
// read by readers of version 0, so they are read again.
bool toThisForm(QSqlDatabase &db)
{
    const int version = userVersion(db);
    if (version >= SchemaVersion)
        return true;
    if (version < 0 || !run(db, QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    bool ok = true;
    if (userVersion(db) < SchemaVersion) { // not brought forward meanwhile
        ok = run(db,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS details (uri BLOB PRIMARY KEY, "
                                "mtime INTEGER, size INTEGER, lines BLOB) WITHOUT ROWID"))
            && run(db,
                   QStringLiteral("ALTER TABLE details ADD COLUMN reader INTEGER NOT NULL "
                                  "DEFAULT 0"))
            && run(db, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
    }
    return run(db, ok ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK")) && ok;
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
        && run(db, QStringLiteral("PRAGMA synchronous=NORMAL")) && toThisForm(db);
}

const QString Columns = QStringLiteral("uri, mtime, size, lines, reader");

// A row as selected: the columns above.
DetailsCache::Row rowOf(const QSqlQuery &q)
{
    return {q.value(0).toByteArray(),
            {q.value(1).toLongLong(), q.value(2).toLongLong()},
            BookDetails::fromLines(q.value(3).toByteArray()),
            q.value(4).toInt()};
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
    m_lookup.reset();
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

std::optional<BookDetails> DetailsCache::fresh(const QByteArray &uri, Stamp stamp)
{
    const std::optional<Row> row = stamp.exists() ? rowsOf({uri})[0] : std::nullopt;
    return row && row->freshFor(stamp) ? std::optional(row->details) : std::nullopt;
}

std::vector<std::optional<DetailsCache::Row>>
DetailsCache::rowsOf(const std::vector<QByteArray> &uris)
{
    std::vector<std::optional<Row>> found(uris.size());
    if (!m_open || uris.empty())
        return found;
    // Where each URI was asked for (a page may show one book twice).
    QHash<QByteArray, std::vector<size_t>> asked;
    asked.reserve(qsizetype(uris.size()));
    for (size_t i = 0; i < uris.size(); ++i)
        asked[uris[i]].push_back(i);
    // A few dozen a query, through the key's index; the statement of the last size asked for
    // is kept prepared (a page asks for the same number each time).
    constexpr size_t Chunk = 64;
    for (size_t from = 0; from < uris.size(); from += Chunk) {
        const size_t n = qMin(Chunk, uris.size() - from);
        if (!m_lookup || n != m_lookupSize) {
            m_lookup = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_name, false));
            m_lookup->setForwardOnly(true);
            QStringList marks(qsizetype(n), QStringLiteral("?"));
            m_lookup->prepare(QStringLiteral("SELECT %1 FROM details WHERE uri IN (%2)")
                                  .arg(Columns, marks.join(u',')));
            m_lookupSize = n;
        }
        QSqlQuery &q = *m_lookup;
        for (size_t i = 0; i < n; ++i)
            q.bindValue(int(i), uris[from + i]);
        if (!q.exec())
            return found;
        while (q.next()) {
            const Row row = rowOf(q);
            for (const size_t at : asked.value(row.uri))
                found[at] = row;
        }
        q.finish();
    }
    return found;
}

bool DetailsCache::store(const std::vector<Row> &rows)
{
    return eachInOne(
        QStringLiteral("INSERT OR REPLACE INTO details (%1) VALUES (?, ?, ?, ?, ?)").arg(Columns),
        rows, [](QSqlQuery &q, const Row &row) {
            q.addBindValue(row.uri);
            q.addBindValue(row.stamp.mtimeNs);
            q.addBindValue(row.stamp.size);
            q.addBindValue(row.details.toLines());
            q.addBindValue(row.reader);
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
    q.prepare(QStringLiteral("SELECT %1 FROM details WHERE uri >= ? AND uri < ?").arg(Columns));
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
