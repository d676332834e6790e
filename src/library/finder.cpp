#include "finder.h"

#include "bookname.h"
#include "diskexecutor.h"
#include "globalstate.h"
#include "volumes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QThread>

namespace {

// What finding a book by its details looks at: its authors, title and series, folded.
std::string foldedDetails(const BookDetails &details)
{
    const QByteArray text
        = (details.authors.join(u' ') + u' ' + details.title + u' ' + details.series).toUtf8();
    std::string folded;
    appendFolded(folded, std::string_view(text.constData(), size_t(text.size())));
    return folded;
}

} // namespace

struct Finder::Batch
{
    BookIndex index;
    QStringList unreadable;
    int total = 0;
    bool last = false; // the walk's listing is complete
    bool ends = false; // and its thread ends
    // A check's: the library as it was read before, or read anew with what was known of each
    // book that is still there.
    bool same = false;
    QHash<int, Said> said;
};

struct Finder::Known
{
    std::vector<std::pair<int, BookDetails>> details; // of books walked, from the cache
    std::vector<DetailsReader::Book> toRead;
    std::vector<int> toReadBooks; // the book of each
    bool ends = false; // the walk's thread ends
};

// What a check compares its reading with.
struct Finder::Before
{
    BookIndex index;
    QHash<int, Said> said;
};

Finder::Finder(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
{
    m_details.mostAtOnce = qBound(1, QThread::idealThreadCount() - 1, 4);
    m_details.onShare = [](const QByteArray &path) { return Volumes::holding(path).isShare(); };
    connect(&m_details, &DetailsReader::answered, this, &Finder::answered);
    connect(&m_details, &DetailsReader::finished, this, &Finder::detailsAdded);
}

Finder::~Finder()
{
    m_details.stop(); // what was read is kept
    for (auto &[walk, stop] : m_walks)
        *stop = true; // a walk stuck on a folder that does not answer is left to itself
}

void Finder::read()
{
    if (m_started)
        return;
    m_started = true;
    m_done = false;
    m_walk = walk(nullptr);
}

void Finder::check()
{
    if (!m_started)
        return read();
    if (!m_done || m_check)
        return; // being read, or checked, now
    auto before = std::make_shared<Before>();
    before->index = m_index; // a copy: the walk compares on its own thread
    before->said = m_said;
    m_check = walk(before);
}

quint64 Finder::walk(std::shared_ptr<const Before> before)
{
    const quint64 walk = ++m_walksMade;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_walks[walk] = stop;
    const Path root(g.BookFolder);
    DiskExecutor::shared().run(
        root.bytes(),
        [self = QPointer<Finder>(this), walk, stop, before, root, fs = g.FileSys,
         details = withDetails] {
            std::vector<std::shared_ptr<Batch>> walked;
            bool readable = true;
            walkShelves(root, fs, before.get(), *stop, [&](std::shared_ptr<Batch> batch) {
                readable = readable && !batch->unreadable.contains(root.shown());
                batch->ends = batch->last && (!details || !readable || *stop || batch->same);
                walked.push_back(batch);
                DiskExecutor::deliver(self, [self, walk, batch] { self->take(walk, batch); });
            });
            if (!walked.back()->ends)
                detailsOf(root, fs, walked, *stop, [&](std::shared_ptr<Known> known) {
                    DiskExecutor::deliver(self,
                                          [self, walk, known] { self->takeKnown(walk, known); });
                });
        },
        DiskExecutor::Lane::Background); // behind the window's commands and listings
    return walk;
}

void Finder::walkShelves(const Path &root, const FileSys &fs, const Before *before,
                         const std::atomic<bool> &stop,
                         const std::function<void(std::shared_ptr<Batch>)> &send)
{
    auto batch = std::make_shared<Batch>();
    const Result<FileSys::Folder> folder = fs.GetFolder(root);
    QString error = folder.error();
    const NameList shelves = folder ? folder->folderNames(&error) : NameList();
    if (!error.isEmpty())
        batch->unreadable << root.shown();
    batch->total = shelves.size();
    // A batch goes over every few dozen milliseconds: results show as they come, and the
    // window handles a few thousand books at a time. A check's goes over whole.
    QElapsedTimer sent;
    sent.start();
    for (int i = 0; i < shelves.size() && !stop; ++i) {
        const QByteArray shelf = shelves.bytesAt(i);
        batch->index.addShelf(std::string_view(shelf.data(), size_t(shelf.size())));
        BookIndex &index = batch->index;
        if (!fs.folderAt(root / shelf).eachFileName([&index](std::string_view file) {
                index.addBook(file);
            }))
            batch->unreadable << shownName(shelf);
        if (!before && sent.elapsed() >= 40 && i + 1 < shelves.size()) {
            send(std::exchange(batch, std::make_shared<Batch>()));
            batch->total = shelves.size();
            sent.restart();
        }
    }
    batch->last = true;
    if (before && !stop) {
        batch->same = batch->index.sameBooks(before->index);
        // What was known of each book still there stays known.
        QHash<QByteArray, int> was;
        const BookIndex &old = before->index;
        for (int b = 0; !batch->same && b < old.bookCount(); ++b)
            was.insert(old.shelfName(old.shelfOf(b)) + '/' + old.fileName(b), b);
        BookIndex &now = batch->index;
        for (int b = 0; !was.isEmpty() && b < now.bookCount(); ++b) {
            const int o = was.value(now.shelfName(now.shelfOf(b)) + '/' + now.fileName(b), -1);
            if (o >= 0 && !old.details(o).empty())
                now.setDetails(b, old.details(o));
            if (o >= 0 && before->said.contains(o))
                batch->said.insert(b, before->said.value(o));
        }
    }
    send(batch);
}

void Finder::detailsOf(const Path &root, const FileSys &fs,
                       const std::vector<std::shared_ptr<Batch>> &walked,
                       const std::atomic<bool> &stop,
                       const std::function<void(std::shared_ptr<Known>)> &send)
{
    DetailsCache cache;
    const QByteArray rootUri = fileUri(root.bytes() + '/');
    QHash<QByteArray, DetailsCache::Row> rows;
    for (DetailsCache::Row &row : cache.under(rootUri))
        rows.insert(row.uri, std::move(row));
    QSet<QByteArray> unreadShelves;
    auto known = std::make_shared<Known>();
    QElapsedTimer sent;
    sent.start();
    int book = 0;
    for (const std::shared_ptr<Batch> &batch : walked) {
        for (const QString &shelf : batch->unreadable)
            unreadShelves.insert(fileUri(root.bytes() + '/' + QFile::encodeName(shelf) + '/'));
        const BookIndex &index = batch->index;
        for (int b = 0; b < index.bookCount() && !stop; ++b, ++book) {
            const QByteArray path
                = root.bytes() + '/' + index.shelfName(index.shelfOf(b)) + '/' + index.fileName(b);
            const DetailsCache::Stamp stamp = DetailsCache::stampOf(path, fs.sys());
            const auto row = rows.find(fileUri(path));
            // A book changed since it was read, or read by readers that knew less, is read
            // again, as one never read.
            if (stamp.exists() && (row == rows.end() || !row->freshFor(stamp))) {
                known->toRead.push_back({path, stamp});
                known->toReadBooks.push_back(book);
            }
            if (row != rows.end()) {
                if (!row->details.isEmpty())
                    known->details.emplace_back(book, row->details);
                rows.erase(row); // seen
            }
            if (sent.elapsed() >= 40) {
                send(std::exchange(known, std::make_shared<Known>()));
                sent.restart();
            }
        }
    }
    // Rows of books that are gone, now that their folders were read without them; none of a
    // shelf that could not be read.
    std::vector<QByteArray> gone;
    for (auto row = rows.cbegin(); row != rows.cend() && !stop; ++row) {
        const QByteArray &uri = row.key();
        if (std::none_of(unreadShelves.begin(), unreadShelves.end(),
                         [&](const QByteArray &shelf) { return uri.startsWith(shelf); }))
            gone.push_back(uri);
    }
    if (!stop)
        cache.drop(gone);
    known->ends = true;
    send(known);
}

void Finder::takeKnown(quint64 walk, const std::shared_ptr<Known> &known)
{
    if (known->ends) // its thread ends: joined at once
        ended(walk);
    if (walk != m_walk)
        return;
    for (const auto &[book, details] : known->details)
        setDetails(book, details);
    for (size_t i = 0; i < known->toRead.size(); ++i)
        m_reading.insert(known->toRead[i].path, known->toReadBooks[i]);
    m_detailsToRead += int(known->toRead.size());
    m_details.read(known->toRead);
    emit detailsAdded();
}

void Finder::ended(quint64 walk)
{
    m_walks.erase(walk);
}

void Finder::answered(const QByteArray &path, const BookDetails &details)
{
    const auto reading = m_reading.constFind(path);
    if (reading == m_reading.cend())
        return;
    setDetails(*reading, details);
    m_reading.erase(reading);
    ++m_detailsRead;
    emit detailsAdded();
}

void Finder::setDetails(int book, const BookDetails &details)
{
    m_index.setDetails(book, foldedDetails(details));
    if (details.title.isEmpty() && details.authors.isEmpty())
        m_said.remove(book);
    else
        m_said.insert(book, {details.title, details.authors.join(QStringLiteral(", "))});
}

void Finder::take(quint64 walk, const std::shared_ptr<Batch> &batch)
{
    if (batch->ends) // its thread ends: joined at once
        ended(walk);
    if (walk == m_check) {
        m_check = 0;
        if (batch->same)
            return;
        // The library changed: the new reading replaces the old, and its walk goes on with
        // the books' details.
        if (const auto old = m_walks.find(m_walk); old != m_walks.end())
            *old->second = true;
        m_walk = walk;
        m_details.stop();
        m_reading.clear();
        m_detailsRead = m_detailsToRead = 0;
        m_index = batch->index; // a copy: the walk reads its own on for the details
        m_said = std::move(batch->said);
        m_unreadable = batch->unreadable;
        m_total = batch->total;
        emit replaced();
        emit finished();
        return;
    }
    if (walk != m_walk)
        return; // from a walk since forgotten
    const int first = m_index.shelfCount();
    m_index.append(batch->index);
    m_unreadable += batch->unreadable;
    m_total = batch->total;
    m_done = batch->last;
    emit shelvesAdded(first);
    if (batch->last)
        emit finished();
}

void Finder::forget()
{
    // A walk under way stops at its next shelf; the window never waits for it.
    for (const quint64 walk : {m_walk, m_check}) {
        if (const auto running = m_walks.find(walk); running != m_walks.end())
            *running->second = true;
    }
    m_walk = m_check = 0;
    m_details.stop();
    m_reading.clear();
    m_said.clear();
    m_detailsRead = m_detailsToRead = 0;
    m_index = BookIndex();
    m_unreadable.clear();
    m_total = 0;
    m_started = m_done = false;
    emit forgotten();
}

FindResults::FindResults(Finder &finder, QObject *parent)
    : QAbstractListModel(parent)
    , m_finder(finder)
{
    connect(&finder, &Finder::forgotten, this, [this] {
        beginResetModel();
        m_books.clear();
        endResetModel();
    });
    connect(&finder, &Finder::shelvesAdded, this, &FindResults::add);
    connect(&finder, &Finder::replaced, this, [this] {
        beginResetModel();
        m_books = m_finder.index().find(m_words);
        endResetModel();
    });
    // Details arrive book by book: the rows they find are added a few times a second.
    m_growing.setSingleShot(true);
    m_growing.setInterval(250);
    connect(&m_growing, &QTimer::timeout, this, &FindResults::grow);
    connect(&finder, &Finder::detailsAdded, this, [this] {
        if (!m_words.empty() && !m_growing.isActive())
            m_growing.start();
    });
}

void FindResults::grow()
{
    const std::vector<int> now = m_finder.index().find(m_words);
    const QSet<int> found(now.begin(), now.end());
    if (std::any_of(m_books.begin(), m_books.end(), [&](int b) { return !found.contains(b); })) {
        beginResetModel(); // a book's details changed: found afresh
        m_books = now;
        endResetModel();
        return;
    }
    // The rows found before stay where they are; each new one goes in at its place.
    for (size_t i = 0; i < now.size(); ++i) {
        if (i < m_books.size() && m_books[i] == now[i])
            continue;
        beginInsertRows(QModelIndex(), int(i), int(i));
        m_books.insert(m_books.begin() + qsizetype(i), now[i]);
        endInsertRows();
    }
    if (!m_books.empty()) // an author may have come for a row shown
        emit dataChanged(index(0), index(int(m_books.size()) - 1));
}

void FindResults::setQuery(const QString &typed)
{
    beginResetModel();
    m_words = queryWords(typed);
    m_books = m_finder.index().find(m_words);
    endResetModel();
}

void FindResults::add(int firstShelf)
{
    const std::vector<int> more = m_finder.index().find(m_words, firstShelf);
    if (more.empty())
        return;
    beginInsertRows(QModelIndex(), int(m_books.size()), int(m_books.size() + more.size()) - 1);
    m_books.insert(m_books.end(), more.begin(), more.end());
    endInsertRows();
}

BookRef FindResults::book(int row) const
{
    if (row < 0 || size_t(row) >= m_books.size())
        return {};
    const BookIndex &index = m_finder.index();
    const int b = m_books[size_t(row)];
    return {index.shelfName(index.shelfOf(b)), index.fileName(b)};
}

int FindResults::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_books.size());
}

QVariant FindResults::data(const QModelIndex &index, int role) const
{
    const BookRef b = book(index.row());
    if (b.file.isEmpty() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    QString file = shownName(b.file), shelf = shownName(b.shelf);
    const Finder::Said said = m_finder.said(m_books[size_t(index.row())]);
    if (role == Qt::ToolTipRole)
        return asPlainText(
            (said.title.isEmpty() ? QString() : said.title + u'\n')
            + (said.authors.isEmpty() ? QString() : QStringLiteral("by %1\n").arg(said.authors))
            + QStringLiteral("%1\non %2").arg(file, shelf));
    // One line a row: a line break in a name shows as a sign.
    file.replace(u'\n', u'↵').replace(u'\r', u'↵');
    shelf.replace(u'\n', u'↵').replace(u'\r', u'↵');
    const BookName parts = splitBookName(file);
    // The book's own title where it gives one, the author beside it:
    // "Title · Author — Shelf — Format".
    const QString shownTitle = said.title.isEmpty() ? parts.title : said.title;
    const QString title = said.authors.isEmpty()
        ? shownTitle
        : QStringLiteral("%1 · %2").arg(shownTitle, said.authors);
    return parts.format.isEmpty() ? QStringLiteral("%1 — %2").arg(title, shelf)
                                  : QStringLiteral("%1 — %2 — %3").arg(title, shelf, parts.format);
}
