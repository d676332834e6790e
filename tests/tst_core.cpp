#include "bookname.h"
#include "configfile.h"
#include "marksline.h"
#include "naturalsort.h"
#include "paging.h"

#include <QTest>

class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void configLines_data();
    void configLines();
    void configWrittenAsTwoCrLfLines();
    void markLookup_data();
    void markLookup();
    void colourNumber_data();
    void colourNumber();
    void markChangesKeepLookupsRight();
    void bookNames_data();
    void bookNames();
    void paging_data();
    void paging();
    void naturalOrder_data();
    void naturalOrder();
    void longListsGiveTheSameOrderWhateverIsReadFirst_data();
    void longListsGiveTheSameOrderWhateverIsReadFirst();
};

void TestCore::configLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("book"); // "<unset>" when no book line counts
    QTest::addColumn<QString>("read");
    const QString unset = QStringLiteral("<unset>");
    QTest::newRow("read first, order free")
        << QByteArray("read=\r\nbook=/srv/Books\r\n") << "/srv/Books"
        << "";
    QTest::newRow("trailing slash kept")
        << QByteArray("book=/srv/Books/\r\n") << "/srv/Books/" << unset;
    QTest::newRow("leading blank ignored") << QByteArray(" book=/srv/Books\r\n") << unset << unset;
    QTest::newRow("capital ignored") << QByteArray("Book=/srv/Books\r\n") << unset << unset;
    QTest::newRow("last book wins") << QByteArray("book=/a\r\nbook=/b\r\n") << "/b" << unset;
    QTest::newRow("fifth character not tested")
        << QByteArray("bookX/Books\r\n") << "/Books" << unset;
    QTest::newRow("empty file") << QByteArray() << unset << unset;
    QTest::newRow("LF line ends") << QByteArray("book=/a\nread=/r\n") << "/a"
                                  << "/r";
    QTest::newRow("CR line ends") << QByteArray("book=/a\rread=/r\r") << "/a"
                                  << "/r";
    QTest::newRow("no final line end") << QByteArray("book=/a\r\nread=/r") << "/a"
                                       << "/r";
    QTest::newRow("key alone gives empty value") << QByteArray("book\r\nread\r\n") << ""
                                                 << "";
    QTest::newRow("blanks kept in value")
        << QByteArray("book= /my books \r\n") << " /my books " << unset;
    QTest::newRow("fifth character outside the BMP")
        << QByteArray("read\xf3\x8d\x9a\x96/r\r") << unset << "/r";
    QTest::newRow("utf-8 path") << QByteArray("book=/srv/B\xc3\xbc"
                                              "cher\r\n")
                                << QStringLiteral("/srv/Bücher") << unset;
}

void TestCore::configLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, book);
    QFETCH(QString, read);
    const ConfigValues v = parseConfig(file);
    QCOMPARE(v.book.value_or(QStringLiteral("<unset>")), book);
    QCOMPARE(v.read.value_or(QStringLiteral("<unset>")), read);
}

void TestCore::configWrittenAsTwoCrLfLines()
{
    QCOMPARE(formatConfig(QStringLiteral("/srv/Books/"), QString()),
             QByteArray("book=/srv/Books/\r\nread=\r\n"));
    const ConfigValues back = parseConfig(formatConfig(QStringLiteral("/b"), QString()));
    QCOMPARE(*back.read, QString());
}

void TestCore::markLookup_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("colour");
    QTest::newRow("found") << "-Ulysses.txt,3,"
                           << "Ulysses.txt" << 3;
    QTest::newRow("longer marked name") << "-Ulysses.txt,3,"
                                        << "Ulysses.txt.bak" << 0;
    QTest::newRow("prefix of a marked name") << "-Emma.txt.bak,2,"
                                             << "Emma.txt" << 0;
    QTest::newRow("inside another name") << "-a-b.pdf,4,"
                                         << "b.pdf" << 0;
    QTest::newRow("second entry") << "-Moby Dick.pdf,2,-Emma.txt,6,"
                                  << "Emma.txt" << 6;
    QTest::newRow("case counts") << "-emma.txt,6,"
                                 << "Emma.txt" << 0;
    QTest::newRow("comma in name") << "-a,b.pdf,5,"
                                   << "a,b.pdf" << 5;
    QTest::newRow("colour 7 is black") << "-x,7,"
                                       << "x" << 0;
    QTest::newRow("text colour is black") << "-x,red,"
                                          << "x" << 0;
    QTest::newRow("empty line") << ""
                                << "x" << 0;
    QTest::newRow("no closing comma") << "-x,3"
                                      << "x" << 0;
    QTest::newRow("first of two entries wins") << "-x,2,-x,5,"
                                               << "x" << 2;
    QTest::newRow("entry after a bad one") << "garbage,-x,4,"
                                           << "x" << 4;
}

void TestCore::markLookup()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(int, colour);
    QCOMPARE(MarksLine(line).colourOf(name), colour);
}

void TestCore::colourNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::newRow("digit") << "3" << 3;
    QTest::newRow("blanks first") << "  4" << 4;
    QTest::newRow("trailing text") << "5abc" << 5;
    QTest::newRow("half to even down") << "2.5" << 2;
    QTest::newRow("half to even up") << "3.5" << 4;
    QTest::newRow("rounds") << "1.6" << 2;
    QTest::newRow("no number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("huge") << "99999999999999999999" << 0;
}

void TestCore::colourNumber()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QCOMPARE(MarksLine::colourNumber(text), number);
}

void TestCore::markChangesKeepLookupsRight()
{
    MarksLine m;
    m.appendEntry(QStringLiteral("Moby Dick.pdf"), 2);
    m.appendEntry(QStringLiteral("Emma.txt"), 6);
    QCOMPARE(m.line(), QStringLiteral("-Moby Dick.pdf,2,-Emma.txt,6,"));
    QCOMPARE(m.colourOf(QStringLiteral("Emma.txt")), 6);
    // Re-marking moves the entry to the end; the index must follow every change.
    m.removeEntry(m.FindMarkEntry(QStringLiteral("Moby Dick.pdf")));
    m.appendEntry(QStringLiteral("Moby Dick.pdf"), 6);
    QCOMPARE(m.line(), QStringLiteral("-Emma.txt,6,-Moby Dick.pdf,6,"));
    QCOMPARE(m.colourOf(QStringLiteral("Moby Dick.pdf")), 6);
    m.removeEntry(m.FindMarkEntry(QStringLiteral("Emma.txt")));
    QCOMPARE(m.colourOf(QStringLiteral("Emma.txt")), 0);
    QCOMPARE(m.colourOf(QStringLiteral("Moby Dick.pdf")), 6);
    // A hand-edited line without its final comma must not swallow the next entry.
    MarksLine edited(QStringLiteral("-a,1"));
    edited.appendEntry(QStringLiteral("b"), 3);
    QCOMPARE(edited.colourOf(QStringLiteral("b")), 3);
}

void TestCore::bookNames_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("format");
    QTest::newRow("dots in format") << "Moby.Dick.txt"
                                    << "Moby"
                                    << "Dick.txt";
    QTest::newRow("no dot") << "README"
                            << "README"
                            << "";
    QTest::newRow("leading dot") << ".hidden"
                                 << ""
                                 << "hidden";
    QTest::newRow("blanks") << "Moby Dick.pdf"
                            << "Moby Dick"
                            << "pdf";
}

void TestCore::bookNames()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    QFETCH(QString, format);
    const BookName b = splitBookName(file);
    QCOMPARE(b.title, title);
    QCOMPARE(b.format, format);
}

void TestCore::paging_data()
{
    QTest::addColumn<bool>("books"); // book grid, else shelf grid
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("maximum");
    QTest::newRow("27 shelves") << false << 27 << false << 1;
    QTest::newRow("28 shelves") << false << 28 << true << 1;
    QTest::newRow("29 shelves") << false << 29 << true << 2;
    QTest::newRow("19 books") << true << 19 << false << 1;
    QTest::newRow("20 books") << true << 20 << true << 1;
    QTest::newRow("21 books") << true << 21 << true << 2;
    QTest::newRow("201 books") << true << 201 << true << 38;
    QTest::newRow("40000 books") << true << 40000 << true << 7997;
}

void TestCore::paging()
{
    QFETCH(bool, books);
    QFETCH(int, count);
    QFETCH(bool, shown);
    QFETCH(int, maximum);
    const GridShape g = books ? BookGrid : ShelfGrid;
    QCOMPARE(scrollBarShown(g, count), shown);
    if (shown)
        QCOMPARE(scrollMaximum(g, count), maximum);
}

void TestCore::naturalOrder_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("numbers by value") << QStringList {"Book 10", "Book 2", "Book 1"}
                                      << QStringList {"Book 1", "Book 2", "Book 10"};
    QTest::newRow("case ignored") << QStringList {"banana", "Apple", "cherry"}
                                  << QStringList {"Apple", "banana", "cherry"};
    QTest::newRow("case variants fixed order")
        << QStringList {"emma", "Emma"} << QStringList {"Emma", "emma"};
    QTest::newRow("leading zeros")
        << QStringList {"a10", "a009", "a1"} << QStringList {"a1", "a009", "a10"};
    QTest::newRow("digit runs everywhere")
        << QStringList {"1a1a10", "1a1a2", "01a1a1"} << QStringList {"01a1a1", "1a1a2", "1a1a10"};
    QTest::newRow("plain and accented names under one rule")
        << QStringList {"\u00c9mile 10", "\u00e9mile 9", "Emile 2"}
        << QStringList {"Emile 2", "\u00e9mile 9", "\u00c9mile 10"};
    QTest::newRow("non-ascii case")
        << QStringList {"Zebra", "Ähnlich", "äpfel"} << QStringList {"Zebra", "Ähnlich", "äpfel"};
}

void TestCore::naturalOrder()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, sorted);
    std::vector<QString> v(input.begin(), input.end());
    sortNaturally(v);
    QCOMPARE(QStringList(v.begin(), v.end()), sorted);
}

void TestCore::longListsGiveTheSameOrderWhateverIsReadFirst_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("firstRead"); // the position looked at before any other
    QTest::newRow("first page of a long list") << 1000 << 0;
    QTest::newRow("past the first pages") << 1000 << 500;
    QTest::newRow("the last name") << 1000 << 999;
    QTest::newRow("short list") << 30 << 3;
}

void TestCore::longListsGiveTheSameOrderWhateverIsReadFirst()
{
    QFETCH(int, count);
    QFETCH(int, firstRead);
    // Names in a scrambled order, as a folder lists them, with case variants and leading zeros.
    std::vector<QString> names;
    for (int i = 0; i < count; ++i) {
        const int n = (i * 7919) % count;
        names.push_back(n % 3 ? QStringLiteral("Book %1").arg(n)
                              : QStringLiteral("book %1").arg(n, 4, 10, QLatin1Char('0')));
    }
    NameList list;
    for (const QString &name : names)
        list.add(name.toUtf8().toStdString());
    std::vector<QString> expected = names;
    std::sort(expected.begin(), expected.end(), naturalLess);
    QCOMPARE(list.at(firstRead), expected[size_t(firstRead)]);
    QCOMPARE(list.toStringList(), QStringList(expected.begin(), expected.end()));
}

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
