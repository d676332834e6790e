#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The version of what the readers of book details know: raised whenever one of them (here, or
// in the helper's readers of PDF, MOBI and DjVu) learns to read something more, so that books
// read by an earlier version are read again.
inline constexpr int DetailsReaderVersion = 2;

// What a book says of itself: its title, authors, series, year, publisher and language, read
// from the documents it carries. Pure parsing: every function takes whatever bytes a damaged or
// hostile file holds and answers with what it could read, nothing when nothing.
struct BookDetails
{
    QString title;
    QStringList authors; // as the book shows them, in its order
    QStringList authorSorts; // the sort form of each author where the book gives one, else ""
    QString series;
    QString seriesNumber; // as the book writes it: "2", "1.5"
    int year = 0;
    QString publisher;
    QString language;

    bool isEmpty() const;
    // One line for the details pane: the authors, the series with its number, the year, as far
    // as they are known ("Ann Leckie · Imperial Radch 1 · 2013"); empty when none is.
    QString summary() const;
    // Lines for a tooltip: the title, then a labelled line for each value known.
    QString tipLines() const;
    // As `key=value` lines, one per value (authors repeat), each value on one line; and back.
    QByteArray toLines() const;
    static BookDetails fromLines(const QByteArray &lines);
    bool operator==(const BookDetails &) const = default;
};

// The name a book's details propose for its file, before its format part: "Author - Title"
// with the first author (the title alone when no author is known), dots made blanks so that
// the format part stays the part after the first dot, the characters a FAT reader refuses and
// a comma the marks file would read as a name's end made blanks too, blanks run together; empty
// when the book gives no title. With the format part (".epub") it makes a file name of at most
// 255 bytes: the title shortened at a word's end where it can, the author only when it alone
// would take more than half of that.
QString nameFromDetails(const BookDetails &details, const QByteArray &formatPart = QByteArray());

// An EPUB's package document (EPUB 2 or 3): dc:title; each dc:creator that is an author (the
// "aut" role, or no role) with its sort form; the series from calibre's metas or a collection
// of type "series"; dc:language, dc:publisher and the year of dc:date.
BookDetails epubDetails(const QByteArray &packageXml);
// An FB2 book's title-info, in the encoding its declaration names: book-title, each author
// (first, middle, last name), the sequence's name and number, lang.
BookDetails fb2Details(const QByteArray &xml);
// A comic archive's ComicInfo.xml: Series, Number, Title, Writer (comma-separated), Year.
BookDetails comicInfoDetails(const QByteArray &xml);
// A PDF's Title and Author, without the values that say nothing: blanks, "untitled", a word
// processor's "Microsoft Word - …", a title that is the file's name, a program as author.
BookDetails pdfDetails(const QString &title, const QString &author, const QString &fileName);
