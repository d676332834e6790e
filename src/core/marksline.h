#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// The colour marks of all books as one line of entries "-" + file name + "," + colour + ",".
// The line is kept as the UTF-8 bytes of the file, and lookups go through an index of the
// entries, so they cost the same however long the line is.
class MarksLine
{
public:
    struct Entry
    {
        bool found = false;
        qsizetype first = -1; // byte position of the entry's "-"
        qsizetype last = -1; // byte position of the entry's closing ","
        QString colourText;
    };

    MarksLine() = default;
    explicit MarksLine(const QString &line) { setLine(line); }

    QString line() const { return QString::fromUtf8(m_line); }
    const QByteArray &bytes() const { return m_line; }
    void setLine(const QString &line) { setBytes(line.toUtf8()); }
    void setBytes(const QByteArray &utf8Line);

    // The entry whose key is exactly fileName: "-" + fileName + "," at the start of the line or
    // right after a ",". The colour text runs from that comma to the next one.
    Entry FindMarkEntry(const QString &fileName) const;
    void removeEntry(const Entry &entry);
    void appendEntry(const QString &fileName, int colour);

    // The same lookup by a plain search of the whole line: the reference the index must match.
    Entry findByScan(const QString &fileName) const { return scan(fileName.toUtf8()); }
    // Builds the index at once rather than after the first direct lookups.
    void indexNow() const { rebuildIndex(); }

    // Colour number 1 to 6 of a book, 0 when it is unmarked or its colour text is no such number.
    int colourOf(const QString &fileName) const;
    // The colours of a page of books at once: one pass over the line instead of one search per
    // book, until an index pays.
    std::vector<int> coloursOf(const QStringList &fileNames) const;

    // Reads a colour text like a leading decimal number, rounded half to even; 0 when none.
    static int colourNumber(const QString &colourText);
    static QColor colour(int number); // black for anything outside 1 to 6

private:
    static constexpr int DirectLookups = 40;
    void rebuildIndex() const;
    void dropIndex();
    Entry entryAt(qsizetype first, qsizetype keyEnd) const;
    Entry scan(const QByteArray &key) const;

    QByteArray m_line;
    // Key (text up to the first comma after an entry start) to the first such start; the keys
    // are views into m_line, so every change of the line drops the index.
    mutable QHash<QByteArrayView, qsizetype> m_index;
    mutable bool m_indexValid = false;
    mutable int m_lookupsSinceChange = 0;
};
