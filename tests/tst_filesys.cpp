#include "filesys.h"
#include "readahead.h"
#include "testsupport.h"

#include <QFile>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QStringList names(const Listing &l)
{
    return QStringList(l.names.begin(), l.names.end());
}

} // namespace

class TestFileSys : public QObject
{
    Q_OBJECT
private slots:
    void listingSeparatesFoldersAndFiles();
    void listingLeavesOutNamesThatAreNotUtf8();
    void folderThatCannotBeOpened_data();
    void folderThatCannotBeOpened();
    void sameFileIsNeverOverwritten_data();
    void sameFileIsNeverOverwritten();
    void overwriteKeepsOldTargetWhenCopyFails();
    void moveToAnotherFileSystem();
    void atomicWriteKeepsOldFileWhenWriteFails();
    void atomicWriteReplacesAndKeepsCrLf();
    void readAheadHandsOutOnlyWhatItRead_data();
    void readAheadHandsOutOnlyWhatItRead();
};

void TestFileSys::listingSeparatesFoldersAndFiles()
{
    TempTree t;
    t.mkdir("lib/Shelf 10");
    t.mkdir("lib/Shelf 2");
    t.mkdir("lib/.hidden shelf");
    t.write("lib/loose.txt");
    t.write("lib/Shelf 2/b.txt");
    t.write("lib/Shelf 2/.dotfile");
    t.mkdir("lib/Shelf 2/sub");
    ::symlink("Shelf 10", QFile::encodeName(t.path("lib/link to shelf")).constData());
    const auto root = FileSys().GetFolder(t.path("lib"));
    QVERIFY(root);
    QCOMPARE(names(root->SubFolders()),
             (QStringList {".hidden shelf", "link to shelf", "Shelf 2", "Shelf 10"}));
    QCOMPARE(names(root->Files()), QStringList {"loose.txt"});
    const auto shelf = FileSys().GetFolder(t.path("lib/Shelf 2"));
    QCOMPARE(names(shelf->Files()), (QStringList {".dotfile", "b.txt"}));
    QCOMPARE(shelf->Name(), QStringLiteral("Shelf 2"));
    QVERIFY(shelf->hasAnyFile());
    QVERIFY(!FileSys().GetFolder(t.path("lib/Shelf 10"))->hasAnyFile());
}

void TestFileSys::listingLeavesOutNamesThatAreNotUtf8()
{
    TempTree t;
    t.mkdir("shelf");
    const QByteArray bad = QFile::encodeName(t.path("shelf")) + "/caf\xe9.txt";
    QFile f(QString::fromUtf8(bad)); // decoding would not name the same file
    const int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    t.write(QStringLiteral("shelf/café.txt"));
    // Only the name that can be reached again is listed; the other would be another file.
    QCOMPARE(names(FileSys().GetFolder(t.path("shelf"))->Files()),
             QStringList {QStringLiteral("café.txt")});
}

void TestFileSys::folderThatCannotBeOpened_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing") << "nothing here";
    QTest::newRow("a file") << "file.txt";
    QTest::newRow("empty path") << "";
}

void TestFileSys::folderThatCannotBeOpened()
{
    QFETCH(QString, relative);
    TempTree t;
    t.write("file.txt");
    QString error;
    const QString path = relative.isEmpty() ? QString() : t.path(relative);
    QVERIFY(!FileSys().GetFolder(path, &error));
    QVERIFY(!error.isEmpty());
    if (!relative.isEmpty())
        QVERIFY2(error.contains(path), qPrintable(error));
}

void TestFileSys::sameFileIsNeverOverwritten_data()
{
    QTest::addColumn<QString>("otherName"); // how the target names the source
    QTest::addColumn<bool>("move");
    QTest::newRow("dot path copy") << "shelf/./a.txt" << false;
    QTest::newRow("dotdot path move") << "shelf/../shelf/a.txt" << true;
    QTest::newRow("hard link copy") << "shelf/hard.txt" << false;
    QTest::newRow("symlink move") << "shelf/soft.txt" << true;
}

void TestFileSys::sameFileIsNeverOverwritten()
{
    QFETCH(QString, otherName);
    QFETCH(bool, move);
    TempTree t;
    const QString a = t.write("shelf/a.txt", "the book");
    ::link(QFile::encodeName(a).constData(), QFile::encodeName(t.path("shelf/hard.txt")));
    ::symlink("a.txt", QFile::encodeName(t.path("shelf/soft.txt")).constData());
    const FileSys fs;
    QVERIFY(fs.sameFile(a, t.path(otherName)));
    const FsResult r
        = move ? fs.MoveFile(a, t.path(otherName), true) : fs.CopyFile(a, t.path(otherName), true);
    QVERIFY(!r);
    QCOMPARE(t.read("shelf/a.txt"), QByteArray("the book"));
}

void TestFileSys::overwriteKeepsOldTargetWhenCopyFails()
{
    TempTree t;
    const QByteArray big(64 * 1024, 'b');
    const QString source = t.write("from/big.txt", big);
    const QString target = t.write("to/big.txt", "old target");
    FsResult r;
    {
        FileSizeLimit limit {4096};
        r = FileSys().CopyFile(source, target, true);
    }
    QVERIFY(!r);
    QVERIFY(r.error.contains(target));
    QCOMPARE(t.read("to/big.txt"), QByteArray("old target"));
    QCOMPARE(t.read("from/big.txt"), big);
    // No temporary file is left behind.
    QCOMPARE(names(FileSys().GetFolder(t.path("to"))->Files()), QStringList {"big.txt"});
}

void TestFileSys::moveToAnotherFileSystem()
{
    if (!FileSys().FolderExists(QStringLiteral("/dev/shm")))
        QSKIP("no /dev/shm here");
    TempTree t;
    QTemporaryDir shm(QStringLiteral("/dev/shm/quillrack-test-XXXXXX"));
    QVERIFY(shm.isValid());
    const QByteArray content(200 * 1024, 'm');
    const QString source = t.write("shelf/book.epub", content);
    const QString target = shm.path() + QStringLiteral("/book.epub");
    {
        // Half-way failure: the source stays, no partial copy.
        FileSizeLimit limit {8192};
        QVERIFY(!FileSys().MoveFile(source, target));
    }
    QCOMPARE(t.read("shelf/book.epub"), content);
    QVERIFY(!QFile::exists(target));
    QVERIFY(FileSys().MoveFile(source, target));
    QVERIFY(!QFile::exists(source));
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
}

void TestFileSys::atomicWriteKeepsOldFileWhenWriteFails()
{
    TempTree t;
    const QString path = t.write("marked.dat", "-old.txt,1,\r\n");
    FsResult r;
    {
        FileSizeLimit limit {4};
        r = FileSys().writeFileAtomically(path, "-new.txt,2,\r\n");
    }
    QVERIFY(!r);
    QCOMPARE(t.read("marked.dat"), QByteArray("-old.txt,1,\r\n"));
}

void TestFileSys::atomicWriteReplacesAndKeepsCrLf()
{
    TempTree t;
    const QString path = t.write("config.ini", "old");
    QVERIFY(FileSys().CreateTextFile(path, {"book=/b", "read="}));
    QCOMPARE(t.read("config.ini"), QByteArray("book=/b\r\nread=\r\n"));
}

void TestFileSys::readAheadHandsOutOnlyWhatItRead_data()
{
    QTest::addColumn<QString>("library"); // the folder read ahead, under the temporary tree
    QTest::addColumn<QString>("asked"); // the folder asked for afterwards
    QTest::addColumn<bool>("marksReadable");
    QTest::addColumn<QStringList>("shelves"); // empty: nothing handed out
    QTest::addColumn<QStringList>("books");
    QTest::newRow("the library read") << "lib"
                                      << "lib" << true << QStringList {"Shelf 2", "shelf 10"}
                                      << QStringList {"a 9.txt", "A 10.txt"};
    QTest::newRow("another folder") << "lib"
                                    << "lib/Shelf 2" << true << QStringList {} << QStringList {};
    QTest::newRow("a library that is gone") << "gone"
                                            << "gone" << true << QStringList {} << QStringList {};
    QTest::newRow("marks that cannot be read")
        << "lib"
        << "lib" << false << QStringList {"Shelf 2", "shelf 10"}
        << QStringList {"a 9.txt", "A 10.txt"};
}

void TestFileSys::readAheadHandsOutOnlyWhatItRead()
{
    QFETCH(QString, library);
    QFETCH(QString, asked);
    QFETCH(bool, marksReadable);
    QFETCH(QStringList, shelves);
    QFETCH(QStringList, books);
    TempTree t;
    t.write("lib/Shelf 2/A 10.txt");
    t.write("lib/Shelf 2/a 9.txt");
    t.mkdir("lib/Shelf 2/sub");
    t.mkdir("lib/shelf 10");
    t.write("lib/loose.txt");
    if (marksReadable)
        t.write("marked.dat", "-a 9.txt,2,\r\n");
    else
        t.mkdir("marked.dat");
    ReadAhead ahead;
    ahead.start(t.path(library), t.path("marked.dat"));
    const QString folder = t.path(asked);
    const std::optional<NameList> s = ahead.takeFolderNames(folder);
    QCOMPARE(s.has_value(), !shelves.isEmpty());
    if (s)
        QCOMPARE(s->toStringList(), shelves);
    const std::optional<NameList> b = ahead.takeFileNames(folder + QStringLiteral("/Shelf 2"));
    QCOMPARE(b.has_value(), !books.isEmpty());
    if (b)
        QCOMPARE(b->toStringList(), books);
    const std::optional<QByteArray> marks = ahead.takeFile(t.path("marked.dat"));
    QCOMPARE(marks.has_value(), marksReadable);
    // Each is handed out once: the next look reads the disk as it is then.
    QVERIFY(!ahead.takeFolderNames(folder));
    QVERIFY(!ahead.takeFileNames(folder + QStringLiteral("/Shelf 2")));
    QVERIFY(!ahead.takeFile(t.path("marked.dat")));
}

QTEST_GUILESS_MAIN(TestFileSys)
#include "tst_filesys.moc"
