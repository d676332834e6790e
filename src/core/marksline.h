#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <vector>

// The colour marks of all books as one line of entries "-" + file name + "," + colour + ",",
// kept as the bytes of the file. The line is read from its start, entry after entry: a name runs
// to the first comma that is followed by a number and a closing comma, so a marked name that
// holds commas ("a,-b.txt") is one whole entry and never lends its colour to a name inside it.
// A damaged entry (a colour that is no number, "-Emma.txt,red,") ends before the next "-".
// Lookups go through an index of the entries, so they cost the same however long the line is.
class MarksLine
{
public:
    struct Entry
    {
        bool found = false;
        qsizetype first = -1; // byte position of the entry's "-"
        qsizetype last = -1; // byte position of the entry's closing ","
        QByteArray colourText;
    };

    MarksLine() = default;
    explicit MarksLine(const QByteArray &line) { setBytes(line); }

    const QByteArray &bytes() const { return m_line; }
    void setBytes(const QByteArray &line);

    // The first entry whose name is exactly fileName.
    Entry FindMarkEntry(QByteArrayView fileName) const;
    void removeEntry(const Entry &entry);
    void appendEntry(QByteArrayView fileName, int colour);

    // The same lookup by a walk over the whole line: the reference the index must match.
    Entry findByScan(QByteArrayView fileName) const;
    // Builds the index at once rather than after the first direct lookups.
    void indexNow() const { rebuildIndex(); }

    // Colour number 1 to 6 of a book, 0 when it is unmarked or its colour text is no such number.
    int colourOf(QByteArrayView fileName) const;
    // The colours of a page of books at once: one walk over the line instead of one per book,
    // until an index pays.
    std::vector<int> coloursOf(const std::vector<QByteArray> &fileNames) const;

    // True when the entry of a name and colour, read as the line is read, gives back exactly
    // that name and colour.
    static bool readsBack(QByteArrayView fileName, int colour);

    // Reads a colour text like a leading decimal number, rounded half to even; 0 when none.
    static int colourNumber(QByteArrayView colourText);

private:
    static constexpr int DirectLookups = 40;
    template<typename Fn> void walk(Fn fn) const;
    void rebuildIndex() const;
    void dropIndex();
    Entry entryAt(qsizetype first, qsizetype keyEnd) const;
    static int colourOfEntry(const Entry &e);
    bool plain() const;
    Entry findPlain(QByteArrayView fileName) const;

    QByteArray m_line;
    // Name to the start of its first entry; the names are views into m_line, so every change
    // of the line drops the index.
    mutable QHash<QByteArrayView, qsizetype> m_index;
    mutable bool m_indexValid = false;
    mutable int m_lookupsSinceChange = 0;
    // Whether the line is nothing but entries "-" name "," digits "," with no comma in a name,
    // as the program writes it: then an entry starts at every "-" that starts the line or
    // follows a comma, and a name is found by a search for "-name," rather than a walk. Found
    // out once per line read; marking and unmarking keep it known.
    enum class Shape { Unknown, Plain, Other };
    mutable Shape m_shape = Shape::Unknown;
};
