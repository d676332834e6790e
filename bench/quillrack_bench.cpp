// Measures Quillrack against the raw cost of the same work, side by side in one run, and prints
// a table and one "target" line per goal. Usage: quillrack_bench [--quick]
#include "appfolder.h"
#include "bookcase.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "globalstate.h"
#include "marks.h"
#include "modmain.h"
#include "prompter.h"
#include "widgets.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QMainWindow>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millis(const std::function<void()> &fn)
{
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Answers every box with its first button; the benchmarks never ask anything.
class SilentPrompter : public Prompter
{
public:
    Answer message(const QString &, const QString &, Buttons) override { return Answer::Ok; }
    QString input(const QString &, const QString &) override { return {}; }
};

struct Result
{
    QString id;
    QString scenario;
    double program;
    double baseline;
    double limit;
    bool memory = false; // program and baseline in MiB, the figure is their difference
};

std::vector<Result> results;

// Runs the scenario and its baseline alternately, `reps` times each, and keeps their medians.
void compare(const QString &id, const QString &scenario, double limit, int reps,
             const std::function<void()> &program, const std::function<void()> &baseline)
{
    std::vector<double> a, b;
    program(); // one warm-up each: the first call pays for caches both would fill
    baseline();
    for (int i = 0; i < reps; ++i) {
        a.push_back(millis(program));
        b.push_back(millis(baseline));
    }
    results.push_back({id, scenario, median(a), median(b), limit});
    std::printf("  %s measured\n", qPrintable(id));
    std::fflush(stdout);
}

void touch(const QString &path, const QByteArray &content = QByteArray())
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}

void makeBooks(const QString &shelf, int count)
{
    QDir().mkpath(shelf);
    const QByteArray dir = QFile::encodeName(shelf);
    char name[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "/Book %d.epub", i);
        const int fd = ::open((dir + name).constData(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0)
            ::close(fd);
    }
}

// A marks line of `count` entries, the first twenty books of a shelf among them.
QByteArray marksLine(int count)
{
    QByteArray line;
    line.reserve(count * 24);
    for (int i = 0; i < count; ++i) {
        if (i < 20)
            line += "-Book " + QByteArray::number(i) + ".epub," + QByteArray::number(i % 6 + 1)
                + ",";
        else
            line += "-Elsewhere " + QByteArray::number(i) + ".pdf,3,";
    }
    return line;
}

// The raw cost of a listing: read the folder once and sort the names bytewise.
size_t rawList(const QByteArray &path, bool folders)
{
    std::vector<std::string> names;
    DIR *d = opendir(path.constData());
    if (!d)
        return 0;
    while (const dirent *e = readdir(d)) {
        if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2])))
            continue;
        if ((e->d_type == DT_DIR) == folders)
            names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names.size();
}

// What the kernel alone spends reading a folder: getdents64 into a large buffer, nothing kept.
size_t kernelRead(const QByteArray &path)
{
    static std::vector<char> buffer(1 << 20);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t entries = 0;
    long n;
    while ((n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size())) > 0) {
        for (long at = 0; at < n;) {
            unsigned short length;
            std::memcpy(&length, buffer.data() + at + 16, sizeof length); // d_reclen
            at += length;
            ++entries;
        }
    }
    ::close(fd);
    return entries;
}

// A bare main window with the same 48 slots of pictures and labels, painted.
void bareWindow()
{
    QMainWindow w;
    auto *area = new QWidget(&w);
    w.setCentralWidget(area);
    const QPixmap shelf = ImageList1::picture(3), book = ImageList1::picture(5);
    for (int i = 0; i < 48; ++i) {
        auto *pic = new QLabel(area);
        pic->setPixmap(i < 28 ? shelf : book);
        pic->setGeometry((i % 8) * 100, (i / 8) * 110, 80, 65);
        auto *label = new QLabel(QStringLiteral("Name %1").arg(i), area);
        label->setGeometry((i % 8) * 100, (i / 8) * 110 + 66, 90, 40);
    }
    w.resize(1056, 750);
    w.show();
    w.grab();
}

// From Main to the first painted shelf view, on the library an app folder names.
void startProgram(const QString &appFolder)
{
    AppFolder::setOverride(appFolder);
    SilentPrompter prompter;
    modMain program(prompter);
    program.endProgram = [] {};
    program.Main();
    program.mainWindow->grab();
}

long peakMemoryKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// One start-up (or the bare window) in a fresh process, as a user starts the program: the
// milliseconds from Main to the first painted view, and the process's peak memory in MiB.
struct ChildRun
{
    double ms = 0;
    double peakMiB = 0;
};

ChildRun runChild(const char *self, const QString &what)
{
    const QByteArray cmd = QByteArray(self) + " --child '" + what.toUtf8() + "' 2>/dev/null";
    ChildRun run;
    FILE *p = ::popen(cmd.constData(), "r");
    if (!p)
        return run;
    long kib = 0;
    if (std::fscanf(p, "%lf %ld", &run.ms, &kib) != 2)
        run.ms = 0;
    ::pclose(p);
    run.peakMiB = kib / 1024.0;
    return run;
}

// Start-up against the bare window, each in fresh processes, alternating.
void compareStartUp(const QString &id, const QString &scenario, double limit, int reps,
                    const char *self, const QString &appFolder, std::vector<double> *peaks,
                    std::vector<double> *barePeaks)
{
    std::vector<double> a, b;
    runChild(self, appFolder); // warms the disk cache for both
    runChild(self, QStringLiteral("bare"));
    for (int i = 0; i < reps; ++i) {
        const ChildRun program = runChild(self, appFolder);
        const ChildRun bare = runChild(self, QStringLiteral("bare"));
        a.push_back(program.ms);
        b.push_back(bare.ms);
        if (peaks)
            peaks->push_back(program.peakMiB);
        if (barePeaks)
            barePeaks->push_back(bare.peakMiB);
    }
    results.push_back({id, scenario, median(a), median(b), limit});
    std::printf("  %s measured\n", qPrintable(id));
    std::fflush(stdout);
}

QString appFolderFor(const QString &root, const QString &name, const QString &library,
                     const QByteArray &marks)
{
    const QString dir = root + u'/' + name;
    QDir().mkpath(dir);
    touch(dir + QStringLiteral("/config.ini"), "book=" + library.toUtf8() + "\r\nread=\r\n");
    touch(dir + QStringLiteral("/marked.dat"), marks + "\r\n");
    return dir;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillrack-bench"));

    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        const QString what = QString::fromLocal8Bit(argv[2]);
        const double ms = millis([&] {
            if (what == u"bare")
                bareWindow();
            else if (what == u"fonts")
                (void)QFontDatabase::hasFamily(QApplication::font().family());
            else
                startProgram(what);
        });
        std::printf("%.3f %ld\n", ms, peakMemoryKiB());
        return 0;
    }
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int reps = quick ? 3 : 11;
    const int bigBooks = quick ? 20000 : 100000;
    const int tenthBooks = bigBooks / 10;
    const int manyShelves = quick ? 1000 : 5000;
    const int manyMarks = quick ? 20000 : 100000;

    QTemporaryDir tmp;
    const QString root = tmp.path();
    std::printf("Building synthetic libraries in %s ...\n", qPrintable(root));
    std::fflush(stdout);
    // Large: one shelf of 100,000 books, one of 10,000, one of 100.
    const QString large = root + QStringLiteral("/large");
    makeBooks(large + QStringLiteral("/A big shelf"), bigBooks);
    makeBooks(large + QStringLiteral("/B tenth shelf"), tenthBooks);
    makeBooks(large + QStringLiteral("/C small shelf"), 100);
    // Typical: 5,000 shelves, 1,000 books on the first.
    const QString typical = root + QStringLiteral("/typical");
    makeBooks(typical + QStringLiteral("/Shelf 0"), 1000);
    for (int i = 1; i < manyShelves; ++i)
        QDir().mkpath(typical + QStringLiteral("/Shelf %1").arg(i));

    SilentPrompter prompter;
    GlobalState g;
    g.prompter = &prompter;
    g.BookFolder = large;
    g.RootFolder = g.FileSys.GetFolder(large);
    g.ShelfFolders = g.RootFolder;
    AppFolder::setOverride(root);
    Bookcase model(g);
    frmShelf w(model);
    w.Form_Load();
    w.show();
    // Listing a shelf as the user sees it: its books read and the first page drawn. The big,
    // the tenth and the small shelf stand in the first three slots.
    auto listShelf = [](Bookcase &m, int slot) { m.chooseShelf(slot); };

    std::printf("Measuring (medians of %d runs, alternating with the baselines) ...\n", reps);
    const QByteArray bigPath = QFile::encodeName(large + QStringLiteral("/A big shelf"));
    compare(
        QStringLiteral("P1"), QStringLiteral("CreateBooks + FillBooks, %1 books").arg(bigBooks),
        3.0, reps, [&] { listShelf(model, 0); }, [&] { rawList(bigPath, false); });

    GlobalState gt;
    gt.prompter = &prompter;
    gt.BookFolder = typical;
    gt.RootFolder = gt.FileSys.GetFolder(typical);
    gt.ShelfFolders = gt.RootFolder;
    Bookcase mt(gt);
    frmShelf wt(mt);
    const QByteArray typicalPath = QFile::encodeName(typical);
    compare(
        QStringLiteral("P2"),
        QStringLiteral("CreateShelves + FillShelves, %1 shelves").arg(manyShelves), 3.0, reps,
        [&] { mt.reloadShelves(); }, [&] { rawList(typicalPath, true); });

    compare(
        QStringLiteral("P3"),
        QStringLiteral("CreateBooks + FillBooks, %1 books against %2")
            .arg(bigBooks)
            .arg(tenthBooks),
        12.0, reps, [&] { listShelf(model, 0); }, [&] { listShelf(model, 1); });

    // One scroll step: the position moves by one row and the page is drawn again.
    listShelf(model, 0);
    Bookcase smallModel(g);
    frmShelf small(smallModel);
    small.Form_Load();
    listShelf(smallModel, 2);
    auto scroll = [](Bookcase &m) {
        m.scrollBooks(m.bookPosition() >= m.bookMaximum() ? 1 : m.bookPosition() + 1);
    };
    compare(
        QStringLiteral("P4"), QStringLiteral("one scroll step, %1 books against 100").arg(bigBooks),
        1.5, reps * 20, [&] { scroll(model); }, [&] { scroll(smallModel); });

    const MarksLine manyMarksLine(marksLine(manyMarks));
    const MarksLine fewMarksLine(marksLine(10));
    GlobalState gm;
    gm.prompter = &prompter;
    gm.BookFolder = large;
    gm.ShelfFolders = gm.FileSys.GetFolder(large);
    GlobalState gf = gm;
    Bookcase mm(gm), mf(gf);
    frmShelf wm(mm), wf(mf);
    for (Bookcase *m : {&mm, &mf}) {
        m->reloadShelves();
        m->chooseShelf(2);
    }
    gm.Marks = manyMarksLine;
    gf.Marks = fewMarksLine;
    compare(
        QStringLiteral("P5"), QStringLiteral("FillBooks page, %1 marks against 10").arg(manyMarks),
        1.5, reps * 20, [&] { mm.FillBooks(); }, [&] { mf.FillBooks(); });

    const QString typicalApp
        = appFolderFor(root, QStringLiteral("app-typical"), typical, marksLine(1000));
    compareStartUp(QStringLiteral("P6"),
                   QStringLiteral("start-up to painted view, %1 shelves, 1000 books, 1000 marks")
                       .arg(manyShelves),
                   1.5, reps, argv[0], typicalApp, nullptr, nullptr);

    const QString largeApp
        = appFolderFor(root, QStringLiteral("app-large"), large, marksLine(manyMarks));
    std::vector<double> peaks, barePeaks;
    compareStartUp(
        QStringLiteral("P7"),
        QStringLiteral("start-up to painted view, %1 books, %2 marks").arg(bigBooks).arg(manyMarks),
        3.0, reps, argv[0], largeApp, &peaks, &barePeaks);

    // Saving the marks against writing the same bytes to a temporary file and renaming it.
    GlobalState gs;
    gs.Marks = manyMarksLine;
    gs.MarksLoaded = true;
    const QString saveDir = root + QStringLiteral("/save");
    QDir().mkpath(saveDir);
    const QByteArray bytes = manyMarksLine.bytes() + "\r\n";
    const QByteArray rawTarget = QFile::encodeName(saveDir + QStringLiteral("/raw.dat"));
    const QByteArray rawTemp = QFile::encodeName(saveDir + QStringLiteral("/raw.tmp"));
    compare(
        QStringLiteral("P8"), QStringLiteral("SaveMarks, %1 marks").arg(manyMarks), 2.0, reps,
        [&] {
            AppFolder::setOverride(saveDir);
            SaveMarks(gs);
        },
        [&] {
            const int fd = ::open(rawTemp.constData(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
            [[maybe_unused]] ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
            ::fsync(fd);
            ::close(fd);
            ::rename(rawTemp.constData(), rawTarget.constData());
        });

    results.push_back({QStringLiteral("M1"), QStringLiteral("peak memory of P7 (MiB)"),
                       median(peaks), median(barePeaks), 40.0, true});

    // Costs inside the start-up figures that no program can avoid, against the same bare
    // window: the kernel's read of the big folder and the system font list a fresh process
    // reads before it measures its first text.
    std::vector<double> kernel, fonts, bare;
    for (int i = 0; i < reps; ++i) {
        kernel.push_back(millis([&] { kernelRead(bigPath); }));
        fonts.push_back(runChild(argv[0], QStringLiteral("fonts")).ms);
        bare.push_back(runChild(argv[0], QStringLiteral("bare")).ms);
    }

    std::printf("\n%-4s %-70s %12s %12s %8s\n", "id", "scenario", "program", "baseline", "ratio");
    for (const Result &r : results) {
        const double figure = r.memory ? r.program - r.baseline : r.program / r.baseline;
        std::printf("%-4s %-70s %9.3f %s %9.3f %s %8.2f\n", qPrintable(r.id),
                    qPrintable(r.scenario), r.program, r.memory ? "MiB" : "ms ", r.baseline,
                    r.memory ? "MiB" : "ms ", figure);
    }
    const double bareMs = median(bare);
    std::printf("\nUnavoidable parts of start-up, against the bare window (%.3f ms):\n", bareMs);
    const QString kernelLabel
        = QStringLiteral("kernel read of the %1-book folder (getdents64 only)").arg(bigBooks);
    std::printf("  %-56s %9.3f ms %6.2f x\n", qPrintable(kernelLabel), median(kernel),
                median(kernel) / bareMs);
    std::printf("  %-56s %9.3f ms %6.2f x\n", "system font list read by a fresh process",
                median(fonts), median(fonts) / bareMs);
    std::printf("\n");
    int failed = 0;
    for (const Result &r : results) {
        const double figure = r.memory ? r.program - r.baseline : r.program / r.baseline;
        const bool ok = figure <= r.limit;
        failed += !ok;
        std::printf("target %s ratio=%.2f limit=%.2f %s\n", qPrintable(r.id), figure, r.limit,
                    ok ? "ok" : "FAIL");
    }
    return 0;
}
