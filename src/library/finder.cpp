#include "finder.h"

#include "bookname.h"
#include "globalstate.h"

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
};

struct Finder::Known
{
    std::vector<std::pair<int, BookDetails>> details; // of books walked, from the cache
    std::vector<DetailsReader::Book> toRead;
    std::vector<int> toReadBooks; // the book of each
    bool ends = false; // the walk's thread ends
};

Finder::Finder(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
{
    m_details.mostAtOnce = qBound(1, QThread::idealThreadCount() - 1, 4);
    connect(&m_details, &DetailsReader::answered, this, &Finder::answered);
    connect(&m_details, &DetailsReader::finished, this, &Finder::detailsAdded);
}

Finder::~Finder()
{
    m_details.stop(); // what was read is kept
    for (auto &[walk, running] : m_walks) {
        *running.stop = true;
        running.thread.join();
    }
}

void Finder::read()
{
    if (m_started)
        return;
    m_started = true;
    m_done = false;
    const quint64 walk = ++m_walk;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    Walk &running = m_walks[walk];
    running.stop = stop;
    running.thread = std::thread([this, walk, stop, root = Path(g.BookFolder), fs = g.FileSys,
                                  details = withDetails] {
        auto batch = std::make_shared<Batch>();
        std::vector<std::shared_ptr<Batch>> walked;
        auto send = [&] {
            walked.push_back(batch);
            QMetaObject::invokeMethod(
                this, [this, walk, batch] { take(walk, batch); }, Qt::QueuedConnection);
        };
        const Result<FileSys::Folder> folder = fs.GetFolder(root);
        QString error = folder.error();
        const NameList shelves = folder ? folder->folderNames(&error) : NameList();
        if (!error.isEmpty())
            batch->unreadable << root.shown();
        batch->total = shelves.size();
        // A batch goes over every few dozen milliseconds: results show as they come, and the
        // window handles a few thousand books at a time.
        QElapsedTimer sent;
        sent.start();
        for (int i = 0; i < shelves.size() && !*stop; ++i) {
            const QByteArray shelf = shelves.bytesAt(i);
            batch->index.addShelf(std::string_view(shelf.data(), size_t(shelf.size())));
            BookIndex &index = batch->index;
            if (!FileSys::Folder(root / shelf).eachFileName([&index](std::string_view file) {
                    index.addBook(file);
                }))
                batch->unreadable << shownName(shelf);
            if (sent.elapsed() >= 40 && i + 1 < shelves.size()) {
                send();
                batch = std::make_shared<Batch>();
                batch->total = shelves.size();
                sent.restart();
            }
        }
        batch->last = true;
        batch->ends = !details || !error.isEmpty() || *stop; // else after the details
        send();
        if (!batch->ends)
            detailsOf(root, walked, *stop, [&](std::shared_ptr<Known> known) {
                QMetaObject::invokeMethod(
                    this, [this, walk, known] { takeKnown(walk, known); }, Qt::QueuedConnection);
            });
    });
}

void Finder::detailsOf(const Path &root, const std::vector<std::shared_ptr<Batch>> &walked,
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
            const DetailsCache::Stamp stamp = DetailsCache::stampOf(path);
            const auto row = rows.find(fileUri(path));
            if (row != rows.end()) {
                if (!row->details.isEmpty())
                    known->details.emplace_back(book, row->details);
                if (row->stamp != stamp && stamp.mtime >= 0) {
                    known->toRead.push_back({path, stamp});
                    known->toReadBooks.push_back(book);
                }
                rows.erase(row); // seen
            } else if (stamp.mtime >= 0) {
                known->toRead.push_back({path, stamp});
                known->toReadBooks.push_back(book);
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
    if (known->ends) { // its thread ends: joined at once
        m_walks[walk].thread.join();
        m_walks.erase(walk);
    }
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
    if (details.authors.isEmpty())
        m_authors.remove(book);
    else
        m_authors.insert(book, details.authors.join(QStringLiteral(", ")));
}

void Finder::take(quint64 walk, const std::shared_ptr<Batch> &batch)
{
    if (batch->ends) { // its thread ends: joined at once
        m_walks[walk].thread.join();
        m_walks.erase(walk);
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
    if (const auto running = m_walks.find(m_walk); running != m_walks.end())
        *running->second.stop = true;
    ++m_walk;
    m_details.stop();
    m_reading.clear();
    m_authors.clear();
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
    const QString authors = m_finder.authors(m_books[size_t(index.row())]);
    if (role == Qt::ToolTipRole)
        return asPlainText((authors.isEmpty() ? QString() : QStringLiteral("by %1\n").arg(authors))
                           + QStringLiteral("%1\non %2").arg(file, shelf));
    // One line a row: a line break in a name shows as a sign.
    file.replace(u'\n', u'↵').replace(u'\r', u'↵');
    shelf.replace(u'\n', u'↵').replace(u'\r', u'↵');
    const BookName parts = splitBookName(file);
    // The author beside the title: "Title · Author — Shelf — Format".
    const QString title
        = authors.isEmpty() ? parts.title : QStringLiteral("%1 · %2").arg(parts.title, authors);
    return parts.format.isEmpty() ? QStringLiteral("%1 — %2").arg(title, shelf)
                                  : QStringLiteral("%1 — %2 — %3").arg(title, shelf, parts.format);
}
