// The reader as a device: found through UDisks2 (a fake of our own on a bus of our own), what is
// on it and how far each book was read, sending to it, one pulled out mid-copy, ejecting it, and
// what the window shows of it.
#include "appfolder.h"
#include "diskexecutor.h"
#include "fakeudisks.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "modmain.h"
#include "readerdevices.h"
#include "readerfolder.h"
#include "support.h"
#include "udisks.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <csignal>

using Strings = QStringList;
// clang-format off
struct FindRow { Strings folders; QString configured, flags, name, books; };
struct SendRow { QString readers, configured, file; qint64 size; QString landed, title; };
// clang-format on
Q_DECLARE_METATYPE(FindRow)
Q_DECLARE_METATYPE(SendRow)

namespace {

PrivateBus *bus = nullptr; // the program's system bus, where the fake UDisks2 serves

// A library, a reader volume and the fake UDisks2, and the program's readers on them.
struct Rig
{
    Library v;
    std::optional<ReaderVolume> volume;
    std::unique_ptr<FakeUDisks> fake;
    std::unique_ptr<UDisks> udisks;
    std::unique_ptr<Readers> readers;

    explicit Rig(bool withUDisks = true, bool withVolume = true)
    {
        v.g.offThread = true;
        if (withVolume) {
            volume.emplace(v.tree.path("vol"));
            static bool told = false;
            if (!volume->why.isEmpty() && !std::exchange(told, true))
                qInfo("The reader is a plain folder, not an exFAT volume: %s",
                      qPrintable(volume->why));
        }
        if (withUDisks)
            fake = std::make_unique<FakeUDisks>(bus->address);
        v.load();
    }
    ~Rig()
    {
        readers.reset();
        (void)QTest::qWaitFor([] { return DiskExecutor::shared().busy() == 0; }, 5000);
    }
    QString at(const QString &path) const { return v.tree.path(path); }
    int plug(FakeUDisks::Disk disk = {})
    {
        if (disk.mountPoint.isEmpty())
            disk.mountPoint = volume->path;
        return fake->plug(disk);
    }
    void follow()
    {
        udisks = std::make_unique<UDisks>(QDBusConnection::systemBus());
        readers = std::make_unique<Readers>(v.g, *udisks);
        readers->follow(*v.model);
    }
    bool settled() const { return !readers->reading() && !v.model->commands().busy(); }
};

const FakeUDisks::Disk Kobo {{}, "Kobo", "eReader"};

} // namespace

class TestDevices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void findingReaders_data();
    void findingReaders();
    void whatWasRead_data();
    void whatWasRead();
    void sendingToTheReader_data();
    void sendingToTheReader();
    void pulledOutMidCopy();
    void ejecting_data();
    void ejecting();
    void theWindow();
};

void TestDevices::initTestCase()
{
    static PrivateBus privateBus;
    if (!privateBus.isUp())
        QSKIP("no dbus-daemon to run a bus of our own");
    bus = &privateBus;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus->address.toUtf8());
}

void TestDevices::findingReaders_data()
{
    // Folders on the volume, the configured folder, how the drive shows itself, and the reader
    // found: its name and where its books go (no name: no reader).
    TABLE(FindRow);
    // clang-format off
    row("a Kobo present at start", FindRow {{".kobo"}, "", "", "Kobo eReader", "vol"});
    row("a Kobo plugged in while running", FindRow {{".kobo"}, "", "later", "Kobo eReader", "vol"});
    row("a Kobo mounted after it appears", FindRow {{".kobo"}, "", "mounted later", "Kobo eReader", "vol"});
    row("a Kindle", FindRow {{"documents", "system"}, "", "", "Amazon Kindle", "vol/documents"});
    row("a Kindle that gives no name", FindRow {{"documents", "system"}, "", "unnamed", "Kindle", "vol/documents"});
    row("the configured folder's volume", FindRow {{"Books"}, "vol/Books", "unnamed", "eBook reader", "vol/Books"});
    row("a Kobo with the configured folder on it", FindRow {{".kobo", "Books"}, "vol/Books", "", "Kobo eReader", "vol/Books"});
    row("a Kobo, the configured folder elsewhere", FindRow {{".kobo"}, "reader", "", "Kobo eReader", "vol"});
    row("a stick that is no reader", FindRow {{"Photos"}, "reader", "", "", ""});
    row("a volume the system keeps", FindRow {{".kobo"}, "", "system", "", ""});
    row("a volume to be ignored", FindRow {{".kobo"}, "", "ignore", "", ""});
    row("a fixed drive", FindRow {{".kobo"}, "", "fixed", "", ""});
    row("no UDisks2 on the bus", FindRow {{".kobo"}, "", "no udisks", "", ""});
    row("UDisks2 that ends takes its readers", FindRow {{".kobo"}, "", "ends", "Kobo eReader", "vol"});
    // clang-format on
}

void TestDevices::findingReaders()
{
    FETCH(FindRow);
    Rig rig(!r.flags.contains("no udisks"));
    for (const QString &folder : r.folders)
        QVERIFY(QDir().mkpath(rig.at("vol/" + folder)));
    rig.v.g.ReaderFolder = r.configured.isEmpty() ? QString() : rig.at(r.configured);
    FakeUDisks::Disk disk {{}, "Amazon", "Kindle"};
    if (r.folders.contains(".kobo"))
        disk = Kobo;
    if (r.flags.contains("unnamed"))
        disk.vendor = disk.model = QString();
    disk.hintSystem = r.flags.contains("system");
    disk.hintIgnore = r.flags.contains("ignore");
    disk.removable = !r.flags.contains("fixed");
    const bool later = r.flags.contains("later");
    int n = -1;
    if (rig.fake && !later)
        n = rig.plug(disk);
    rig.follow();
    if (later) {
        QSignalSpy looked(rig.readers.get(), &Readers::changed); // UDisks2 has answered
        QVERIFY(looked.wait());
        if (r.flags.contains("mounted"))
            disk.mountPoint = "-";
        n = rig.plug(disk);
        if (r.flags.contains("mounted"))
            rig.fake->mount(n, rig.volume->path);
    }
    if (r.name.isEmpty()) {
        QTest::qWait(300);
        QVERIFY(rig.readers->attached().empty() && rig.readers->line().isEmpty());
        return;
    }
    QTRY_VERIFY(rig.readers->current() && rig.settled());
    QCOMPARE(rig.readers->current()->name, r.name);
    QCOMPARE(rig.readers->current()->books, QFile::encodeName(rig.at(r.books)));
    QVERIFY2(QRegularExpression("^" + r.name + " · \\d+(\\.\\d)? [kMGT]B free$")
                 .match(rig.readers->line())
                 .hasMatch(),
             qPrintable(rig.readers->line()));
    if (r.flags.contains("ends"))
        rig.fake.reset(); // the service stops (a restart): it tells of no removals
    else
        rig.fake->unplug(n); // pulled out: as without a reader
    QTRY_VERIFY(rig.readers->attached().empty() && rig.readers->line().isEmpty());
}

void TestDevices::whatWasRead_data()
{
    // A Kobo whose database (good, damaged, or none) and KOReader's sidecars tell how far its
    // books were read: what is shown of a book ("-": not listed).
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("shown");
    // clang-format off
    row("finished on the Kobo", "good", "Emma.epub", QString("finished"));
    row("read on the Kobo, in a folder", "good", "Tales/Odes.kepub.epub", QString("45% read"));
    row("opened, not read", "good", "Unread.epub", QString());
    row("a chapter's row is no book's", "good", "Chapters.epub", QString());
    row("not in the database", "good", "Store.epub", QString());
    row("a sidecar", "good", "Poems.epub", QString("30% read"));
    row("a sidecar over the database", "good", "Ode.epub", QString("finished"));
    row("a damaged database", "damaged", "Emma.epub", QString());
    row("a damaged database, a sidecar", "damaged", "Poems.epub", QString("30% read"));
    row("no database", "none", "Tales/Odes.kepub.epub", QString());
    row("a copy that did not end", "good", ".quillrack-Emma.epub.x1Yz", QString("-"));
    row("the sidecar folder itself", "good", "Poems.sdr/metadata.epub.lua", QString("-"));
    // clang-format on
}

void TestDevices::whatWasRead()
{
    QFETCH(QString, database);
    QFETCH(QString, book);
    QFETCH(QString, shown);
    Rig rig(false);
    for (const char *file : {"Emma.epub", "Tales/Odes.kepub.epub", "Unread.epub", "Chapters.epub",
                             "Store.epub", "Poems.epub", "Ode.epub", ".quillrack-Emma.epub.x1Yz"})
        rig.v.tree.write(QString("vol/") + file);
    const QByteArray lua = "return {\n    [\"percent_finished\"] = ";
    rig.v.tree.write("vol/Poems.sdr/metadata.epub.lua", lua + "0.3,\n}\n");
    rig.v.tree.write(
        "vol/Ode.sdr/metadata.epub.lua",
        lua + "0.5,\n    [\"summary\"] = {\n        [\"status\"] = \"complete\",\n    },\n}\n");
    rig.v.tree.mkdir("vol/.kobo");
    if (database == "good")
        QVERIFY(writeKoboDatabase(rig.at("vol/.kobo/KoboReader.sqlite"),
                                  {{"Emma.epub", 6, 2, 100},
                                   {"Tales/Odes.kepub.epub", 6, 1, 45},
                                   {"Unread.epub", 6, 0, 0},
                                   {"Ode.epub", 6, 1, 45},
                                   {"Chapters.epub", 6, 0, 0},
                                   {"Chapters.epub#(0)OEBPS/one.html", 9, 2, 100}}));
    else if (database == "damaged")
        rig.v.tree.write("vol/.kobo/KoboReader.sqlite", "SQLite format 3\0garbage");
    Reader kobo {Reader::Kind::Kobo, "Kobo", rig.volume->path, {}};
    kobo.volume.mountPoint = rig.volume->path;
    const ReaderContents c = readContents(rig.v.g.FileSys, kobo);
    QVERIFY(c.freeBytes > 0);
    QString found = "-";
    for (const ReaderContents::Book &b : c.books) {
        if (b.path == book.toUtf8())
            found = b.status.text();
    }
    QCOMPARE(found, shown);
    QVERIFY(!QFile::exists(rig.at("vol/.quillrack-Emma.epub.x1Yz"))); // removed as it was met
}

void TestDevices::sendingToTheReader_data()
{
    // The readers attached, the configured folder, the book and its size (-1: a megabyte more
    // than the reader holds), and where it landed, or the title of what was said instead.
    TABLE(SendRow);
    const qint64 FourGiB = qint64(4) << 30;
    // clang-format off
    row("a Kobo: its root", SendRow {"kobo", "", "Emma.epub", 5, "vol/Emma.epub", ""});
    row("a Kindle: its documents", SendRow {"kindle", "", "Emma.epub", 5, "vol/documents/Emma.epub", ""});
    row("the configured folder elsewhere", SendRow {"kobo", "reader", "Emma.epub", 5, "vol/Emma.epub", ""});
    row("the configured folder on the reader", SendRow {"kobo", "vol/Books", "Emma.epub", 5, "vol/Books/Emma.epub", ""});
    row("no reader: the configured folder", SendRow {"", "reader", "Emma.epub", 5, "reader/Emma.epub", ""});
    row("two readers: the one chosen", SendRow {"kobo kindle", "", "Emma.epub", 5, "vol2/documents/Emma.epub", ""});
    row("a second reader comes: the first stays", SendRow {"kindle2 then kobo", "", "Emma.epub", 5, "vol2/documents/Emma.epub", ""});
    row("a full reader", SendRow {"kobo", "", "Emma.epub", -1, "", "Not Enough Room on the Reader"});
    row("4 GiB for a FAT32 reader", SendRow {"kobo vfat", "", "Emma.epub", FourGiB, "", "Cannot Copy Book"});
    row("a name a FAT reader refuses", SendRow {"kobo", "", "Why?.epub", 5, "", "Name Not Accepted by the Reader"});
    // clang-format on
}

void TestDevices::sendingToTheReader()
{
    FETCH(SendRow);
    Rig rig;
    rig.v.tree.mkdir("vol/.kobo");
    rig.v.tree.mkdir("vol/Books");
    rig.v.tree.mkdir("vol2/documents");
    rig.v.tree.mkdir("vol2/system");
    rig.v.g.ReaderFolder = r.configured.isEmpty() ? QString() : rig.at(r.configured);
    if (r.readers == "kindle") {
        rig.v.tree.mkdir("vol/documents");
        rig.v.tree.mkdir("vol/system");
        QDir(rig.at("vol/.kobo")).removeRecursively();
    }
    // A Kobo (or a Kindle) at vol; a Kindle at vol2 beside it, chosen, or there first.
    const bool two = r.readers.contains(" kindle"), first = r.readers.startsWith("kindle2");
    auto second = [&] { rig.plug({QFile::encodeName(rig.at("vol2")), "Amazon", "Kindle"}); };
    if (first)
        second();
    else if (!r.readers.isEmpty())
        rig.plug({{}, "Kobo", "eReader", r.readers.contains("vfat") ? "vfat" : "exfat"});
    if (two)
        second();
    rig.follow();
    QTRY_VERIFY(rig.readers->attached().size() == size_t(two ? 2 : !r.readers.isEmpty())
                && rig.settled());
    if (two)
        rig.readers->choose(1);
    if (first) {
        rig.plug(Kobo);
        QTRY_VERIFY(rig.readers->attached().size() == 2 && rig.settled());
    }
    QFile book(rig.at("lib/Shelf 1/" + r.file));
    QVERIFY(book.open(QIODevice::WriteOnly) && book.write("Emma.") == 5);
    const qint64 size = r.size >= 0 ? r.size : rig.readers->contents().freeBytes + (1 << 20);
    QVERIFY(book.resize(size)); // sparse
    book.close();
    const Strings before = rig.v.tree.entries("vol");
    rig.v.model->reader().send(Path(QFile::encodeName(book.fileName())));
    QTRY_VERIFY(rig.settled());
    QCOMPARE(rig.v.prompter.titles().join(","), r.title);
    if (r.landed.isEmpty()) {
        QCOMPARE(rig.v.tree.entries("vol"), before); // nothing written
        return;
    }
    QCOMPARE(QFileInfo(rig.at(r.landed)).size(), size);
    QVERIFY(rig.readers->contents().find(QFile::encodeName(r.file), size) || !r.readers.size());
}

void TestDevices::pulledOutMidCopy()
{
    // A Kobo on a FUSE file system of our own that stops answering mid-copy and goes away.
    Rig rig(true, false);
    rig.v.tree.mkdir("kobo/.kobo");
    rig.v.tree.write("lib/Shelf 1/Emma.epub", QByteArray(1 << 20, 'e'));
    QProcess share;
    share.start(QUILLRACK_SLOWFS, {rig.at("kobo"), rig.v.tree.mkdir("share"), "5", "-f"});
    const QByteArray mountPoint = QFile::encodeName(rig.at("share"));
    auto mounted = [&] {
        QFile table("/proc/self/mountinfo");
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(mountPoint + ' ');
    };
    if (!QTest::qWaitFor(mounted, 3000))
        QSKIP("a FUSE file system cannot be mounted here (/dev/fuse or fusermount3)");
    const auto pid = pid_t(share.processId()); // 0 once it has ended: kill(0) is ours
    const auto unmount = qScopeGuard([&] {
        ::kill(pid, SIGKILL);
        QProcess::execute("fusermount3", {"-u", "-z", rig.at("share")});
        share.waitForFinished(3000);
    });
    rig.plug({mountPoint, "Kobo", "eReader"});
    rig.follow();
    QTRY_VERIFY(rig.readers->current() && rig.settled());
    ::kill(pid, SIGUSR1); // stops answering
    rig.v.model->reader().send(Path(QFile::encodeName(rig.at("lib/Shelf 1/Emma.epub"))));
    QTest::qWait(200);
    QVERIFY(rig.v.model->commands().busy());
    ::kill(pid, SIGKILL); // and is gone
    QTRY_VERIFY_WITH_TIMEOUT(!rig.v.model->commands().busy(), 8000);
    QCOMPARE(rig.v.prompter.asked.value(0).second,
             QString("The reader went away while 'Emma.epub' was copied."));
    QCOMPARE(rig.v.tree.read("lib/Shelf 1/Emma.epub"), QByteArray(1 << 20, 'e'));
}

void TestDevices::ejecting_data()
{
    QTest::addColumn<bool>("canPowerOff");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<Strings>("calls");
    QTest::addColumn<QString>("said");
    const QString unplug = "The Kobo eReader can now be unplugged.";
    // clang-format off
    row("unmounted, then powered off", true, false, Strings {"Unmount 0", "PowerOff 0"}, unplug);
    row("a drive that cannot power off", false, false, Strings {"Unmount 0"}, unplug);
    row("in use by another program", true, true, Strings {"Unmount 0"}, QString("The reader is in use by another program; close it and try again."));
    // clang-format on
}

void TestDevices::ejecting()
{
    QFETCH(bool, canPowerOff);
    QFETCH(bool, busy);
    QFETCH(Strings, calls);
    QFETCH(QString, said);
    Rig rig;
    rig.v.tree.mkdir("vol/.kobo");
    FakeUDisks::Disk kobo = Kobo;
    kobo.canPowerOff = canPowerOff;
    rig.plug(kobo);
    rig.fake->busy = busy;
    rig.follow();
    QTRY_VERIFY(rig.readers->current() && rig.settled());
    // An eject asked while a copy to the reader is under way waits for it.
    rig.v.tree.write("lib/Shelf 1/Emma.epub", QByteArray(4 << 20, 'e'));
    rig.v.model->reader().send(Path(QFile::encodeName(rig.at("lib/Shelf 1/Emma.epub"))));
    QString told;
    rig.readers->eject(*rig.readers->current(), [&](const Notice &n) { told = n.text; });
    QTRY_COMPARE(told, said);
    QCOMPARE(rig.fake->calls, calls);
    QCOMPARE(QFileInfo(rig.at("vol/Emma.epub")).size(), 4 << 20);
    QTRY_COMPARE(rig.readers->attached().size(), size_t(busy));
}

void TestDevices::theWindow()
{
    // The program as users start it, a Kobo attached on which one book was finished.
    Rig rig(true, true);
    rig.v.tree.write("lib/Fiction/Moby Dick.pdf", "whale");
    rig.v.tree.write("lib/Fiction/Emma.epub", "Emma.");
    rig.v.tree.write("vol/Moby Dick.pdf", "whale");
    rig.v.tree.mkdir("vol/.kobo");
    QVERIFY(
        writeKoboDatabase(rig.at("vol/.kobo/KoboReader.sqlite"), {{"Moby Dick.pdf", 6, 2, 100}}));
    rig.v.tree.write("app/config.ini", ("book=" + rig.at("lib") + "\r\nread=\r\n").toUtf8());
    rig.plug(Kobo);
    ScriptedPrompter prompter;
    modMain program(prompter);
    QVERIFY(program.Main());
    frmShelf *w = program.shelfWindow;
    QApplication::setActiveWindow(program.mainWindow);
    auto *line = w->findChild<QLabel *>("lblReader");
    auto *picture = w->findChild<QWidget *>("imgToReader");
    QTRY_VERIFY(line->text().startsWith("Kobo eReader · ") && line->text().endsWith(" free"));
    QCOMPARE(picture->accessibleDescription(), line->text());
    w->model().chooseShelf(0); // Fiction: Emma, Moby Dick
    auto books = w->findChildren<QWidget *>("Book");
    auto sign = [&](int slot) { // a reader sign shown over the book's picture
        const auto signs = w->findChildren<QLabel *>("imgOnReader");
        return std::any_of(signs.begin(), signs.end(), [&](QLabel *s) {
            return s->isVisible() && books[slot]->geometry().contains(s->geometry());
        });
    };
    QTRY_VERIFY(!sign(0) && sign(1));
    QVERIFY(books[1]->toolTip().contains("on the reader, finished"));
    QAccessibleInterface *grid
        = QAccessible::queryAccessibleInterface(w->findChild<QWidget *>("Picture2"));
    QCOMPARE(grid->child(1)->text(QAccessible::Description),
             QString("on Fiction, on the reader, finished"));
    QTest::mouseMove(books[1]);
    QTRY_COMPARE(w->findChild<QLineEdit *>("txtDetails")->text(),
                 QString("on the reader, finished"));
    // Emma sent by its key: on the reader at once; then ejected from the picture's pop-up.
    w->findChild<QWidget *>("Picture2")->setFocus();
    QTest::keyClick(w->findChild<QWidget *>("Picture2"), Qt::Key_E, Qt::ControlModifier);
    QTRY_VERIFY(QFile::exists(rig.at("vol/Emma.epub")) && sign(0));
    Strings items;
    later([&] {
        auto *menu = program.mainWindow->findChild<QMenu *>("mnuReaderPopUp");
        for (QAction *a : menu->actions())
            items << a->text();
        for (QAction *a : menu->actions()) {
            if (a->objectName() == "mnuEjectReader")
                a->trigger();
        }
        menu->close();
    });
    picture->setFocus();
    QTest::keyClick(picture, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(items, (Strings {"Show the Reader's &Books", "&Eject Reader"}));
    QTRY_VERIFY(prompter.told("The Kobo eReader can now be unplugged."));
    QCOMPARE(rig.fake->calls, (Strings {"Unmount 0", "PowerOff 0"}));
    QTRY_VERIFY(line->text().isEmpty() && !sign(0) && !sign(1));
    QVERIFY(!books[1]->toolTip().contains("on the reader"));
    program.Shutdown();
}

QTEST_MAIN(TestDevices)
#include "tst_devices.moc"
