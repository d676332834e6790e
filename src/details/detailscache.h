#pragma once

#include "bookdetails.h"
#include "filesys.h"
#include "fileuri.h"

#include <QByteArray>
#include <QString>

class QSqlQuery;
#include <memory>
#include <optional>
#include <vector>

// What books say of themselves, kept in one SQLite file under the user's cache folder, each row
// keyed by the book's URI with the modification time and size of the version it was read from,
// and the version of the readers that read it. A file of an earlier form is brought forward
// with its rows kept; their books are read again as if new.
// A cache, not a record: deleting it loses nothing, and a file that cannot be read is set aside
// and made anew without a word. Two running programs share it (write-ahead log, busy timeout).
// One object is one connection, for the thread that made it only.
class DetailsCache
{
public:
    struct Stamp
    {
        qint64 mtimeNs = -1, size = 0; // -1: the file is not there
        bool operator==(const Stamp &) const = default;
        bool exists() const { return mtimeNs >= 0; }
        // The modification time in whole seconds, as thumbnails record it.
        qint64 seconds() const { return mtimeNs < 0 ? -1 : mtimeNs / 1000000000; }
    };
    // The stamp of a file as it is now, through the system-call seam.
    static Stamp stampOf(const QByteArray &path, const SysCalls &sys = SysCalls::system());
    struct Row
    {
        QByteArray uri;
        Stamp stamp;
        BookDetails details; // empty: read, and nothing known (or the book could not be read)
        int reader = DetailsReaderVersion; // the version of the readers that read it
        // Read from this version of the file by readers that know as much as these.
        bool freshFor(Stamp now) const
        {
            return stamp == now && now.exists() && reader >= DetailsReaderVersion;
        }
    };

    // details.sqlite in this program's cache folder: ~/.cache/quillrack (after $XDG_CACHE_HOME).
    static QString defaultFile();
    explicit DetailsCache(const QString &file = defaultFile());
    ~DetailsCache();
    DetailsCache(const DetailsCache &) = delete;
    DetailsCache &operator=(const DetailsCache &) = delete;
    // A connection of this thread's own to the default file, kept until the thread ends.
    static DetailsCache &ofThisThread();

    bool isOpen() const { return m_open; }
    // The details read from this very version of the file by the readers of now, if they were.
    std::optional<BookDetails> fresh(const QByteArray &uri, Stamp stamp);
    // The rows of many books at once, whatever version they were read from, looked up a
    // bounded number at a time.
    std::vector<std::optional<Row>> rowsOf(const std::vector<QByteArray> &uris);
    // Rows stored (or replaced) in one transaction.
    bool store(const std::vector<Row> &rows);
    // Every row whose URI lies under a folder's URI (one that ends with '/').
    std::vector<Row> under(const QByteArray &folderUri);
    bool drop(const std::vector<QByteArray> &uris);

private:
    bool open(const QString &file);
    // Runs a statement once for each item, bound by bind(query, item), in one transaction.
    template<typename Item, typename Bind>
    bool eachInOne(const QString &statement, const std::vector<Item> &items, Bind bind);
    QString m_name;
    bool m_open = false;
    std::unique_ptr<QSqlQuery> m_lookup; // rowsOf's statement, kept prepared
    size_t m_lookupSize = 0;
};
