#include "bookdetails.h"
#include "bookindex.h"
#include "bookname.h"
#include "configfile.h"
#include "marksline.h"
#include "naturalsort.h"
#include "readstatus.h"
#include "rows.h"

using Strings = QStringList;
// clang-format off
struct ConfigRow { QByteArray file; QString book, read; }; // "-": no line counts
struct MarkRow { QByteArray line, name; int colour; };
// clang-format on
Q_DECLARE_METATYPE(ConfigRow)
Q_DECLARE_METATYPE(MarkRow)

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void configLines_data();
    void configLines();
    void markLookup_data();
    void markLookup();
    void bookNames();
    void naturalOrder_data();
    void naturalOrder();
    void finding_data();
    void finding();
    void detailsFromBooks_data();
    void detailsFromBooks();
    void whatTheReaderSays_data();
    void whatTheReaderSays();
};

void TestCore::configLines_data()
{
    TABLE(ConfigRow);
    // clang-format off
    row("read first", ConfigRow {"read=\r\nbook=/srv/Books\r\n", "/srv/Books", ""});
    row("trailing slash kept", ConfigRow {"book=/srv/Books/\r\n", "/srv/Books/", "-"});
    row("leading blank", ConfigRow {" book=/srv/Books\r\n", "-", "-"});
    row("capital", ConfigRow {"Book=/srv/Books\r\n", "-", "-"});
    row("last wins", ConfigRow {"book=/a\r\nbook=/b\r\n", "/b", "-"});
    row("fifth character not tested", ConfigRow {"bookX/Books\r\n", "/Books", "-"});
    row("empty file", ConfigRow {"", "-", "-"});
    row("LF ends", ConfigRow {"book=/a\nread=/r\n", "/a", "/r"});
    row("CR ends, no final end", ConfigRow {"book=/a\rread=/r", "/a", "/r"});
    row("key alone", ConfigRow {"book\r\nread\r\n", "", ""});
    row("blanks kept", ConfigRow {"book= /my books \r\n", " /my books ", "-"});
    row("fifth character outside the BMP", ConfigRow {"read\xf3\x8d\x9a\x96/r\r", "-", "/r"});
    row("utf-8", ConfigRow {"book=/B\xc3\xbc""cher\r\n", QStringLiteral("/Bücher"), "-"});
    // clang-format on
}

void TestCore::configLines()
{
    FETCH(ConfigRow);
    const ConfigValues v = parseConfig(r.file);
    QCOMPARE(v.book.value_or("-") + "|" + v.read.value_or("-"), r.book + "|" + r.read);
    QCOMPARE(formatConfig("/b", QString()), QByteArray("book=/b\r\nread=\r\n"));
}

void TestCore::markLookup_data()
{
    TABLE(MarkRow);
    // clang-format off
    row("found", MarkRow {"-Ulysses.txt,3,", "Ulysses.txt", 3});
    row("longer marked name", MarkRow {"-Ulysses.txt,3,", "Ulysses.txt.bak", 0});
    row("prefix of a marked name", MarkRow {"-Emma.txt.bak,2,", "Emma.txt", 0});
    row("inside another name", MarkRow {"-a-b.pdf,4,", "b.pdf", 0});
    row("second entry", MarkRow {"-Moby Dick.pdf,2,-Emma.txt,6,", "Emma.txt", 6});
    row("case counts", MarkRow {"-emma.txt,6,", "Emma.txt", 0});
    row("comma in name", MarkRow {"-a,b.pdf,5,-c,2,", "a,b.pdf", 5});
    row("after a comma name", MarkRow {"-a,b.pdf,5,-c,2,", "c", 2});
    row("',-' name is one entry", MarkRow {"-a,-b.txt,3,", "a,-b.txt", 3});
    row("',-' lends no colour", MarkRow {"-a,-b.txt,3,", "b.txt", 0});
    row("names with blanks and commas", MarkRow {"-Smith, John - Emma.txt,3,", "Smith, John - Emma.txt", 3});
    row("a damaged entry ends at the next", MarkRow {"-Emma.txt,red,-Moby.pdf,2,", "Moby.pdf", 2});
    row("an empty colour ends too", MarkRow {"-Emma.txt,,-Moby.pdf,2,", "Moby.pdf", 2});
    row("',-' then the real one", MarkRow {"-a,-b.txt,3,-b.txt,5,", "b.txt", 5});
    row("colour 7 is black", MarkRow {"-x,7,", "x", 0});
    row("text colour", MarkRow {"-x,red,", "x", 0});
    row("empty line", MarkRow {"", "x", 0});
    row("no closing comma", MarkRow {"-x,3", "x", 0});
    row("first of two wins", MarkRow {"-x,2,-x,5,", "x", 2});
    row("after garbage", MarkRow {"garbage,-x,4,", "x", 4});
    row("not UTF-8", MarkRow {"-caf\xe9.txt,1,", "caf\xe9.txt", 1});
    // A colour text reads as a leading decimal number, rounded half to even.
    row("blanks first", MarkRow {"-x,  4,", "x", 4});
    row("trailing text", MarkRow {"-x,5abc,", "x", 5});
    row("half down to even", MarkRow {"-x,2.5,", "x", 2});
    row("half up to even", MarkRow {"-x,3.5,", "x", 4});
    row("a fraction alone", MarkRow {"-x,+.5,", "x", 0});
    row("too long to be a colour", MarkRow {"-x,99999999999999999999,", "x", 0});
    // clang-format on
}

void TestCore::markLookup()
{
    FETCH(MarkRow);
    const MarksLine m(r.line);
    QCOMPARE(m.coloursOf({r.name, "other"}).front(), r.colour); // a page at once
    QCOMPARE(m.colourOf(r.name), r.colour); // one direct lookup
    m.indexNow();
    QCOMPARE(m.colourOf(r.name), r.colour); // the same through the index
    QCOMPARE(m.coloursOf({r.name}).front(), r.colour);
    QCOMPARE(m.FindMarkEntry(r.name).first, m.findByScan(r.name).first);
}

void TestCore::bookNames()
{
    // Title and format are the parts before and after the first dot.
    const std::pair<QString, QString> names[] = {{"Moby.Dick.txt", "Moby|Dick.txt"},
                                                 {"README", "README|"},
                                                 {".hidden", "|hidden"},
                                                 {"Notes.", "Notes|"}};
    for (const auto &[name, split] : names)
        QCOMPARE(splitBookName(name).title + "|" + splitBookName(name).format, split);
}

void TestCore::naturalOrder_data()
{
    QTest::addColumn<Strings>("input");
    QTest::addColumn<Strings>("sorted");
    // clang-format off
    row("numbers", Strings {"Book 10", "Book 2", "Book 1"}, Strings {"Book 1", "Book 2", "Book 10"});
    row("case ignored", Strings {"banana", "Apple", "cherry"}, Strings {"Apple", "banana", "cherry"});
    row("case variants", Strings {"emma", "Emma"}, Strings {"Emma", "emma"});
    row("leading zeros", Strings {"a10", "a009", "a1"}, Strings {"a1", "a009", "a10"});
    row("runs everywhere", Strings {"1a1a10", "1a1a2", "01a1a1"}, Strings {"01a1a1", "1a1a2", "1a1a10"});
    row("accents", Strings {"Émile 10", "émile 9", "Emile 2"}, Strings {"Emile 2", "émile 9", "Émile 10"});
    row("non-ASCII case", Strings {"Zebra", "Ähnlich", "äpfel"}, Strings {"Zebra", "Ähnlich", "äpfel"});
    // clang-format on
}

void TestCore::naturalOrder()
{
    QFETCH(Strings, input);
    QFETCH(Strings, sorted);
    NameList list;
    for (const QString &name : input)
        list.add(name.toUtf8().toStdString());
    QCOMPARE(list.toStringList(), sorted);
    // A name renamed in place keeps the order, as a fresh listing would give it.
    QVERIFY(list.remove(input.first().toUtf8().toStdString()) && !list.remove("none"));
    list.insert("Book 3");
    Strings renamed = sorted;
    renamed.removeOne(input.first());
    NameList fresh;
    for (const QString &name : renamed + Strings {"Book 3"})
        fresh.add(name.toUtf8().toStdString());
    QCOMPARE(list.toStringList(), fresh.toStringList());
}

void TestCore::finding_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("found"); // shelf/file, by shelf then in natural order
    // clang-format off
    row("letter case", "MOBY", "Fiction/Moby Dick.pdf");
    row("accents ignored", "emile", "Fiction/emile 9.epub,Fiction/Émile 10.epub");
    row("accent typed", "ÉMILE 10", "Fiction/Émile 10.epub");
    row("every word, any order", "dick moby", "Fiction/Moby Dick.pdf");
    row("every word needed", "moby odes", "");
    row("no match", "zebra", "");
    row("nothing typed", "  ", "");
    row("a comma", "a,b", "Fiction/a,b.txt");
    row("no dot", "readme", "Fiction/README");
    row("the format too", ".pdf", "Fiction/Moby Dick.pdf");
    row("shelf after shelf", "d", "Fiction/Moby Dick.pdf,Fiction/README,Poetry/Odes.txt");
    row("not UTF-8", "noir caf", "Poetry/caf\uFFFD Noir.txt");
    row("a line break", "lines", "Poetry/two\nlines.txt");
    row("a ligature", "fin", "Poetry/ﬁnal.txt");
    row("by the book's author", "melville", "Fiction/Moby Dick.pdf");
    row("author and name", "melville pdf", "Fiction/Moby Dick.pdf");
    row("by its series", "great odes", "Poetry/Odes.txt");
    row("details set again", "first", "");
    row("the details set last", "later", "Poetry/two\nlines.txt");
    // clang-format on
}

void TestCore::finding()
{
    QFETCH(QString, query);
    QFETCH(QString, found);
    // Two shelves read in two parts, as a walk hands them over.
    BookIndex index, more;
    index.addShelf("Fiction");
    for (const char *file : {"Émile 10.epub", "Moby Dick.pdf", "README", "a,b.txt", "emile 9.epub"})
        index.addBook(file);
    index.setDetails(1, "herman melville");
    more.addShelf("Poetry");
    for (const char *file : {"Odes.txt", "caf\xe9 Noir.txt", "two\nlines.txt", "ﬁnal.txt"})
        more.addBook(file);
    more.setDetails(2, "first");
    more.setDetails(2, "later");
    more.setDetails(0, "john keats great odes");
    index.append(more);
    const std::vector<int> books = index.find(queryWords(query));
    Strings shown;
    for (const int b : books)
        shown << QString::fromUtf8(index.shelfName(index.shelfOf(b)) + '/' + index.fileName(b));
    QCOMPARE(shown.join(','), found);
    // What the second part alone finds is what all of it finds there.
    QCOMPARE(index.find(queryWords(query), 1),
             std::vector<int>(std::find_if(books.begin(), books.end(),
                                           [&](int b) { return index.shelfOf(b) == 1; }),
                              books.end()));
}

void TestCore::detailsFromBooks_data()
{
    // What each kind of document yields, as the helper's lines ("|" for a line's end).
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("document"); // a PDF's: title|author|file name
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("proposed"); // the name the details propose for the file
    const QByteArray opf2 = "<package><metadata xmlns:dc='d' xmlns:opf='o'>";
    // clang-format off
    row("epub 2", "epub", opf2 + "<dc:title>Moby  Dick</dc:title><dc:creator opf:role='aut' opf:file-as='Melville, Herman'>Herman Melville</dc:creator><dc:creator opf:role='trl'>A Translator</dc:creator><dc:language>en</dc:language><dc:publisher>Harper</dc:publisher><dc:date>1851-10-18</dc:date><meta name='calibre:series' content='Sea'/><meta name='calibre:series_index' content='2.0'/></metadata></package>",
        QString("title=Moby Dick|author=Herman Melville|author-sort=Melville, Herman|series=Sea|series-number=2|year=1851|publisher=Harper|language=en|"), QString::fromUtf8("Herman Melville - Moby Dick"));
    row("epub 3", "epub", opf2 + QByteArray("<dc:title>Emma</dc:title><dc:creator id='a'>Jane Austen</dc:creator><meta refines='#a' property='role'>aut</meta><meta refines='#a' property='file-as'>Austen, Jane</meta><dc:creator id='i'>An Illustrator</dc:creator><meta refines='#i' property='role'>ill</meta><meta property='belongs-to-collection' id='c'>Novels</meta><meta refines='#c' property='collection-type'>series</meta><meta refines='#c' property='group-position'>4</meta></metadata></package>"),
        QString("title=Emma|author=Jane Austen|author-sort=Austen, Jane|series=Novels|series-number=4|"), QString::fromUtf8("Jane Austen - Emma"));
    row("epub, no roles", "epub", opf2 + "<dc:creator>One</dc:creator><dc:creator>Two</dc:creator><dc:creator>One</dc:creator>",
        QString("author=One|author-sort=-|author=Two|author-sort=-|"), QString::fromUtf8(""));
    row("epub, dots and signs", "epub", opf2 + "<dc:title>Dr. No: A \"Story\"?</dc:title><dc:creator>I. Fleming</dc:creator>",
        QString("title=Dr. No: A \"Story\"?|author=I. Fleming|author-sort=-|"), QString("I Fleming - Dr No A Story"));
    row("epub, junk", "epub", QByteArray("\x00\xff<<metadata>&&", 15), QString(), QString::fromUtf8(""));
    row("fb2, windows-1251", "fb2", QByteArray("<?xml version='1.0' encoding='windows-1251'?><FictionBook><description><title-info><author><first-name>\xCB\xE5\xE2</first-name><last-name>\xD2\xEE\xEB\xF1\xF2\xEE\xE9</last-name></author><book-title>\xC2\xEE\xE9\xED\xE0</book-title><lang>ru</lang><sequence name='S' number='3'/></title-info></description></FictionBook>"),
        QString::fromUtf8("title=Война|author=Лев Толстой|author-sort=Толстой, Лев|series=S|series-number=3|language=ru|"), QString::fromUtf8("Лев Толстой - Война"));
    row("fb2, a nickname", "fb2", QByteArray("<FictionBook><description><title-info><author><nickname>Saki</nickname><email>a@b</email></author><date value='1911-01-01'/></title-info></description></FictionBook>"),
        QString("author=Saki|author-sort=-|year=1911|"), QString::fromUtf8(""));
    row("comic", "comic", QByteArray("<ComicInfo><Title>Start</Title><Series>Hero</Series><Number>7</Number><Writer>Ann, Bo</Writer><Year>1999</Year></ComicInfo>"),
        QString("title=Start|author=Ann|author-sort=-|author=Bo|author-sort=-|series=Hero|series-number=7|year=1999|"), QString::fromUtf8("Ann - Start"));
    row("comic, not ComicInfo", "comic", QByteArray("<Other><Title>x</Title></Other>"), QString(), QString::fromUtf8(""));
    row("pdf", "pdf", QByteArray("Moby Dick|Herman Melville|b.pdf"), QString("title=Moby Dick|author=Herman Melville|author-sort=-|"), QString::fromUtf8("Herman Melville - Moby Dick"));
    row("pdf, word processor", "pdf", QByteArray("Microsoft Word - notes.doc|Administrator|b.pdf"), QString(), QString::fromUtf8(""));
    row("pdf, file name", "pdf", QByteArray("  untitled |Adobe Acrobat 9|b.pdf"), QString(), QString::fromUtf8(""));
    row("pdf, title is the name", "pdf", QByteArray("Moby-Dick|pdfTeX-1.40|moby-dick.pdf"), QString(), QString::fromUtf8(""));
    row("pdf, Cyrillic", "pdf", QByteArray("Война и мир|Лев Толстой|b.pdf"), QString::fromUtf8("title=Война и мир|author=Лев Толстой|author-sort=-|"), QString::fromUtf8("Лев Толстой - Война и мир"));
    row("pdf, Japanese", "pdf", QByteArray("こころ|夏目漱石|b.pdf"), QString::fromUtf8("title=こころ|author=夏目漱石|author-sort=-|"), QString::fromUtf8("夏目漱石 - こころ"));
    row("pdf, Greek and Arabic", "pdf", QByteArray("Ὀδύσσεια|نجيب محفوظ|b.pdf"), QString::fromUtf8("title=Ὀδύσσεια|author=نجيب محفوظ|author-sort=-|"), QString::fromUtf8("نجيب محفوظ - Ὀδύσσεια"));
    row("pdf, mixed, a number", "pdf", QByteArray("こころ Kokoro|№ 5|b.pdf"), QString::fromUtf8("title=こころ Kokoro|author=№ 5|author-sort=-|"), QString::fromUtf8("№ 5 - こころ Kokoro"));
    row("pdf, signs and blanks", "pdf", QByteArray("— … —|\xe3\x80\x80 · |b.pdf"), QString(), QString::fromUtf8(""));
    row("comma before a number, FAT signs", "comic", QByteArray("<ComicInfo><Title>Tales,3 Stories: AC/DC,-2 ,.5</Title><Writer>A.B. C</Writer></ComicInfo>"), QString("title=Tales,3 Stories: AC/DC,-2 ,.5|author=A.B. C|author-sort=-|"), QString("A B C - Tales 3 Stories AC DC -2 5"));
    // clang-format on
}

void TestCore::detailsFromBooks()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, document);
    QFETCH(QString, details);
    QFETCH(QString, proposed);
    const QList<QByteArray> pdf = document.split('|');
    const BookDetails d = kind == "epub" ? epubDetails(document)
        : kind == "fb2"                  ? fb2Details(document)
        : kind == "comic"                ? comicInfoDetails(document)
                                         : pdfDetails(pdf.value(0), pdf.value(1), pdf.value(2));
    QCOMPARE(QString::fromUtf8(d.toLines()).replace(u'\n', u'|'), details);
    QCOMPARE(BookDetails::fromLines(d.toLines()), d); // the helper's lines give them back
    QCOMPARE(nameFromDetails(d), proposed);
}

void TestCore::whatTheReaderSays_data()
{
    // A KOReader sidecar ("lua"), a Kobo database row ("kobo": ReadStatus,___PercentRead) and
    // a Kobo ContentID ("id"): what the window says of the book, or the path on the reader.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QString>("shown");
    const QByteArray lua
        = "-- we can read Lua syntax here!\nreturn {\n    [\"percent_finished\"] = ";
    // clang-format off
    row("reading", "lua", lua + "0.452,\n    [\"summary\"] = {\n        [\"status\"] = \"reading\",\n    },\n}\n", QString("45% read"));
    row("complete", "lua", lua + "0.9,\n    [\"summary\"] = {\n        [\"status\"] = \"complete\",\n    },\n}\n", QString("finished"));
    row("at the last page", "lua", lua + "1,\n}\n", QString("finished"));
    row("keys without brackets", "lua", QByteArray("return { percent_finished = 0.3, summary = { status = 'reading' } }"), QString("30% read"));
    row("not a number", "lua", lua + "os.exit(),\n}\n", QString());
    row("out of range", "lua", lua + "7.5,\n}\n", QString());
    row("infinite", "lua", lua + "1e999,\n}\n", QString());
    row("not yet opened", "lua", lua + "0,\n}\n", QString());
    row("no values", "lua", QByteArray("return {}"), QString());
    row("not text", "lua", QByteArray("\xff\xfe") + '\0' + "[\"percent_finished\"]" + '\0' + "= 0.5", QString());
    row("kobo unread", "kobo", QByteArray("0,0"), QString());
    row("kobo reading", "kobo", QByteArray("1,45"), QString("45% read"));
    row("kobo finished", "kobo", QByteArray("2,100"), QString("finished"));
    row("kobo percent out of range", "kobo", QByteArray("1,250"), QString());
    row("kobo unknown status", "kobo", QByteArray("7,45"), QString());
    row("id in a folder", "id", QByteArray("file:///mnt/onboard/Tales/Odes.kepub.epub"), QString("Tales/Odes.kepub.epub"));
    row("id raw, not percent-decoded", "id", QByteArray("file:///mnt/onboard/100%25 Emma.epub"), QString("100%25 Emma.epub"));
    row("id of a store book", "id", QByteArray("0f8a1c3e-2a4b-4c1d-9e2f-123456789abc"), QString());
    row("id on the card", "id", QByteArray("file:///mnt/sd/Emma.epub"), QString());
    row("id climbing out", "id", QByteArray("file:///mnt/onboard/../../etc/passwd"), QString());
    row("id climbing out later", "id", QByteArray("file:///mnt/onboard/a/../../b.epub"), QString());
    row("id absolute", "id", QByteArray("file:///mnt/onboard//etc/passwd"), QString());
    // clang-format on
}

void TestCore::whatTheReaderSays()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, said);
    QFETCH(QString, shown);
    if (kind == "lua")
        QCOMPARE(sidecarStatus(said).text(), shown);
    else if (kind == "kobo")
        QCOMPARE(koboStatus(said.split(',')[0].toInt(), said.split(',')[1].toInt()).text(), shown);
    else
        QCOMPARE(QString::fromUtf8(koboBookPath(QString::fromUtf8(said))), shown);
}

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
