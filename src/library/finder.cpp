#include "finder.h"

#include "bookname.h"
#include "globalstate.h"

#include <QElapsedTimer>

struct Finder::Batch
{
    BookIndex index;
    QStringList unreadable;
    int total = 0;
    bool last = false;
};

Finder::Finder(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
{ }

Finder::~Finder()
{
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
    running.thread = std::thread([this, walk, stop, root = Path(g.BookFolder), fs = g.FileSys] {
        auto batch = std::make_shared<Batch>();
        auto send = [&] {
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
        send();
    });
}

void Finder::take(quint64 walk, const std::shared_ptr<Batch> &batch)
{
    if (batch->last) { // its thread ends: joined at once
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
    if (role == Qt::ToolTipRole)
        return asPlainText(QStringLiteral("%1\non %2").arg(file, shelf));
    // One line a row: a line break in a name shows as a sign.
    file.replace(u'\n', u'↵').replace(u'\r', u'↵');
    shelf.replace(u'\n', u'↵').replace(u'\r', u'↵');
    const BookName parts = splitBookName(file);
    return parts.format.isEmpty()
        ? QStringLiteral("%1 — %2").arg(parts.title, shelf)
        : QStringLiteral("%1 — %2 — %3").arg(parts.title, shelf, parts.format);
}
