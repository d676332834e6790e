// Faults injected for real: one table per kind. Each row checks that no book, mark or setting
// is lost or damaged, that a failure is told to the user with the file and the reason, and that
// the program goes on with a view read again from the disk.
#include "appfolder.h"
#include "commands.h"
#include "frmfileloc.h"
#include "marksfile.h"
#include "modmain.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Op { Drop, CopyDrop, Reader, Rename, Add, FileManager, Delete };

struct Fixture : ShelfFixture
{
    std::unique_ptr<Commands> c;
    Fixture()
        : ShelfFixture(2, 0)
    { }
    void start()
    {
        load();
        c = std::make_unique<Commands>(g, *w);
    }
    // Carries out one operation on the book `name` of the current shelf, towards shelf slot 1.
    void run(Op op, const QString &name, const QString &outside = QString(), int target = 1)
    {
        const int slot = slotOf(name);
        switch (op) {
        case Op::Drop:
        case Op::CopyDrop:
            (op == Op::CopyDrop ? w->optCopy : w->optMove)->setChecked(true);
            w->Book_MouseMove(slot);
            w->imgShelf_DragDrop(target);
            break;
        case Op::Reader:
            w->Book_MouseMove(slot);
            w->imgToReader_DragDrop();
            break;
        case Op::Rename:
            w->lblBook_MouseDown(slot, Qt::RightButton);
            c->mnuBookRename_Click();
            break;
        case Op::Delete:
            w->lblBook_MouseDown(slot, Qt::RightButton);
            c->mnuBookDelete_Click();
            break;
        case Op::Add:
            w->imgShelf_MouseDown(1, Qt::RightButton);
            c->addOutsideBook(outside, name, false);
            break;
        case Op::FileManager:
            w->filesDropped(1, {QUrl::fromLocalFile(outside + u'/' + name)});
            break;
        }
    }
    QStringList titles() const
    {
        QStringList out;
        for (const auto &a : prompter.asked)
            out << a.title;
        return out;
    }
    bool told(const QString &needle) const
    {
        for (const auto &a : prompter.asked) {
            if (a.text.contains(needle))
                return true;
        }
        return false;
    }
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void sameFileUnderTwoNames_data();
    void sameFileUnderTwoNames();
    void overwriteThenCopyFails_data();
    void overwriteThenCopyFails();
    void moveFromAnotherFileSystemFailsHalfWay();
    void changedBetweenListingAndAction_data();
    void changedBetweenListingAndAction();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void crashDuringSaveLeavesOldOrNew();
    void badTypedNames_data();
    void badTypedNames();
    void badFilesReadFromDisk_data();
    void badFilesReadFromDisk();
    void marksThatFailWhileReadAreNotSavedOver();
    void hiddenContentKeepsShelf_data();
    void hiddenContentKeepsShelf();
    void readOnlyFolders();
    void readOnlyRows_data();
    void readOnlyRows();
};

void TestFaults::sameFileUnderTwoNames_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("how"); // how the second name reaches the book
    const QList<QPair<Op, const char *>> ops {
        {Op::Drop, "drop"}, {Op::Reader, "reader copy"}, {Op::Rename, "rename"}, {Op::Add, "add"}};
    for (const auto &[op, opName] : ops) {
        for (const char *how : {"dot", "dotdot", "hard link", "symbolic link"})
            QTest::addRow("%s, %s", opName, how) << int(op) << QString::fromLatin1(how);
    }
}

void TestFaults::sameFileUnderTwoNames()
{
    QFETCH(int, op);
    QFETCH(QString, how);
    Fixture v;
    v.tree.write("lib/Shelf 1/a.txt", "the book");
    const QString book = v.tree.path("lib/Shelf 1/a.txt");
    // The second name of the book's folder, or of the book itself.
    QString folder = v.tree.path("lib/Shelf 1");
    if (how == u"dot")
        folder = v.tree.path("lib/./Shelf 1");
    else if (how == u"dotdot")
        folder = v.tree.path("lib/Shelf 2/../Shelf 1");
    else if (how == u"symbolic link") {
        const QString alias = v.tree.path("alias");
        ::symlink(QFile::encodeName(folder).constData(), QFile::encodeName(alias).constData());
        folder = alias;
    }
    if (how == u"hard link") {
        // The other shelf already holds the same file under the same name, or the rename
        // target is the book itself.
        ::link(QFile::encodeName(book).constData(),
               QFile::encodeName(v.tree.path("lib/Shelf 2/a.txt")).constData());
        ::link(QFile::encodeName(book).constData(),
               QFile::encodeName(v.tree.path("lib/Shelf 1/b.txt")).constData());
    }
    int target = 1;
    if (Op(op) == Op::Drop) {
        // The library itself reached under another name, or the other shelf holding the book.
        if (how == u"dot")
            v.bookFolder = v.tree.path("lib/.");
        else if (how == u"dotdot")
            v.bookFolder = v.tree.path("lib/Shelf 2/..");
        else if (how == u"symbolic link")
            ::symlink("Shelf 1", QFile::encodeName(v.tree.path("lib/Alias")).constData());
        if (how == u"dot" || how == u"dotdot")
            target = 0;
    }
    v.start();
    if (Op(op) == Op::Reader)
        v.g.ReaderFolder = folder;
    if (Op(op) == Op::Rename)
        v.prompter.inputs.push_back(how == u"hard link" ? QStringLiteral("b")
                                                        : QStringLiteral("a"));
    if (Op(op) == Op::Add) {
        // The picker shows the shelf's own folder under another name.
        v.w->imgShelf_MouseDown(0, Qt::RightButton);
        v.c->addOutsideBook(how == u"hard link" ? v.tree.path("lib/Shelf 1") : folder, "a.txt",
                            true);
    } else {
        v.run(Op(op), "a.txt", QString(), target);
    }
    QCOMPARE(readAll(book), QByteArray("the book"));
    QVERIFY(!v.titles().contains(QStringLiteral("File Exists")));
    QVERIFY(!v.titles().contains(QStringLiteral("Book Exists")));
}

void TestFaults::overwriteThenCopyFails_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("limit"); // bytes this process may write
    for (int limit : {0, 4096}) {
        QTest::addRow("copy drop, limit %d", limit) << int(Op::CopyDrop) << limit;
        QTest::addRow("reader copy, limit %d", limit) << int(Op::Reader) << limit;
        QTest::addRow("added book, limit %d", limit) << int(Op::Add) << limit;
        QTest::addRow("file manager drop, limit %d", limit) << int(Op::FileManager) << limit;
    }
}

void TestFaults::overwriteThenCopyFails()
{
    QFETCH(int, op);
    QFETCH(int, limit);
    Fixture v;
    const QByteArray book(64 * 1024, 'B');
    v.tree.write("lib/Shelf 1/big.epub", book);
    v.tree.write("outside/big.epub", book);
    v.tree.write("lib/Shelf 2/big.epub", "old target");
    v.tree.write("reader/big.epub", "old target");
    v.start();
    v.g.ReaderFolder = v.tree.path("reader");
    v.prompter.answers = {Prompter::Answer::Ok};
    {
        FileSizeLimit fsize {rlim_t(limit)};
        v.run(Op(op), "big.epub", v.tree.path("outside"));
    }
    const QString target = Op(op) == Op::Reader ? QStringLiteral("reader/big.epub")
                                                : QStringLiteral("lib/Shelf 2/big.epub");
    QCOMPARE(v.tree.read(target), QByteArray("old target"));
    QCOMPARE(v.tree.read("lib/Shelf 1/big.epub"), book);
    QCOMPARE(v.tree.read("outside/big.epub"), book);
    QVERIFY2(v.told(v.tree.path(target)), qPrintable(v.titles().join(u',')));
    QVERIFY(v.told(QString::fromLocal8Bit(strerror(EFBIG))));
    QCOMPARE(
        QDir(v.tree.path(target.section(u'/', 0, -2))).entryList(QDir::Files | QDir::Hidden).size(),
        1);
}

void TestFaults::moveFromAnotherFileSystemFailsHalfWay()
{
    if (!QFileInfo(QStringLiteral("/dev/shm")).isDir())
        QSKIP("no /dev/shm here");
    Fixture v;
    QTemporaryDir stick(QStringLiteral("/dev/shm/quillrack-faults-XXXXXX"));
    const QByteArray book(256 * 1024, 'S');
    QFile f(stick.path() + "/big.epub");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(book);
    f.close();
    v.start();
    v.w->imgShelf_MouseDown(0, Qt::RightButton);
    {
        FileSizeLimit fsize {64 * 1024};
        v.c->addOutsideBook(stick.path(), "big.epub", true);
    }
    QCOMPARE(readAll(stick.path() + "/big.epub"), book);
    QVERIFY(!v.tree.exists("lib/Shelf 1/big.epub"));
    QCOMPARE(QDir(v.tree.path("lib/Shelf 1")).entryList(QDir::Files | QDir::Hidden).size(), 0);
    QVERIFY(v.told(QStringLiteral("big.epub")));
}

void TestFaults::changedBetweenListingAndAction_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<bool>("sourceVanishes"); // else a target appears
    QTest::newRow("drop, source vanished") << int(Op::Drop) << true;
    QTest::newRow("reader, source vanished") << int(Op::Reader) << true;
    QTest::newRow("rename, source vanished") << int(Op::Rename) << true;
    QTest::newRow("delete, source vanished") << int(Op::Delete) << true;
    QTest::newRow("add, source vanished") << int(Op::Add) << true;
    QTest::newRow("drop, target appeared") << int(Op::Drop) << false;
    QTest::newRow("reader, target appeared") << int(Op::Reader) << false;
    QTest::newRow("rename, target appeared") << int(Op::Rename) << false;
    QTest::newRow("add, target appeared") << int(Op::Add) << false;
}

void TestFaults::changedBetweenListingAndAction()
{
    QFETCH(int, op);
    QFETCH(bool, sourceVanishes);
    Fixture v;
    v.tree.write("lib/Shelf 1/a.txt", "the book");
    v.tree.write("lib/Shelf 1/keep.txt", "another");
    v.tree.write("outside/a.txt", "outside book");
    v.start();
    v.g.ReaderFolder = v.tree.path("reader");
    v.prompter.inputs.push_back("b");
    // Another program changes the folders after the view was drawn.
    if (sourceVanishes) {
        QFile::remove(v.tree.path(Op(op) == Op::Add ? "outside/a.txt" : "lib/Shelf 1/a.txt"));
    } else {
        v.tree.write(Op(op) == Op::Reader       ? "reader/a.txt"
                         : Op(op) == Op::Rename ? "lib/Shelf 1/b.txt"
                                                : "lib/Shelf 2/a.txt",
                     "appeared");
        v.prompter.answers = {Prompter::Answer::Cancel};
    }
    const int slot = v.slotOf("a.txt");
    QVERIFY(slot >= 0);
    v.run(Op(op), "a.txt", v.tree.path("outside"));
    QCOMPARE(v.tree.read("lib/Shelf 1/keep.txt"), QByteArray("another"));
    if (sourceVanishes) {
        QVERIFY2(v.told(QStringLiteral("a.txt")), qPrintable(v.titles().join(u',')));
        QVERIFY(v.told(QString::fromLocal8Bit(strerror(ENOENT))));
        if (Op(op) != Op::Add)
            QCOMPARE(v.w->BookCount(), 1); // read again from the disk
    } else {
        // The user is asked, and Cancel leaves both files.
        QVERIFY(v.titles().contains(QStringLiteral("File Exists"))
                || v.titles().contains(QStringLiteral("Book Exists")));
        QCOMPARE(v.tree.read("lib/Shelf 1/a.txt"), QByteArray("the book"));
    }
}

void TestFaults::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<int>("oldSize");
    QTest::addColumn<int>("newSize");
    QTest::addColumn<int>("limit");
    QTest::newRow("tiny file, nothing may be written") << 12 << 20 << 0;
    QTest::newRow("under 16 KiB, fails part-way") << 100 << 16 * 1024 - 1 << 4096;
    QTest::newRow("over 16 KiB, fails part-way") << 100 << 40 * 1024 << 16 * 1024;
    QTest::newRow("new file smaller than the old") << 30000 << 10 << 5;
}

void TestFaults::failedSaveKeepsOldFile()
{
    QFETCH(int, oldSize);
    QFETCH(int, newSize);
    QFETCH(int, limit);
    TempTree t;
    const QByteArray old = QByteArray(oldSize - 2, 'o') + "\r\n";
    t.write("app/marked.dat", old);
    t.write("app/config.ini", old);
    AppFolder::setOverride(t.path("app"));
    GlobalState g;
    g.Marks.setLine(QString(newSize - 2, u'n'));
    g.MarksLoaded = true;
    FsResult marks, config;
    {
        FileSizeLimit fsize {rlim_t(limit)};
        marks = SaveMarks(g);
        config = g.FileSys.CreateTextFile(t.path("app/config.ini"), {QString(newSize, u'c')});
    }
    QVERIFY(!marks.ok);
    QVERIFY(!config.ok);
    QVERIFY(marks.error.contains(t.path("app/marked.dat")));
    QCOMPARE(t.read("app/marked.dat"), old);
    QCOMPARE(t.read("app/config.ini"), old);
    QCOMPARE(QDir(t.path("app")).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestFaults::crashDuringSaveLeavesOldOrNew()
{
    TempTree t;
    const QString path = t.path("marked.dat");
    const QByteArray a = QByteArray(20000, 'a') + "\r\n";
    const QByteArray b = QByteArray(9000, 'b') + "\r\n";
    FileSys().writeFileAtomically(path, a);
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            // Save one version after the other until killed.
            for (int i = 0;; ++i)
                FileSys().writeFileAtomically(path, i % 2 ? a : b);
        }
        ::usleep(useconds_t(200 + (round * 337) % 3000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const QByteArray now = t.read("marked.dat");
        QVERIFY2(now == a || now == b,
                 qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(now.size())));
    }
}

void TestFaults::badTypedNames_data()
{
    QTest::addColumn<int>("command"); // 0 new shelf, 1 rename shelf, 2 rename book
    QTest::addColumn<QString>("typed");
    const QStringList bad {"/", "a/b", "..", ".", "x\ny", QString(256, u'n')};
    for (int command = 0; command < 3; ++command) {
        for (const QString &name : bad)
            QTest::addRow("%d: %s", command,
                          qPrintable(QString(name).replace(u'\n', u'|').left(12)))
                << command << name;
    }
}

void TestFaults::badTypedNames()
{
    QFETCH(int, command);
    QFETCH(QString, typed);
    Fixture v;
    v.tree.write("lib/Shelf 1/a.txt", "the book");
    v.start();
    const QStringList before
        = QDir(v.tree.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    v.prompter.inputs.push_back(typed);
    if (command == 0) {
        v.w->cmdNewShelf_Click();
    } else if (command == 1) {
        v.w->imgShelf_MouseDown(0, Qt::RightButton);
        v.c->cmdShelfRename_Click();
    } else {
        v.w->lblBook_MouseDown(0, Qt::RightButton);
        v.c->mnuBookRename_Click();
    }
    QVERIFY2(v.titles().contains(QStringLiteral("Name Not Allowed"))
                 || (command == 2 && typed == u"."),
             qPrintable(v.titles().join(u',')));
    QCOMPARE(v.tree.read("lib/Shelf 1/a.txt"), QByteArray("the book"));
    QCOMPARE(QDir(v.tree.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(QDir(v.tree.path("lib")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 2);
}

void TestFaults::badFilesReadFromDisk_data()
{
    QTest::addColumn<QString>("file"); // config.ini or marked.dat
    QTest::addColumn<QByteArray>("content");
    QByteArray garbage(4096, 0);
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 256);
    QByteArray huge(100 * 1024 * 1024, 'x');
    for (const char *file : {"config.ini", "marked.dat"}) {
        QTest::addRow("%s empty", file) << file << QByteArray();
        QTest::addRow("%s binary garbage", file) << file << garbage;
        QTest::addRow("%s without line ends", file) << file << QByteArray("book=-x,3,-y,4,");
        QTest::addRow("%s with NUL bytes", file) << file << QByteArray("-a.txt\0,2,\0book=\0", 17);
        QTest::addRow("%s huge", file) << file << huge;
    }
}

void TestFaults::badFilesReadFromDisk()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    TempTree t;
    t.write("lib/Shelf 1/a.txt", "the book");
    t.write("app/config.ini", "book=" + t.path("lib").toUtf8() + "\r\nread=\r\n");
    t.write("app/" + file, content);
    AppFolder::setOverride(t.path("app"));
    ScriptedPrompter prompter;
    modMain program(prompter);
    program.endProgram = [] {};
    // A configuration that names no usable folder leads to the dialog: save the library there.
    prompter.onMessage.push_back([&] {
        later([&] {
            program.fileLoc->txtBook->setText(t.path("lib"));
            program.fileLoc->cmdSave->click();
        });
    });
    QVERIFY(program.Main());
    QCOMPARE(program.shelfWindow->lblWhichShelf->text(), QStringLiteral("Shelf 1"));
    QCOMPARE(program.shelfWindow->BookCount(), 1);
    program.Shutdown();
    QCOMPARE(t.read("lib/Shelf 1/a.txt"), QByteArray("the book"));
    // The marks file is still one line, whatever was read.
    const QByteArray saved = t.read("app/marked.dat");
    QVERIFY(saved.endsWith("\r\n"));
    QCOMPARE(saved.count('\n'), 1);
}

void TestFaults::marksThatFailWhileReadAreNotSavedOver()
{
    // A marks file that opens but fails part-way (a disk error): nothing of it is taken as the
    // marks, the user is told, and the exit does not write an empty line over it.
    TempTree t;
    t.write("lib/Shelf 1/a.txt", "the book");
    t.write("app/config.ini", "book=" + t.path("lib").toUtf8() + "\r\nread=\r\n");
    const QString marks = t.path("app/marked.dat");
    QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), marks)); // reading it fails at once
    AppFolder::setOverride(t.path("app"));
    ScriptedPrompter prompter;
    modMain program(prompter);
    program.endProgram = [] {};
    QVERIFY(program.Main());
    QVERIFY(!program.g.MarksLoaded);
    program.Shutdown();
    QCOMPARE(prompter.asked.size(), 1);
    QCOMPARE(prompter.asked[0].title, QStringLiteral("Marks Not Read"));
    QCOMPARE(QFileInfo(marks).symLinkTarget(), QStringLiteral("/proc/self/mem"));
}

void TestFaults::hiddenContentKeepsShelf_data()
{
    QTest::addColumn<QString>("content");
    QTest::newRow("a hidden file") << ".hidden";
    QTest::newRow("a sub-folder") << "sub/";
    QTest::newRow("a name that is not UTF-8") << "bad";
}

void TestFaults::hiddenContentKeepsShelf()
{
    QFETCH(QString, content);
    Fixture v;
    if (content == u"bad") {
        const QByteArray raw = QFile::encodeName(v.tree.path("lib/Shelf 2")) + "/caf\xe9.txt";
        ::close(::open(raw.constData(), O_CREAT | O_WRONLY, 0644));
    } else if (content.endsWith(u'/')) {
        v.tree.mkdir("lib/Shelf 2/" + content);
    } else {
        v.tree.write("lib/Shelf 2/" + content);
    }
    v.start();
    v.w->imgShelf_MouseDown(1, Qt::RightButton);
    v.c->mnuShelfDelete_Click();
    QCOMPARE(v.titles(), QStringList {"Cannot Delete Shelf"});
    QVERIFY(QFileInfo(v.tree.path("lib/Shelf 2")).isDir());
}

void TestFaults::readOnlyFolders()
{
    if (::geteuid() != 0)
        QSKIP("runs as root only: readOnlyRows runs directly here");
    // Root ignores permissions: the rows run again as an unprivileged user.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("setpriv is not installed: the read-only rows cannot run as root");
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/tmp"));
    env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    child.setProcessEnvironment(env);
    child.start(setpriv,
                {"--reuid=65534", "--regid=65534", "--clear-groups",
                 QCoreApplication::applicationFilePath(), "readOnlyRows"});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    if (out.contains("Permission denied") && out.contains("exec"))
        QSKIP("the test program cannot be run by an unprivileged user from here");
    QVERIFY2(child.exitCode() == 0, out.constData());
}

void TestFaults::readOnlyRows_data()
{
    QTest::addColumn<QString>("readOnly"); // the folder made read-only
    QTest::addColumn<int>("op");
    QTest::newRow("target shelf, move") << "lib/Shelf 2" << int(Op::Drop);
    QTest::newRow("own shelf, rename") << "lib/Shelf 1" << int(Op::Rename);
    QTest::newRow("own shelf, delete") << "lib/Shelf 1" << int(Op::Delete);
    QTest::newRow("reader folder") << "reader" << int(Op::Reader);
    QTest::newRow("app folder, marks at exit") << "app" << -1;
    QTest::newRow("unreadable shelf") << "lib/Shelf 1" << -2;
    QTest::newRow("unreadable Main Book Folder at start-up") << "lib" << -3;
    QTest::newRow("app folder, config.ini saved") << "app" << -4;
    QTest::newRow("unreadable marked.dat") << "app/marked.dat" << -5;
}

void TestFaults::readOnlyRows()
{
    if (::geteuid() == 0)
        QSKIP("root ignores permissions: readOnlyFolders runs these rows unprivileged");
    QFETCH(QString, readOnly);
    QFETCH(int, op);
    Fixture v;
    v.tree.write("lib/Shelf 1/a.txt", "the book");
    v.tree.write("app/marked.dat", "-a.txt,1,\r\n");
    v.start();
    v.g.ReaderFolder = v.tree.path("reader");
    v.prompter.inputs.push_back("b");
    const QString folder = v.tree.path(readOnly);
    QFile::setPermissions(
        folder, op == -2 ? QFileDevice::Permissions() : QFile::ReadOwner | QFile::ExeOwner);
    if (op == -1) {
        v.g.Marks.appendEntry(QStringLiteral("new.txt"), 2);
        QVERIFY(!SaveMarks(v.g).ok);
    } else if (op == -2) {
        v.w->imgShelf_Click(0);
        QCOMPARE(v.w->BookCount(), 0); // shown empty, the program goes on
    } else if (op == -5) {
        // Marks that cannot be read are reported and never saved over with none.
        ScriptedPrompter prompter;
        modMain program(prompter);
        program.endProgram = [] {};
        QFile::setPermissions(folder, QFileDevice::Permissions());
        v.tree.write("app/config.ini", "book=" + v.tree.path("lib").toUtf8() + "\r\nread=\r\n");
        QVERIFY(program.Main());
        program.Shutdown();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(prompter.asked.size(), 1);
        QCOMPARE(prompter.asked[0].title, QStringLiteral("Marks Not Read"));
    } else if (op == -3 || op == -4) {
        // The program started as a user would, on this app folder.
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        v.tree.write("app/config.ini", "book=" + v.tree.path("lib").toUtf8() + "\r\nread=\r\n");
        v.tree.mkdir("other/Shelf");
        const QByteArray config = v.tree.read("app/config.ini");
        ScriptedPrompter prompter;
        modMain program(prompter);
        program.endProgram = [] {};
        if (op == -3) {
            // The folder that cannot be read is named, then the dialog takes another one.
            prompter.onMessage.push_back([&] {
                later([&] {
                    program.fileLoc->txtBook->setText(v.tree.path("other"));
                    program.fileLoc->cmdSave->click();
                });
            });
            QFile::setPermissions(folder, QFileDevice::Permissions());
            const bool started = program.Main();
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QVERIFY(started);
            QVERIFY(prompter.asked.first().text.contains(folder));
            QCOMPARE(program.shelfWindow->lblWhichShelf->text(), QStringLiteral("Shelf"));
        } else {
            QVERIFY(program.Main());
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            program.ensureDialogs();
            program.fileLoc->showNonModal();
            program.fileLoc->txtBook->setText(v.tree.path("other"));
            program.fileLoc->cmdSave->click();
            QVERIFY(program.fileLoc->isVisible()); // the dialog stays open
            QCOMPARE(prompter.asked.size(), 1);
            QVERIFY(prompter.asked[0].text.contains(folder));
            QCOMPARE(v.tree.read("app/config.ini"), config);
        }
    } else {
        v.run(Op(op), "a.txt");
        QVERIFY2(v.told(folder), qPrintable(v.titles().join(u',')));
        QVERIFY(v.told(QString::fromLocal8Bit(strerror(EACCES))));
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(v.tree.read("lib/Shelf 1/a.txt"), QByteArray("the book"));
    QCOMPARE(v.tree.read("app/marked.dat"), QByteArray("-a.txt,1,\r\n"));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
