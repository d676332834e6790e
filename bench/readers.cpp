#include "bench.h"
#include "fakeudisks.h"
#include "readerdevices.h"
#include "udisks.h"

#include <QDBusConnection>
#include <csignal>
#include <sys/stat.h>

namespace {

// Every file under a folder, each looked at with stat(2): what a reader's listing must do.
int statTree(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return 0;
    int files = 0;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name = e->d_name;
        if (name.startsWith('.'))
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat st;
        if (e->d_type == DT_DIR)
            files += statTree(path);
        else
            files += ::stat(path.constData(), &st) == 0;
    }
    ::closedir(dir);
    return files;
}

bool mounted(const QByteArray &point)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(' ' + point + ' ');
}

} // namespace

void readersGroup(Bench &b)
{
    // P24: a Kobo of 2,000 books in 20 folders on a volume that answers each call after 5 ms
    // (the tests' FUSE file system), from plugged in to the signs of a page of books on it
    // painted; against a recursive listing of its book folder with a stat of each file, through
    // the same volume. The window's 10 ms timer keeps ticking meanwhile.
    PrivateBus bus;
    const QString backing = b.root + QStringLiteral("/kobo"),
                  point = b.root + QStringLiteral("/KOBOeReader");
    for (int i = 0; i < 20; ++i)
        makeBooks(backing + QStringLiteral("/Series %1").arg(i), 100);
    QDir().mkpath(backing + QStringLiteral("/.kobo"));
    QDir().mkpath(point);
    QProcess share;
    share.start(QStringLiteral(QUILLRACK_SLOWFS),
                {backing, point, QStringLiteral("5"), QStringLiteral("-f")});
    const QByteArray mountPoint = QFile::encodeName(point);
    QElapsedTimer waited;
    waited.start();
    while (!mounted(mountPoint) && waited.elapsed() < 3000)
        QThread::msleep(20);
    if (!bus.isUp() || !mounted(mountPoint)) {
        b.notes << QStringLiteral("P24 not measured: no dbus-daemon, or no FUSE here.");
        return;
    }
    const QString library = b.root + QStringLiteral("/readers library");
    makeBooks(library + QStringLiteral("/Shelf 0"),
              Bookcase::BookSlots); // a page, all on the reader
    GlobalState g;
    openLibrary(g, b, library);
    g.offThread = true;
    FakeUDisks fake(bus.address);
    UDisks udisks(QDBusConnection::connectToBus(bus.address, QStringLiteral("bench-system")));
    Readers readers(g, udisks);
    Bookcase model(g);
    frmShelf w(model);
    w.Form_Load();
    w.show();
    w.setReaders(&readers);
    const QList<QLabel *> signs = w.findChildren<QLabel *>(QStringLiteral("imgOnReader"));
    auto shown = [&] {
        return int(
            std::count_if(signs.begin(), signs.end(), [](QLabel *s) { return s->isVisible(); }));
    };
    QString stuck; // a run that never ended: no figures, a note
    auto until = [&](const std::function<bool()> &done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done() && stuck.isEmpty())
            stuck = QStringLiteral("P24 not measured: %1 signs shown, %2 readers, %3 books on it")
                        .arg(shown())
                        .arg(readers.attached().size())
                        .arg(readers.contents().books.size());
    };
    until([&] { return !model.reading(Grid::Books) && !model.reading(Grid::Shelves); });
    int plugged = -1;
    std::vector<double> gaps;
    b.compare(
        QStringLiteral("P24"),
        QStringLiteral("a 2,000-book Kobo plugged in, 5 ms a call, to its signs painted"), 1.5,
        b.quick ? 2 : 5,
        [&] {
            gaps.push_back(longestGap([&] {
                plugged
                    = fake.plug({mountPoint, QStringLiteral("Kobo"), QStringLiteral("eReader")});
                until([&] { return shown() == Bookcase::BookSlots; });
            }));
        },
        [&] { statTree(mountPoint); },
        QStringLiteral("opendir, readdir and a stat of each file of its book folder, recursively, "
                       "through the same volume, on this thread"),
        [&] { // pulled out again: no reader, no sign
            if (plugged >= 0)
                fake.unplug(plugged);
            until([&] { return shown() == 0 && readers.attached().empty(); });
        });
    b.results.push_back({QStringLiteral("P24+"),
                         QStringLiteral("longest gap of a 10 ms timer while P24 reads the reader "
                                        "(median of the runs)"),
                         median(gaps), 16.0, 1.0,
                         QStringLiteral("16 ms, a frame of a 60 Hz screen"), false});
    if (!stuck.isEmpty()) {
        b.results.resize(b.results.size() - 2);
        b.notes << stuck;
    }
    ::kill(pid_t(share.processId()), SIGTERM);
    QProcess::execute(QStringLiteral("fusermount3"),
                      {QStringLiteral("-u"), QStringLiteral("-z"), point});
    share.waitForFinished(3000);
}
