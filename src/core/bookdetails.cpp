#include "bookdetails.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

// No value a book brings is kept longer than this, nor more authors than MostAuthors.
constexpr qsizetype LongestValue = 500;
constexpr qsizetype MostAuthors = 20;

// A value as shown: blanks and line breaks folded to single blanks, trimmed, bounded.
QString cleaned(const QString &text)
{
    return text.simplified().left(LongestValue);
}

// The value of an attribute by its local name, whatever its namespace prefix.
QString attribute(const QXmlStreamReader &xml, QStringView name)
{
    for (const QXmlStreamAttribute &a : xml.attributes()) {
        if (a.name() == name)
            return a.value().toString();
    }
    return {};
}

// The text of the element just started, its children's text included.
QString textOf(QXmlStreamReader &xml)
{
    return cleaned(xml.readElementText(QXmlStreamReader::IncludeChildElements));
}

// Moves to the next element that starts inside the first element named section, wherever that
// lies; false at that element's end, the document's end or an error.
bool nextInside(QXmlStreamReader &xml, QStringView section, bool &inside)
{
    while (!xml.atEnd() && !xml.hasError()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == section)
            return false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == section)
            inside = true;
        else if (inside)
            return true;
    }
    return false;
}

int yearOf(const QString &date)
{
    static const QRegularExpression year(QStringLiteral("\\b(\\d{4})\\b"));
    const QRegularExpressionMatch m = year.match(date);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

void addAuthor(BookDetails &d, const QString &name, const QString &sort = QString())
{
    if (!name.isEmpty() && d.authors.size() < MostAuthors && !d.authors.contains(name)) {
        d.authors << name;
        d.authorSorts << cleaned(sort);
    }
}

} // namespace

bool BookDetails::isEmpty() const
{
    return title.isEmpty() && authors.isEmpty() && series.isEmpty() && year == 0
        && publisher.isEmpty() && language.isEmpty();
}

QString BookDetails::summary() const
{
    QStringList parts;
    if (!authors.isEmpty())
        parts << authors.join(QStringLiteral(", "));
    if (!series.isEmpty())
        parts << (seriesNumber.isEmpty() ? series : series + u' ' + seriesNumber);
    if (year > 0)
        parts << QString::number(year);
    return parts.join(QStringLiteral(" · "));
}

QString BookDetails::tipLines() const
{
    QStringList lines;
    if (!title.isEmpty())
        lines << title;
    auto add = [&](const QString &label, const QString &value) {
        if (!value.isEmpty())
            lines << label + value;
    };
    add(authors.size() > 1 ? QStringLiteral("Authors: ") : QStringLiteral("Author: "),
        authors.join(QStringLiteral(", ")));
    add(QStringLiteral("Series: "),
        seriesNumber.isEmpty() || series.isEmpty() ? series : series + u' ' + seriesNumber);
    add(QStringLiteral("Year: "), year > 0 ? QString::number(year) : QString());
    add(QStringLiteral("Publisher: "), publisher);
    add(QStringLiteral("Language: "), language);
    return lines.join(u'\n');
}

namespace {

// Text as a file name may hold it: dots, the characters a FAT reader refuses, control
// characters and a comma before a number (the marks file would end the name there) are blanks.
QString nameSafe(const QString &text)
{
    QString name = text;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c < u' ' || QStringView(u".\"*/:<>?\\|").contains(c))
            name[i] = u' ';
    }
    static const QRegularExpression commaBeforeNumber(QStringLiteral(",(?=\\s*[+-]?\\d)"));
    name.replace(commaBeforeNumber, QStringLiteral(" "));
    return name.simplified();
}

// The text cut to at most `bytes` bytes of UTF-8, between whole characters, at the end of a
// word where one ends in the last quarter of what is kept.
QString cutTo(const QString &text, qsizetype bytes)
{
    if (text.toUtf8().size() <= bytes)
        return text;
    qsizetype kept = 0, used = 0;
    while (kept < text.size()) {
        const qsizetype step = text.at(kept).isHighSurrogate() && kept + 1 < text.size() ? 2 : 1;
        const qsizetype size = text.mid(kept, step).toUtf8().size();
        if (used + size > bytes)
            break;
        used += size;
        kept += step;
    }
    const qsizetype blank = text.lastIndexOf(u' ', kept);
    if (blank > 0 && blank >= kept - kept / 4)
        kept = blank;
    return text.left(kept).trimmed();
}

} // namespace

QString nameFromDetails(const BookDetails &details, const QByteArray &formatPart)
{
    constexpr qsizetype MostNameBytes = 255;
    const QString title = nameSafe(details.title);
    if (title.isEmpty())
        return {};
    const QString author = nameSafe(details.authors.value(0));
    const qsizetype room = MostNameBytes - formatPart.size();
    if (author.isEmpty())
        return cutTo(title, room);
    const QString between = QStringLiteral(" - ");
    // The author whole unless it leaves the title less than half the room.
    const QString shortAuthor = (author + between).toUtf8().size() > room / 2
        ? cutTo(author, room / 2 - between.size())
        : author;
    const QString shortTitle = cutTo(title, room - (shortAuthor + between).toUtf8().size());
    return shortAuthor.isEmpty() || shortTitle.isEmpty() ? cutTo(title, room)
                                                         : shortAuthor + between + shortTitle;
}

QByteArray BookDetails::toLines() const
{
    QByteArray out;
    auto line = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            out += QByteArray(key) + '=' + value.simplified().toUtf8() + '\n';
    };
    line("title", title);
    for (qsizetype i = 0; i < authors.size(); ++i) {
        line("author", authors[i]);
        line("author-sort", authorSorts.value(i).isEmpty() ? QStringLiteral("-") : authorSorts[i]);
    }
    line("series", series);
    line("series-number", seriesNumber);
    line("year", year ? QString::number(year) : QString());
    line("publisher", publisher);
    line("language", language);
    return out;
}

BookDetails BookDetails::fromLines(const QByteArray &lines)
{
    BookDetails d;
    for (const QByteArray &line : lines.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq);
        const QString value = cleaned(QString::fromUtf8(line.mid(eq + 1)));
        if (key == "title")
            d.title = value;
        else if (key == "author" && d.authors.size() < MostAuthors) {
            d.authors << value;
            d.authorSorts << QString();
        } else if (key == "author-sort" && !d.authorSorts.isEmpty() && value != u"-")
            d.authorSorts.last() = value;
        else if (key == "series")
            d.series = value;
        else if (key == "series-number")
            d.seriesNumber = value;
        else if (key == "year")
            d.year = value.toInt();
        else if (key == "publisher")
            d.publisher = value;
        else if (key == "language")
            d.language = value;
    }
    return d;
}

BookDetails epubDetails(const QByteArray &packageXml)
{
    // Read in one pass, resolved after: EPUB 3 refines a creator or a collection by later metas.
    struct Creator
    {
        QString id, name, role, sort;
    };
    std::vector<Creator> creators;
    QHash<QString, QHash<QString, QString>> refined; // id -> property -> value
    QHash<QString, QString> named; // EPUB 2 <meta name content>
    std::vector<std::pair<QString, QString>> collections; // id, name
    BookDetails d;
    QString date;
    QXmlStreamReader xml(packageXml);
    bool inMetadata = false;
    while (nextInside(xml, u"metadata", inMetadata)) {
        const QStringView name = xml.name();
        if (name == u"title" && d.title.isEmpty())
            d.title = textOf(xml);
        else if (name == u"creator" && creators.size() < 100) {
            Creator c {attribute(xml, u"id"), QString(), attribute(xml, u"role"),
                       attribute(xml, u"file-as")};
            c.name = textOf(xml);
            creators.push_back(c);
        } else if (name == u"language" && d.language.isEmpty())
            d.language = textOf(xml);
        else if (name == u"publisher" && d.publisher.isEmpty())
            d.publisher = textOf(xml);
        else if (name == u"date" && date.isEmpty())
            date = textOf(xml);
        else if (name == u"meta") {
            const QString property = attribute(xml, u"property");
            const QString refines = attribute(xml, u"refines");
            const QString id = attribute(xml, u"id");
            if (!attribute(xml, u"name").isEmpty()) {
                named.insert(attribute(xml, u"name"), cleaned(attribute(xml, u"content")));
            } else if (!refines.isEmpty()) {
                if (refined.size() < 1000)
                    refined[refines.mid(refines.startsWith(u'#') ? 1 : 0)].insert(property,
                                                                                  textOf(xml));
            } else if (property == u"belongs-to-collection" && collections.size() < 100) {
                collections.emplace_back(id, textOf(xml));
            }
        }
    }
    for (const Creator &c : creators) {
        const QHash<QString, QString> more = refined.value(c.id);
        const QString role = c.role.isEmpty() ? more.value(QStringLiteral("role")) : c.role;
        if (role.isEmpty() || role.compare(u"aut", Qt::CaseInsensitive) == 0)
            addAuthor(d, c.name, c.sort.isEmpty() ? more.value(QStringLiteral("file-as")) : c.sort);
    }
    if (!named.value(QStringLiteral("calibre:series")).isEmpty()) {
        d.series = named.value(QStringLiteral("calibre:series"));
        d.seriesNumber = named.value(QStringLiteral("calibre:series_index"));
    }
    for (const auto &[id, name] : collections) {
        const QHash<QString, QString> more = refined.value(id);
        if (d.series.isEmpty() && more.value(QStringLiteral("collection-type")) == u"series") {
            d.series = name;
            d.seriesNumber = cleaned(more.value(QStringLiteral("group-position")));
        }
    }
    // A whole number given as "2.0" reads as "2".
    if (d.seriesNumber.endsWith(QStringLiteral(".0")))
        d.seriesNumber.chop(2);
    d.year = yearOf(date);
    return d;
}

BookDetails fb2Details(const QByteArray &xml)
{
    // The reader decodes the text in the encoding the declaration names (windows-1251 is common).
    QXmlStreamReader r(xml);
    BookDetails d;
    bool inTitleInfo = false;
    while (nextInside(r, u"title-info", inTitleInfo)) {
        const QStringView name = r.name();
        if (name == u"book-title" && d.title.isEmpty())
            d.title = textOf(r);
        else if (name == u"lang" && d.language.isEmpty())
            d.language = textOf(r);
        else if (name == u"date" && d.year == 0) {
            const QString value = attribute(r, u"value"); // before the text moves past it
            d.year = yearOf(value + u' ' + r.readElementText());
        } else if (name == u"sequence" && d.series.isEmpty()) {
            d.series = cleaned(attribute(r, u"name"));
            d.seriesNumber = cleaned(attribute(r, u"number"));
        } else if (name == u"author") {
            QString first, middle, last, nick, other;
            while (r.readNextStartElement()) {
                QString &part = r.name() == u"first-name" ? first
                    : r.name() == u"middle-name"          ? middle
                    : r.name() == u"last-name"            ? last
                    : r.name() == u"nickname"             ? nick
                                                          : other;
                part = textOf(r);
            }
            const QString full = cleaned(QStringList {first, middle, last}.join(u' '));
            addAuthor(d, full.isEmpty() ? nick : full,
                      last.isEmpty()
                          ? QString()
                          : cleaned(last + QStringLiteral(", ") + first + u' ' + middle));
        }
    }
    return d;
}

BookDetails comicInfoDetails(const QByteArray &xml)
{
    QXmlStreamReader r(xml);
    BookDetails d;
    if (!r.readNextStartElement() || r.name() != u"ComicInfo")
        return d;
    while (r.readNextStartElement()) {
        const QStringView name = r.name();
        const QString value = textOf(r);
        if (name == u"Title")
            d.title = value;
        else if (name == u"Series")
            d.series = value;
        else if (name == u"Number")
            d.seriesNumber = value;
        else if (name == u"Year")
            d.year = value.toInt() > 0 && value.toInt() < 10000 ? value.toInt() : 0;
        else if (name == u"Writer") {
            for (const QString &writer : value.split(u','))
                addAuthor(d, writer.trimmed());
        } else if (name == u"Publisher")
            d.publisher = value;
        else if (name == u"LanguageISO")
            d.language = value;
    }
    return d;
}

BookDetails pdfDetails(const QString &title, const QString &author, const QString &fileName)
{
    BookDetails d;
    const QString t = cleaned(title), a = cleaned(author);
    const QString base = fileName.left(fileName.lastIndexOf(u'.') < 0 ? fileName.size()
                                                                      : fileName.lastIndexOf(u'.'));
    static const QRegularExpression untitled(
        QStringLiteral("^(untitled|unknown|no title|title|document\\d*|[^\\p{L}\\p{N}]*)$|"
                       "^Microsoft (Word|PowerPoint|Excel) - |"
                       "\\.(docx?|odt|rtf|txt|pdf|tex|dvi|pptx?)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (!untitled.match(t).hasMatch() && t.compare(fileName, Qt::CaseInsensitive) != 0
        && t.compare(base, Qt::CaseInsensitive) != 0)
        d.title = t;
    // Programs that write their own name where the author belongs.
    static const QRegularExpression program(
        QStringLiteral("^(unknown|administrator|admin|user|owner|author|[^\\p{L}\\p{N}]*)$|"
                       "\\b(adobe|acrobat|microsoft|openoffice|libreoffice|pdftex|latex|"
                       "ghostscript|distiller|pdfcreator|calibre|quartz|scanner)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (!program.match(a).hasMatch())
        addAuthor(d, a);
    return d;
}
