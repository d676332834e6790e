#pragma once

#include "bookcase.h"
#include "bookindex.h"
#include "detailsreader.h"

#include <QAbstractListModel>
#include <QHash>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

struct GlobalState;

// Every book of the library, for finding one: read by a walk on a thread of its own, shelf
// after shelf in the bookcase's order, handed over to this thread in batches, and kept until
// the library changes through the program or is refreshed. Then what each book says of itself
// (authors, title, series): what the details cache knows at once, the rest read in the
// background by the helper program. The window never waits for any of it.
class Finder : public QObject
{
    Q_OBJECT
public:
    explicit Finder(GlobalState &g, QObject *parent = nullptr);
    ~Finder() override;

    // Starts reading the library, unless it has been read (or is being read) since the last
    // change.
    void read();
    // Reads the library, or, when it has been read, reads it again in the background to drop
    // the books that other programs took away and take in those they brought (the program is
    // not told of changes outside the shelf shown): what is found meanwhile stays as it was.
    void check();
    bool reading() const { return m_started && !m_done; }
    bool checking() const { return m_check != 0; }
    int shelvesRead() const { return m_index.shelfCount(); }
    int shelfTotal() const { return m_total; }
    const BookIndex &index() const { return m_index; }
    // The shelves the walk could not read.
    const QStringList &unreadable() const { return m_unreadable; }

    // The library changed: what was read is forgotten, and a walk under way stops.
    void forget();

    // Whether the walk goes on to the books' details (else names alone are found).
    bool withDetails = true;
    // Books whose details are being looked up or read, and how many of them are read.
    bool readingDetails() const { return m_walks.count(m_walk) || m_details.busy(); }
    int detailsRead() const { return m_detailsRead; }
    int detailsToRead() const { return m_detailsToRead; }
    // A book's title and authors as the book gives them; empty when not known.
    struct Said
    {
        QString title, authors;
    };
    Said said(int book) const { return m_said.value(book); }
    DetailsReader &detailsReader() { return m_details; }

signals:
    void forgotten();
    // A check found the library changed: the books found are those of the new reading.
    void replaced();
    // More books' details are known, or more are read.
    void detailsAdded();
    // Shelves from firstNew on have been read.
    void shelvesAdded(int firstNew);
    void finished();

private:
    struct Batch;
    struct Known;
    struct Before;
    // Starts a walk; a check compares what it reads with what was read before.
    quint64 walk(std::shared_ptr<const Before> before);
    // The walk's first part: the shelves and their books, in batches; a check's in one.
    static void walkShelves(const Path &root, const FileSys &fs, const Before *before,
                            const std::atomic<bool> &stop,
                            const std::function<void(std::shared_ptr<Batch>)> &send);
    void take(quint64 walk, const std::shared_ptr<Batch> &batch);
    void ended(quint64 walk); // its work is over
    void takeKnown(quint64 walk, const std::shared_ptr<Known> &known);
    void answered(const QByteArray &path, const BookDetails &details);
    void setDetails(int book, const BookDetails &details);
    // The walk's second part: the cache's rows for the books walked, the books to read, and
    // rows of books that are gone dropped.
    static void detailsOf(const Path &root, const FileSys &fs,
                          const std::vector<std::shared_ptr<Batch>> &walked,
                          const std::atomic<bool> &stop,
                          const std::function<void(std::shared_ptr<Known>)> &send);

    GlobalState &g;
    BookIndex m_index;
    QStringList m_unreadable;
    int m_total = 0;
    bool m_started = false;
    bool m_done = false;
    quint64 m_walk = 0; // the current walk; batches of others are dropped
    quint64 m_check = 0; // a check under way, until it finds the library changed or not
    quint64 m_walksMade = 0;
    // The walks under way, the current one and stopped ones, by their stop flags; a walk's
    // thread is the disk executor's, never waited for.
    std::map<quint64, std::shared_ptr<std::atomic<bool>>> m_walks;
    DetailsReader m_details;
    QHash<QByteArray, int> m_reading; // book path: book, for details being read
    QHash<int, Said> m_said;
    int m_detailsRead = 0, m_detailsToRead = 0;
};

// The books found for a query, for a list view, in the bookcase's order; filled as the walk
// hands over shelves, a batch of rows at a time.
class FindResults : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit FindResults(Finder &finder, QObject *parent = nullptr);

    // The typed words; nothing typed finds nothing.
    void setQuery(const QString &typed);
    BookRef book(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void add(int firstShelf);
    void grow(); // rows found by details that arrived since

    QTimer m_growing;
    Finder &m_finder;
    std::vector<std::string> m_words;
    std::vector<int> m_books;
};
