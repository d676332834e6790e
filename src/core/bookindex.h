#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

// Appends a name folded for finding: letters in lower case, accents dropped ("Émile" reads
// "emile"); a name that is not valid UTF-8 is folded as it is shown. Plain ASCII is folded byte
// by byte.
void appendFolded(std::string &out, std::string_view name);

// The words of a typed query, folded; white space separates them.
std::vector<std::string> queryWords(const QString &typed);

// Every book of a library as a walk read it, shelf after shelf, and the search over their
// names. Shelves keep the order they were added in; books are kept in the order their folder
// gave them and put in natural order only when found.
class BookIndex
{
public:
    int shelfCount() const { return int(m_firstBook.size()); }
    int bookCount() const { return int(m_fileStart.size()) - 1; }
    // A shelf, then its books.
    void addShelf(std::string_view name);
    void addBook(std::string_view file);
    // The shelves of another index after these.
    void append(const BookIndex &more);

    // True when another index holds the same shelves and books in the same order.
    bool sameBooks(const BookIndex &other) const;

    QByteArray shelfName(int shelf) const;
    QByteArray fileName(int book) const;
    int shelfOf(int book) const { return m_shelfOf[size_t(book)]; }

    // What a book says of itself, folded: its authors, title and series, each word of a query
    // found there or in its name. Set again, the new text holds.
    void setDetails(int book, std::string_view folded);
    std::string_view details(int book) const;

    // The books whose name or details hold every word, on the shelves from fromShelf on: by
    // shelf, then in natural order.
    std::vector<int> find(const std::vector<std::string> &words, int fromShelf = 0) const;

private:
    std::string m_shelfText;
    std::vector<quint32> m_shelfStart {0};
    std::vector<quint32> m_firstBook; // of each shelf
    std::string m_fileText;
    std::vector<quint32> m_fileStart {0};
    std::string m_folded; // every folded name, each ended by a NUL, which no name holds
    std::vector<quint32> m_foldedStart {0};
    std::vector<qint32> m_shelfOf;
    std::string m_details; // texts set, each ended by a NUL; a text set again is left unused
    std::vector<qint32> m_detailsAt; // of each book, -1 for none
    std::vector<std::pair<quint32, qint32>> m_detailsOwner; // where a text starts, its book
};
