#include "testsupport.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QRadioButton>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString FileExists = QStringLiteral("File Exists");

// Sends a real drag-enter and drop of `data` to a control; true when the control took it.
bool dropOn(QWidget *target, QMimeData *data)
{
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// Presses the left button on a book picture and, while its drag is under way, drops it on
// `target`. Returns whether the drop was taken.
bool dragBook(ShelfFixture &v, int slot, QWidget *target)
{
    bool taken = false;
    v.w->startDrag = [&](int) {
        QMimeData data;
        data.setData(QLatin1String(BookMimeType), v.w->Book[slot]->toolTip().toUtf8());
        taken = dropOn(target, &data);
    };
    QTest::mouseClick(v.w->Book[slot], Qt::LeftButton);
    return taken;
}

bool shows(QLabel *img, int position)
{
    return img->pixmap().toImage() == ImageList1::picture(position).toImage();
}

} // namespace

class TestDragDrop : public QObject
{
    Q_OBJECT
private slots:
    void clickSelectsShelf_data();
    void clickSelectsShelf();
    void clickOnCurrentShelfReadsItAgain();
    void rightPressOnShelfOpensPopUpOnly_data();
    void rightPressOnShelfOpensPopUpOnly();
    void pointingShowsDetails_data();
    void pointingShowsDetails();
    void rightPressOnBookRecordsIt_data();
    void rightPressOnBookRecordsIt();
    void onlyThePictureDrags();
    void paneHoldsDraggedBook();
    void dropOnShelf_data();
    void dropOnShelf();
    void dropWhereTheBookAlreadyLies_data();
    void dropWhereTheBookAlreadyLies();
    void namesWithoutFormat_data();
    void namesWithoutFormat();
    void failedOverwriteKeepsOldTarget();
    void vanishedSourceIsReported();
    void readerCopy_data();
    void readerCopy();
    void readerNeedsFolderFirst();
    void readerFolderIsTheShelfFolder();
    void readerRejectsFatNamesWithQuestion();
    void readerListing();
    void filesFromFileManager();
    void foreignDropsRefused();
};

void TestDragDrop::clickSelectsShelf_data()
{
    QTest::addColumn<bool>("onLabel");
    QTest::newRow("picture") << false;
    QTest::newRow("label") << true;
}

void TestDragDrop::clickSelectsShelf()
{
    QFETCH(bool, onLabel);
    ShelfFixture v(12, 2);
    v.tree.write("lib/Shelf 6/Emma.txt");
    v.tree.write("lib/Shelf 10/Odes.txt");
    v.load();
    auto click = [&](int i) {
        QTest::mouseClick(onLabel ? static_cast<QWidget *>(v.w->lblShelf[i]) : v.w->imgShelf[i],
                          Qt::LeftButton);
    };
    click(5);
    click(9);
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 10"));
    QCOMPARE(v.w->SelectedShelf, 9);
    for (int i = 0; i < 12; ++i)
        QVERIFY2(shows(v.w->imgShelf[i], i == 9 ? 4 : 3), qPrintable(QString::number(i)));
    QCOMPARE(v.bookNames(), QStringList {"Odes.txt"});
    QCOMPARE(v.w->lblHowMany->text(), QStringLiteral("Books: 1\r\n"));
}

void TestDragDrop::clickOnCurrentShelfReadsItAgain()
{
    ShelfFixture v(2, 1);
    v.load();
    v.tree.write("lib/Shelf 1/Added outside.txt");
    QTest::mouseClick(v.w->imgShelf[0], Qt::LeftButton);
    QCOMPARE(v.w->BookCount(), 2);
    QVERIFY(shows(v.w->imgShelf[0], 4));
}

void TestDragDrop::rightPressOnShelfOpensPopUpOnly_data()
{
    QTest::addColumn<bool>("onLabel");
    QTest::newRow("picture") << false;
    QTest::newRow("label") << true;
}

void TestDragDrop::rightPressOnShelfOpensPopUpOnly()
{
    QFETCH(bool, onLabel);
    ShelfFixture v(4, 3);
    v.load();
    QWidget *target = onLabel ? static_cast<QWidget *>(v.w->lblShelf[2]) : v.w->imgShelf[2];
    QTest::mouseClick(target, Qt::RightButton);
    QCOMPARE(v.host.popUps, QStringList {"shelf:Shelf 3"});
    QCOMPARE(v.g.ShelfName, QStringLiteral("Shelf 3"));
    QCOMPARE(v.g.ShelfIndex, 2);
    // The current shelf stays as it was.
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
    QCOMPARE(v.w->SelectedShelf, 0);
    QVERIFY(shows(v.w->imgShelf[2], 3));
    QCOMPARE(v.w->BookCount(), 3);
    // A middle press does nothing.
    QTest::mouseClick(target, Qt::MiddleButton);
    QCOMPARE(v.host.popUps.size(), 1);
}

void TestDragDrop::pointingShowsDetails_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("format");
    QTest::newRow("dots") << "Moby.Dick.txt"
                          << "Moby"
                          << "Dick.txt";
    QTest::newRow("no dot") << "README"
                            << "README"
                            << "";
    QTest::newRow("leading dot") << ".profile"
                                 << ""
                                 << "profile";
}

void TestDragDrop::pointingShowsDetails()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    QFETCH(QString, format);
    ShelfFixture v(1, 0);
    v.tree.write("lib/Shelf 1/" + file);
    v.load();
    for (ClickLabel *target : {v.w->Book[0], v.w->lblBook[0]}) {
        v.w->txtTitle->setText("-");
        QTest::mouseMove(v.w->Picture2, QPoint(3, 3));
        QTest::mouseMove(target, target->rect().center());
        QTRY_COMPARE(v.w->txtTitle->text(), title);
        QCOMPARE(v.w->txtAuthor->text(), QStringLiteral("Shelf 1"));
        QCOMPARE(v.w->txtFormat->text(), format);
        QCOMPARE(v.w->lblBook[0]->text(), title);
    }
}

void TestDragDrop::rightPressOnBookRecordsIt_data()
{
    QTest::addColumn<bool>("onLabel");
    QTest::newRow("picture") << false;
    QTest::newRow("label") << true;
}

void TestDragDrop::rightPressOnBookRecordsIt()
{
    QFETCH(bool, onLabel);
    ShelfFixture v(14, 0);
    for (int i = 0; i < 9; ++i)
        v.tree.write(QStringLiteral("lib/Shelf 13/Vol %1.pdf").arg(i));
    v.load();
    QTest::mouseClick(v.w->imgShelf[12], Qt::LeftButton);
    QTest::mouseClick(onLabel ? static_cast<QWidget *>(v.w->lblBook[7]) : v.w->Book[7],
                      Qt::RightButton);
    QCOMPARE(v.host.popUps, QStringList {"book:Vol 7"});
    QCOMPARE(v.g.BookName, QStringLiteral("Vol 7.pdf"));
    QCOMPARE(v.g.BookNumber, 7);
    QCOMPARE(v.g.ShelfName, QStringLiteral("Shelf 13"));
    QCOMPARE(v.g.ShelfIndex, 12);
}

void TestDragDrop::onlyThePictureDrags()
{
    ShelfFixture v(2, 2);
    v.load();
    int drags = 0;
    v.w->startDrag = [&](int) { ++drags; };
    QTest::mouseClick(v.w->lblBook[0], Qt::LeftButton);
    QCOMPARE(drags, 0);
    QTest::mouseClick(v.w->Book[0], Qt::LeftButton);
    QCOMPARE(drags, 1);
}

void TestDragDrop::paneHoldsDraggedBook()
{
    ShelfFixture v(2, 2);
    v.load();
    v.w->startDrag = [&](int) {
        // Whatever the pointer crosses while dragging, the pane keeps the dragged book.
        QTest::mouseMove(v.w->Book[1]);
        QTest::mouseMove(v.w->Picture2, QPoint(5, v.w->Picture2->height() - 5));
        QCoreApplication::processEvents();
        QCOMPARE(v.w->txtTitle->text(), QStringLiteral("Book 0"));
    };
    QTest::mouseClick(v.w->Book[0], Qt::LeftButton);
    QCOMPARE(v.w->txtTitle->text(), QStringLiteral("Book 0"));
}

void TestDragDrop::dropOnShelf_data()
{
    QTest::addColumn<bool>("copy");
    QTest::addColumn<bool>("onLabel");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("answer"); // to the overwrite question
    QTest::addColumn<bool>("inTarget"); // the dragged book's bytes lie in the target shelf
    QTest::addColumn<bool>("inSource");
    QTest::newRow("move to picture") << false << false << false << 0 << true << false;
    QTest::newRow("move to label") << false << true << false << 0 << true << false;
    QTest::newRow("copy") << true << false << false << 0 << true << true;
    QTest::newRow("exists, Cancel")
        << false << false << true << int(Prompter::Answer::Cancel) << false << true;
    QTest::newRow("exists, OK, move")
        << false << false << true << int(Prompter::Answer::Ok) << true << false;
    QTest::newRow("exists, OK, copy")
        << true << true << true << int(Prompter::Answer::Ok) << true << true;
}

void TestDragDrop::dropOnShelf()
{
    QFETCH(bool, copy);
    QFETCH(bool, onLabel);
    QFETCH(bool, targetExists);
    QFETCH(int, answer);
    QFETCH(bool, inTarget);
    QFETCH(bool, inSource);
    ShelfFixture v(2, 0);
    v.tree.write("lib/Shelf 1/Moby Dick.pdf", "whale");
    v.tree.write("lib/Shelf 1/Emma.txt", "emma");
    if (targetExists)
        v.tree.write("lib/Shelf 2/Moby Dick.pdf", "old copy");
    v.load();
    if (copy)
        v.w->optCopy->setChecked(true);
    v.prompter.answers.push_back(Prompter::Answer(answer));
    QWidget *target = onLabel ? static_cast<QWidget *>(v.w->lblShelf[1]) : v.w->imgShelf[1];
    QVERIFY(dragBook(v, v.slotOf("Moby Dick.pdf"), target));
    QCOMPARE(v.prompter.asked.size(), targetExists ? 1 : 0);
    if (targetExists)
        QCOMPARE(v.prompter.asked[0].text,
                 QStringLiteral("File Exists. Do you wish to overwrite?"));
    QCOMPARE(v.tree.read("lib/Shelf 2/Moby Dick.pdf"),
             QByteArray(inTarget           ? "whale"
                            : targetExists ? "old copy"
                                           : ""));
    QCOMPARE(v.tree.exists("lib/Shelf 1/Moby Dick.pdf"), inSource);
    QCOMPARE(v.w->lblHowMany->text(), QStringLiteral("Books: %1\r\n").arg(inSource ? 2 : 1));
    QCOMPARE(v.w->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
}

void TestDragDrop::dropWhereTheBookAlreadyLies_data()
{
    QTest::addColumn<bool>("copy");
    QTest::addColumn<QString>("shelf"); // dropped on
    QTest::newRow("own shelf, move") << false << "Shelf 1";
    QTest::newRow("own shelf, copy") << true << "Shelf 1";
    QTest::newRow("a link to the own shelf") << false << "Alias";
}

void TestDragDrop::dropWhereTheBookAlreadyLies()
{
    QFETCH(bool, copy);
    QFETCH(QString, shelf);
    ShelfFixture v(1, 0);
    v.tree.write("lib/Shelf 1/Moby Dick.pdf", "whale");
    ::symlink("Shelf 1", QFile::encodeName(v.tree.path("lib/Alias")).constData());
    v.load();
    if (copy)
        v.w->optCopy->setChecked(true);
    const int slot = shelf == u"Alias" ? 0 : 1; // "Alias" sorts before "Shelf 1"
    QCOMPARE(v.w->lblShelf[slot]->text(), shelf);
    dragBook(v, 0, v.w->imgShelf[slot]);
    QVERIFY(v.prompter.asked.isEmpty());
    QCOMPARE(v.tree.read("lib/Shelf 1/Moby Dick.pdf"), QByteArray("whale"));
}

void TestDragDrop::namesWithoutFormat_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("no dot") << "README";
    QTest::newRow("trailing dot") << "Notes.";
}

void TestDragDrop::namesWithoutFormat()
{
    QFETCH(QString, file);
    ShelfFixture v(2, 0);
    v.tree.write("lib/Shelf 1/" + file, "the book");
    v.tree.write("lib/Shelf 1/Notes", "another book"); // what a rebuilt "Notes." might hit
    v.load();
    dragBook(v, v.slotOf(file), v.w->imgShelf[1]);
    QCOMPARE(v.tree.read("lib/Shelf 2/" + file), QByteArray("the book"));
    QVERIFY(!v.tree.exists("lib/Shelf 1/" + file));
    QCOMPARE(v.tree.read("lib/Shelf 1/Notes"), QByteArray(file == u"Notes" ? "" : "another book"));
}

void TestDragDrop::failedOverwriteKeepsOldTarget()
{
    ShelfFixture v(2, 0);
    const QByteArray big(100 * 1024, 'w');
    v.tree.write("lib/Shelf 1/Moby Dick.pdf", big);
    v.tree.write("lib/Shelf 2/Moby Dick.pdf", "old copy");
    v.load();
    v.w->optCopy->setChecked(true);
    {
        FileSizeLimit limit {1024};
        dragBook(v, 0, v.w->imgShelf[1]);
    }
    QCOMPARE(v.prompter.asked.size(), 2); // the question, then the failure
    QVERIFY(v.prompter.asked[1].text.contains(v.tree.path("lib/Shelf 2/Moby Dick.pdf")));
    QCOMPARE(v.tree.read("lib/Shelf 2/Moby Dick.pdf"), QByteArray("old copy"));
    QCOMPARE(v.tree.read("lib/Shelf 1/Moby Dick.pdf"), big);
}

void TestDragDrop::vanishedSourceIsReported()
{
    ShelfFixture v(2, 2);
    v.load();
    QFile::remove(v.tree.path("lib/Shelf 1/Book 0.txt"));
    dragBook(v, 0, v.w->imgShelf[1]);
    QCOMPARE(v.prompter.asked.size(), 1);
    QVERIFY(v.prompter.asked[0].text.contains(QStringLiteral("Book 0.txt")));
    QCOMPARE(v.w->BookCount(), 1); // the grid shows the disk again
}

void TestDragDrop::readerCopy_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("inReader");
    QTest::newRow("new") << false << 0 << QByteArray("whale");
    QTest::newRow("exists, Cancel") << true << int(Prompter::Answer::Cancel) << QByteArray("old");
    QTest::newRow("exists, OK") << true << int(Prompter::Answer::Ok) << QByteArray("whale");
}

void TestDragDrop::readerCopy()
{
    QFETCH(bool, exists);
    QFETCH(int, answer);
    QFETCH(QByteArray, inReader);
    ShelfFixture v(1, 0);
    v.tree.write("lib/Shelf 1/Moby Dick.pdf", "whale");
    if (exists)
        v.tree.write("reader/Moby Dick.pdf", "old");
    v.load();
    v.g.ReaderFolder = v.tree.path("reader");
    v.prompter.answers.push_back(Prompter::Answer(answer));
    // Move is selected, yet the reader always gets a copy.
    QVERIFY(v.w->optMove->isChecked());
    QVERIFY(dragBook(v, 0, v.w->imgToReader));
    QCOMPARE(v.tree.read("reader/Moby Dick.pdf"), inReader);
    QCOMPARE(v.tree.read("lib/Shelf 1/Moby Dick.pdf"), QByteArray("whale"));
    QCOMPARE(v.w->BookCount(), 1);
}

void TestDragDrop::readerNeedsFolderFirst()
{
    ShelfFixture v(1, 1);
    v.load();
    // The first time the dialog is aborted, the second time a folder is saved.
    v.host.onAskForFolders = [&] {
        if (v.host.folderRequests == 2)
            v.g.ReaderFolder = v.tree.path("reader");
    };
    dragBook(v, 0, v.w->imgToReader);
    QCOMPARE(v.host.folderRequests, 2);
    QCOMPARE(v.prompter.asked.size(), 2);
    QCOMPARE(v.prompter.asked[0].text,
             QStringLiteral("You must indicate the location of the eBook Reader Content "
                            "Folder.\r\nPress 'OK' to continue."));
    QVERIFY(v.tree.exists("reader/Book 0.txt"));
}

void TestDragDrop::readerFolderIsTheShelfFolder()
{
    ShelfFixture v(1, 1);
    v.load();
    v.g.ReaderFolder = v.tree.path("lib/Shelf 1");
    dragBook(v, 0, v.w->imgToReader);
    QCOMPARE(v.prompter.asked.size(), 1);
    QCOMPARE(v.prompter.asked[0].title, QStringLiteral("Same Folder"));
    QCOMPARE(v.tree.read("lib/Shelf 1/Book 0.txt"), QByteArray("x"));
}

void TestDragDrop::readerRejectsFatNamesWithQuestion()
{
    ShelfFixture v(1, 0);
    v.tree.write("lib/Shelf 1/Why? Because.txt");
    v.load();
    v.g.ReaderFolder = v.tree.path("reader");
    v.prompter.answers.push_back(Prompter::Answer::Cancel);
    dragBook(v, 0, v.w->imgToReader);
    QCOMPARE(v.prompter.asked.size(), 1);
    QVERIFY(v.prompter.asked[0].text.contains(QStringLiteral("FAT")));
    QVERIFY(!v.tree.exists("reader/Why? Because.txt"));
}

void TestDragDrop::readerListing()
{
    ShelfFixture v(1, 0);
    v.tree.write("reader/B 10.epub");
    v.tree.write("reader/B 9.epub");
    v.load();
    v.host.onAskForFolders = [&] { v.g.ReaderFolder = v.tree.path("reader"); };
    QTest::mouseClick(v.w->imgToReader, Qt::LeftButton);
    QCOMPARE(v.host.folderRequests, 1);
    QVERIFY(v.w->File1->isVisible());
    QCOMPARE(v.w->File1->count(), 2);
    QCOMPARE(v.w->File1->item(0)->text(), QStringLiteral("B 9.epub"));
    QVERIFY(v.w->Label4->text().endsWith(QStringLiteral("Click to close.")));
    // Closing does not look at the folder path.
    v.g.ReaderFolder.clear();
    QTest::mouseClick(v.w->imgToReader, Qt::LeftButton);
    QVERIFY(!v.w->File1->isVisible());
    QVERIFY(v.w->Label4->text().endsWith(QStringLiteral("Click for list.")));
    QCOMPARE(v.host.folderRequests, 1);
}

void TestDragDrop::filesFromFileManager()
{
    ShelfFixture v(2, 1);
    const QString a = v.tree.write("downloads/New Book.epub", "new");
    const QString b = v.tree.write("downloads/Book 0.txt", "newer");
    v.tree.mkdir("downloads/a folder");
    v.load();
    v.prompter.answers.push_back(Prompter::Answer::Ok);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b),
                  QUrl::fromLocalFile(v.tree.path("downloads/a folder"))});
    QVERIFY(dropOn(v.w->lblShelf[0], &data));
    QCOMPARE(v.prompter.asked.size(), 1);
    QCOMPARE(v.prompter.asked[0].title, FileExists);
    QCOMPARE(v.tree.read("lib/Shelf 1/New Book.epub"), QByteArray("new"));
    QCOMPARE(v.tree.read("lib/Shelf 1/Book 0.txt"), QByteArray("newer"));
    QVERIFY(v.tree.exists("downloads/New Book.epub")); // copied, not moved
    QCOMPARE(v.w->BookCount(), 2);
}

void TestDragDrop::foreignDropsRefused()
{
    ShelfFixture v(2, 1);
    v.load();
    QMimeData text;
    text.setText(QStringLiteral("just text"));
    QVERIFY(!dropOn(v.w->imgShelf[1], &text));
    // A book drag that is not this window's own (another program's) is refused too.
    QMimeData book;
    book.setData(QLatin1String(BookMimeType), "Book 0.txt");
    QVERIFY(!dropOn(v.w->imgShelf[1], &book));
    QVERIFY(!dropOn(v.w->imgToReader, &book));
    QVERIFY(v.tree.exists("lib/Shelf 1/Book 0.txt"));
}

QTEST_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
