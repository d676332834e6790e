#include "appfolder.h"
#include "frmshelf.h"
#include "globalstate.h"
#include "testsupport.h"
#include "widgets.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

namespace {

bool showsPicture(QLabel *label, int position)
{
    return label->pixmap().toImage() == ImageList1::picture(position).toImage();
}

} // namespace

class TestShelfView : public QObject
{
    Q_OBJECT
private slots:
    void firstPage_data();
    void firstPage();
    void shelfPaging();
    void bookPaging();
    void titlesAndMarkColours();
    void pointerOverBackgroundClearsDetails();
    void noShelvesShowsEmptyView();
    void vanishedShelfShowsEmptyGrid();
    void picturesCarryNamesForScreenReaders();
    void wheelAndPageKeysPageTheGridUnderThePointer_data();
    void wheelAndPageKeysPageTheGridUnderThePointer();
};

void TestShelfView::firstPage_data()
{
    QTest::addColumn<int>("shelves");
    QTest::addColumn<int>("books");
    QTest::addColumn<bool>("shelfBar");
    QTest::addColumn<int>("shelfMax");
    QTest::addColumn<bool>("bookBar");
    QTest::addColumn<int>("bookMax");
    QTest::newRow("27 shelves, 19 books") << 27 << 19 << false << 1 << false << 1;
    QTest::newRow("28 shelves, 20 books") << 28 << 20 << true << 1 << true << 1;
    QTest::newRow("29 shelves, 21 books") << 29 << 21 << true << 2 << true << 2;
}

void TestShelfView::firstPage()
{
    QFETCH(int, shelves);
    QFETCH(int, books);
    QFETCH(bool, shelfBar);
    QFETCH(int, shelfMax);
    QFETCH(bool, bookBar);
    QFETCH(int, bookMax);
    ShelfFixture v(shelves, books);
    v.load();
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->lblShelf[0]->text(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->lblShelf[1]->text(), QStringLiteral("Shelf 2")); // natural order
    QVERIFY(showsPicture(v.w->imgShelf[0], 4));
    QVERIFY(showsPicture(v.w->imgShelf[1], 3));
    QCOMPARE(v.shownShelves(), qMin(shelves, 28));
    QCOMPARE(v.shownBooks(), qMin(books, 20));
    QCOMPARE(v.w->VScroll1->isVisible(), shelfBar);
    QCOMPARE(v.w->VScroll2->isVisible(), bookBar);
    if (shelfBar)
        QCOMPARE(v.w->VScroll1->maximum(), shelfMax);
    if (bookBar)
        QCOMPARE(v.w->VScroll2->maximum(), bookMax);
    QCOMPARE(v.w->lblHowMany->text(), QStringLiteral("Books: %1\r\n").arg(books));
    QVERIFY(v.w->optMove->isChecked());
}

void TestShelfView::shelfPaging()
{
    ShelfFixture v(29, 0);
    v.load();
    v.w->VScroll1->setValue(2); // one row of four further
    QCOMPARE(v.w->lblShelf[0]->text(), QStringLiteral("Shelf 5"));
    QCOMPARE(v.w->lblShelf[24]->text(), QStringLiteral("Shelf 29"));
    QCOMPARE(v.shownShelves(), 25);
    // The current shelf has left the page: no slot is highlighted.
    for (auto *img : v.w->imgShelf)
        QVERIFY(!img->isVisible() || showsPicture(img, 3));
}

void TestShelfView::bookPaging()
{
    ShelfFixture v(1, 201);
    v.load();
    QCOMPARE(v.w->BookCount(), 201);
    QCOMPARE(v.w->VScroll2->maximum(), 38);
    v.w->VScroll2->setValue(38);
    // Books in natural order: "Book 185" is the 186th.
    QCOMPARE(v.w->lblBook[0]->text(), QStringLiteral("Book 185"));
    QCOMPARE(v.w->lblBook[15]->text(), QStringLiteral("Book 200"));
    QCOMPARE(v.shownBooks(), 16);
    // A shelf of few books starts again from its first slot with the bar hidden.
    v.tree.write("lib/Shelf 1b/x.txt");
    v.w->lblWhichShelf->setText(QStringLiteral("Shelf 1b"));
    v.w->CreateBooks(0);
    v.w->FillBooks();
    QVERIFY(!v.w->VScroll2->isVisible());
    QCOMPARE(v.w->VScroll2->value(), 1);
    QCOMPARE(v.w->lblBook[0]->text(), QStringLiteral("x"));
    QCOMPARE(v.shownBooks(), 1);
}

void TestShelfView::titlesAndMarkColours()
{
    ShelfFixture v(2, 0, "-Ulysses.txt,3,-Emma.txt,7,-Odd,2.5,\r\n");
    for (const char *name : {"Ulysses.txt", "Ulysses.txt.bak", "Emma.txt", "Odd", "Moby.Dick.txt"})
        v.tree.write(QStringLiteral("lib/Shelf 1/") + QLatin1String(name));
    v.tree.write("lib/Shelf 2/Ulysses.txt");
    v.load();
    QHash<QString, QColor> colour;
    QHash<QString, QString> title;
    for (int i = 0; i < 5; ++i) {
        colour[v.w->Book[i]->toolTip()] = v.w->lblBook[i]->palette().color(QPalette::WindowText);
        title[v.w->Book[i]->toolTip()] = v.w->lblBook[i]->text();
    }
    QCOMPARE(colour["Ulysses.txt"], QColor(255, 0, 255));
    QCOMPARE(colour["Ulysses.txt.bak"], QColor(Qt::black));
    QCOMPARE(colour["Emma.txt"], QColor(Qt::black)); // colour 7 is no mark
    QCOMPARE(colour["Odd"], QColor(0, 0, 255)); // 2.5 rounds to 2
    QCOMPARE(title["Moby.Dick.txt"], QStringLiteral("Moby"));
    QCOMPARE(title["Odd"], QStringLiteral("Odd"));
    // A mark belongs to the file name: the same name on another shelf shows the same colour.
    v.w->lblWhichShelf->setText(QStringLiteral("Shelf 2"));
    v.w->CreateBooks(1);
    v.w->FillBooks();
    QCOMPARE(v.w->lblBook[0]->palette().color(QPalette::WindowText), QColor(255, 0, 255));
    QCOMPARE(v.w->Book[0]->property("Tag").toString(), QStringLiteral("Shelf 2"));
}

void TestShelfView::pointerOverBackgroundClearsDetails()
{
    ShelfFixture v(1, 3);
    v.load();
    v.w->txtTitle->setText("t");
    v.w->txtAuthor->setText("s");
    v.w->txtFormat->setText("f");
    // A move over the empty part of the book area, below the one row of books.
    QTest::mouseMove(v.w->Picture2, QPoint(10, v.w->Picture2->height() - 10));
    QTRY_COMPARE(v.w->txtTitle->text(), QString());
    QCOMPARE(v.w->txtAuthor->text(), QString());
    QCOMPARE(v.w->txtFormat->text(), QString());
}

void TestShelfView::noShelvesShowsEmptyView()
{
    ShelfFixture v(0, 0);
    v.tree.write("lib/loose book.txt"); // a file in the Main Book Folder is no shelf
    v.load();
    QCOMPARE(v.w->lblWhichShelf->text(), QString());
    QCOMPARE(v.shownShelves(), 0);
    QCOMPARE(v.shownBooks(), 0);
    QCOMPARE(v.w->lblHowMany->text(), QStringLiteral("Books: 0\r\n"));
}

void TestShelfView::vanishedShelfShowsEmptyGrid()
{
    ShelfFixture v(2, 3);
    v.load();
    QDir(v.tree.path("lib/Shelf 1")).removeRecursively();
    v.w->CreateBooks(0);
    v.w->FillBooks();
    QCOMPARE(v.shownBooks(), 0);
    QCOMPARE(v.w->BookCount(), 0);
}

void TestShelfView::picturesCarryNamesForScreenReaders()
{
    ShelfFixture v(1, 1);
    v.load();
    QCOMPARE(v.w->imgShelf[0]->accessibleName(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->imgShelf[0]->toolTip(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->Book[0]->accessibleName(), QStringLiteral("Book 0.txt"));
    QCOMPARE(v.w->lblBook[0]->toolTip(), QStringLiteral("Book 0.txt"));
}

void TestShelfView::wheelAndPageKeysPageTheGridUnderThePointer_data()
{
    QTest::addColumn<bool>("books"); // over the book grid, else over the shelf grid
    QTest::addColumn<bool>("wheel"); // the wheel, else Page Down / Page Up
    QTest::newRow("wheel over books") << true << true;
    QTest::newRow("wheel over shelves") << false << true;
    QTest::newRow("keys over books") << true << false;
    QTest::newRow("keys over shelves") << false << false;
}

void TestShelfView::wheelAndPageKeysPageTheGridUnderThePointer()
{
    QFETCH(bool, books);
    QFETCH(bool, wheel);
    ShelfFixture v(40, 60);
    v.load();
    PictureBox *box = books ? v.w->Picture2 : v.w->Picture1;
    QScrollBar *bar = books ? v.w->VScroll2 : v.w->VScroll1;
    QScrollBar *other = books ? v.w->VScroll1 : v.w->VScroll2;
    const QPoint inside(5, box->height() - 5);
    auto step = [&](bool down) {
        if (wheel) {
            QWheelEvent e(QPointF(inside), QPointF(box->mapToGlobal(inside)), QPoint(),
                          QPoint(0, down ? -120 : 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &e);
        } else {
            QCursor::setPos(box->mapToGlobal(inside));
            QTest::keyClick(v.w.get(), down ? Qt::Key_PageDown : Qt::Key_PageUp);
        }
    };
    step(true);
    step(true);
    QCOMPARE(bar->value(), 3);
    step(false);
    QCOMPARE(bar->value(), 2);
    QCOMPARE(other->value(), 1);
    QCOMPARE(books ? v.w->lblBook[0]->text() : v.w->lblShelf[0]->text(),
             books ? QStringLiteral("Book 5") : QStringLiteral("Shelf 5"));
}

QTEST_MAIN(TestShelfView)
#include "tst_shelfview.moc"
