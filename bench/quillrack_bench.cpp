// Measures Quillrack against the raw cost of the same work, side by side in one run, and prints
// a table and one "target" line per goal. Usage: quillrack_bench [--quick]
#include "appfolder.h"
#include "bookcase.h"
#include "bookindex.h"
#include "commands.h"
#include "coverqueue.h"
#include "finder.h"
#include "frmfind.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "globalstate.h"
#include "marks.h"
#include "modmain.h"
#include "prompter.h"
#include "thumbcache.h"
#include "widgetprompter.h"
#include "widgets.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
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

struct Row
{
    QString id;
    QString scenario;
    double program;
    double baseline;
    double limit;
    QString against; // what the baseline is
    bool memory = false; // program and baseline in MiB, the figure is their difference
};

std::vector<Row> results;

// Runs the scenario and its baseline alternately, `reps` times each, and keeps their medians.
void compare(const QString &id, const QString &scenario, double limit, int reps,
             const std::function<void()> &program, const std::function<void()> &baseline,
             const QString &against)
{
    std::vector<double> a, b;
    program(); // one warm-up each: the first call pays for caches both would fill
    baseline();
    for (int i = 0; i < reps; ++i) {
        a.push_back(millis(program));
        b.push_back(millis(baseline));
    }
    results.push_back({id, scenario, median(a), median(b), limit, against});
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

// The raw cost of reading a library: getdents64 on the Main Book Folder and on every shelf,
// every name kept in one buffer.
size_t rawWalk(const QByteArray &root, std::string &names, std::vector<quint32> &ends)
{
    static std::vector<char> buffer(1 << 16);
    auto read = [&](const QByteArray &path, const std::function<void(const char *, int)> &each) {
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        long n;
        while (fd >= 0 && (n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size())) > 0) {
            for (long at = 0; at < n;) {
                unsigned short length;
                std::memcpy(&length, buffer.data() + at + 16, sizeof length); // d_reclen
                const char *name = buffer.data() + at + 19;
                if (name[0] != '.')
                    each(name, buffer[size_t(at) + 18]); // d_type
                at += length;
            }
        }
        if (fd >= 0)
            ::close(fd);
    };
    std::vector<QByteArray> shelves;
    read(root, [&](const char *name, int type) {
        if (type == DT_DIR)
            shelves.emplace_back(name);
    });
    for (const QByteArray &shelf : shelves) {
        read(root + '/' + shelf, [&](const char *name, int type) {
            if (type == DT_REG) {
                names += name;
                ends.push_back(quint32(names.size()));
            }
        });
    }
    return ends.size();
}

// Bytes the heap holds now.
size_t heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// A zip of members, as EPUB and CBZ books are.
QByteArray zipOf(const std::vector<std::pair<QByteArray, QByteArray>> &members)
{
    std::vector<char> buffer(8 << 20);
    size_t used = 0;
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_memory(a, buffer.data(), buffer.size(), &used);
    for (const auto &[name, data] : members) {
        archive_entry *e = archive_entry_new();
        archive_entry_set_pathname(e, name.constData());
        archive_entry_set_size(e, data.size());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, data.constData(), size_t(data.size()));
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    return QByteArray(buffer.data(), qsizetype(used));
}

// A shelf of 20 books of mixed formats, each with a cover picture of a book's proportions.
void makeCoveredBooks(const QString &shelf)
{
    QDir().mkpath(shelf);
    for (int i = 0; i < 20; ++i) {
        QImage picture(600, 900, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i * 18, 180, 200));
        QBuffer jpeg;
        jpeg.open(QIODevice::WriteOnly);
        picture.save(&jpeg, "jpeg");
        const QByteArray image = jpeg.data();
        QByteArray book;
        QString name = QStringLiteral("%1/Book %2.").arg(shelf).arg(i);
        switch (i % 4) {
        case 0:
            name += QStringLiteral("epub");
            book = zipOf(
                {{"META-INF/container.xml",
                  "<container><rootfiles><rootfile full-path=\"c.opf\"/></rootfiles></container>"},
                 {"c.opf",
                  "<package><manifest><item id=\"c\" href=\"c.jpg\" "
                  "properties=\"cover-image\"/></manifest></package>"},
                 {"c.jpg", image}});
            break;
        case 1:
            name += QStringLiteral("cbz");
            book = zipOf({{"001.jpg", image}, {"002.jpg", image}});
            break;
        case 2:
            name += QStringLiteral("fb2");
            book = "<FictionBook "
                   "xmlns:l=\"http://www.w3.org/1999/xlink\"><description><coverpage><image "
                   "l:href=\"#c\"/></coverpage></description><binary id=\"c\">"
                + image.toBase64() + "</binary></FictionBook>";
            break;
        default:
            name += QStringLiteral("pdf");
            book = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type "
                   "/Pages /Kids [3 0 R] /Count 1 >> endobj\n3 0 obj << /Type /Page /Parent 2 0 R "
                   "/MediaBox [0 0 400 600] /Contents 4 0 R >> endobj\n4 0 obj << /Length 36 >> "
                   "stream\n0.2 0.4 0.8 rg 20 20 360 560 re f\nendstream endobj\ntrailer << /Root "
                   "1 0 R >>\n%%EOF\n";
        }
        touch(name, book);
    }
}

QFont sans(qreal points, bool bold)
{
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// The baseline of start-up: a window like the program's, made of plain widgets of the same
// build and kept as it is (the program's own window classes are not used, so no slowness of
// theirs can hide in it). The main window with the same menu bar, pop-up menus and MDI area
// holds a child of the same size with the same controls, pictures and fonts, filled with
// placeholder texts. No file is read, but for the folder `before` names, which is read with
// getdents64 (nothing kept) before the window is made.
void bareWindow(const QByteArray &before = QByteArray())
{
    if (!before.isEmpty())
        kernelRead(before);
    QMainWindow main;
    main.menuBar()->addAction(QStringLiteral("&File Location"));
    main.menuBar()
        ->addMenu(QStringLiteral("About"))
        ->addAction(QStringLiteral("About the Quillrack"));
    main.menuBar()->addAction(QStringLiteral("&Help"));
    main.menuBar()->addAction(QStringLiteral("E&xit"));
    for (const int items : {14, 7}) {
        auto *popUp = new QMenu(&main);
        for (int i = 0; i < items; ++i)
            popUp->addAction(QStringLiteral("Item %1").arg(i));
    }
    auto *area = new QMdiArea(&main);
    main.setCentralWidget(area);
    auto *w = new QWidget;
    w->setFixedSize(tw(15240), tw(10560));
    w->setFont(sans(8.25, false));
    auto at = [](QWidget *c, int left, int top, int width, int height) {
        c->setGeometry(tw(left), tw(top), tw(width), tw(height));
        return c;
    };
    auto label
        = [&](QWidget *parent, const QString &text, qreal points, int l, int t, int wd, int h) {
              auto *lbl = new QLabel(text, parent);
              lbl->setFont(sans(points, true));
              lbl->setWordWrap(true);
              return at(lbl, l, t, wd, h);
          };
    label(w, QStringLiteral("Shelves"), 18, 270, 0, 1455, 465);
    label(w, QStringLiteral("Placeholder"), 18, 7110, 0, 7845, 480);
    QWidget *boxes[3];
    int i = 0;
    for (const auto &[l, t, wd, h] :
         {std::tuple(180, 540, 6450, 8385), std::tuple(7020, 540, 8025, 8385),
          std::tuple(180, 9180, 5505, 1185)}) {
        auto *box = new QFrame(w);
        box->setAutoFillBackground(true);
        QPalette pal = box->palette();
        pal.setColor(QPalette::Window, QColor(216, 208, 200));
        box->setPalette(pal);
        box->setFrameShape(QFrame::StyledPanel);
        boxes[i++] = at(box, l, t, wd, h);
    }
    for (const int left : {6570, 14850})
        at(new QScrollBar(Qt::Vertical, w), left, 540, 195, 8385);
    const QPixmap shelf = ImageList1::picture(3), book = ImageList1::picture(5);
    for (int k = 0; k < 48; ++k) {
        const bool isShelf = k < 28;
        const int row = isShelf ? k / 4 : (k - 28) / 5, column = isShelf ? k % 4 : (k - 28) % 5;
        auto *picture = new QLabel(boxes[isShelf ? 0 : 1]);
        picture->setPixmap(isShelf ? shelf : book);
        at(picture, 270 + 1530 * column, 90 + (isShelf ? 1170 : 1980) * row, 1200, 975);
        label(boxes[isShelf ? 0 : 1], QStringLiteral("Name %1").arg(k), 8.25, 180 + 1530 * column,
              (isShelf ? 810 : 1260) + (isShelf ? 1170 : 1980) * row, 1275, 815);
    }
    for (const auto &[text, l, t] : {std::tuple("Title:", 180, 45), std::tuple("Shelf:", 180, 585),
                                     std::tuple("Format:", 4410, 45)}) {
        at(new QLabel(QLatin1String(text), boxes[2]), l, t, 1275, 195);
        at(new QLineEdit(QStringLiteral("Placeholder"), boxes[2]), l, t + 180, l > 180 ? 915 : 4065,
           285);
    }
    auto *bookImage = at(new QLabel(boxes[2]), 4590, 585, 585, 495);
    bookImage->setProperty("pixmap", book);
    bookImage->setProperty("scaledContents", true);
    for (const auto &[text, l, t] :
         {std::tuple("&New Shelf", 5850, 9180), std::tuple("&Refresh", 5850, 9900),
          std::tuple("E&xit", 11610, 9540)})
        at(new QPushButton(QLatin1String(text), w), l, t, 1275, 465)->setFont(sans(9.75, true));
    auto *group = at(new QGroupBox(QStringLiteral("Drag Book to:"), w), 7470, 9270, 1275, 1005);
    at(new QRadioButton(QStringLiteral("Move"), group), 90, 270, 1095, 285);
    at(new QRadioButton(QStringLiteral("Copy"), group), 90, 630, 1095, 285);
    label(w, QStringLiteral("Books: 0"), 8.25, 9090, 9270, 2175, 1095);
    at(new QListWidget(w), 11430, 540, 3615, 8475)->hide();
    label(w, QStringLiteral("Placeholder text for the reader picture"), 7, 13140, 9180, 1185, 1185);
    at(new QLabel(w), 14130, 9180, 1200, 1200)->setProperty("pixmap", ImageList1::picture(2));
    area->addSubWindow(w, Qt::FramelessWindowHint)->setGeometry(0, 0, w->width(), w->height());
    main.resize(tw(15240) + 40, tw(10560) + main.menuBar()->sizeHint().height() + 40);
    main.show();
    w->show();
    main.grab();
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
// Start-up against a baseline window (run as `baseline` by a child), each in fresh processes,
// alternating.
void compareStartUp(const QString &id, const QString &scenario, double limit, int reps,
                    const char *self, const QString &appFolder, const QString &baseline,
                    const QString &against, std::vector<double> *peaks = nullptr,
                    std::vector<double> *basePeaks = nullptr)
{
    std::vector<double> a, b;
    runChild(self, appFolder); // warms the disk cache and the fonts for both
    runChild(self, baseline);
    for (int i = 0; i < reps; ++i) {
        const ChildRun program = runChild(self, appFolder);
        const ChildRun base = runChild(self, baseline);
        a.push_back(program.ms);
        b.push_back(base.ms);
        if (peaks)
            peaks->push_back(program.peakMiB);
        if (basePeaks)
            basePeaks->push_back(base.peakMiB);
    }
    results.push_back({id, scenario, median(a), median(b), limit, against});
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
            else if (what.startsWith(u"bare+"))
                bareWindow(QFile::encodeName(what.mid(5)));
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
    const int startReps = quick ? 3 : 15; // each start-up runs in a fresh process
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
        3.0, reps, [&] { listShelf(model, 0); }, [&] { rawList(bigPath, false); },
        QStringLiteral("readdir and std::sort of the same folder"));

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
        [&] { mt.reloadShelves(); }, [&] { rawList(typicalPath, true); },
        QStringLiteral("readdir and std::sort of the same folder"));

    compare(
        QStringLiteral("P3"),
        QStringLiteral("CreateBooks + FillBooks, %1 books against %2")
            .arg(bigBooks)
            .arg(tenthBooks),
        12.0, reps, [&] { listShelf(model, 0); }, [&] { listShelf(model, 1); },
        QStringLiteral("the same on a shelf a tenth as large"));

    // One scroll step: the position moves by one row and the page is drawn again.
    listShelf(model, 0);
    Bookcase smallModel(g);
    frmShelf small(smallModel);
    small.Form_Load();
    listShelf(smallModel, 2);
    auto scroll = [](Bookcase &m) {
        m.scrollBooks(m.bookPosition() >= m.pager(Grid::Books).maximum() ? 1
                                                                         : m.bookPosition() + 1);
    };
    compare(
        QStringLiteral("P4"), QStringLiteral("one scroll step, %1 books against 100").arg(bigBooks),
        1.5, reps * 20, [&] { scroll(model); }, [&] { scroll(smallModel); },
        QStringLiteral("the same on a shelf of 100 books"));

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
        1.5, reps * 20, [&] { mm.FillBooks(); }, [&] { mf.FillBooks(); },
        QStringLiteral("the same page with 10 marks"));

    const QString typicalApp
        = appFolderFor(root, QStringLiteral("app-typical"), typical, marksLine(1000));
    const QString window = QStringLiteral("a window like the program's, of plain widgets, "
                                          "with placeholder texts, no file read");
    compareStartUp(QStringLiteral("P6"),
                   QStringLiteral("start-up to painted view, %1 shelves, 1000 books, 1000 marks")
                       .arg(manyShelves),
                   1.3, startReps, argv[0], typicalApp, QStringLiteral("bare"), window);

    const QString largeApp
        = appFolderFor(root, QStringLiteral("app-large"), large, marksLine(manyMarks));
    std::vector<double> peaks, basePeaks;
    compareStartUp(
        QStringLiteral("P7"),
        QStringLiteral("start-up to painted view, %1 books, %2 marks").arg(bigBooks).arg(manyMarks),
        1.5, startReps, argv[0], largeApp, QStringLiteral("bare+") + QFile::decodeName(bigPath),
        QStringLiteral("P6's window, after the kernel's read of the %1-book folder (getdents64)")
            .arg(bigBooks),
        &peaks, &basePeaks);

    // Saving the marks, and marking a book (saved at once), against making the same bytes safe
    // on disk by hand: written to a temporary file, flushed, renamed, the folder flushed.
    GlobalState gs;
    gs.Marks = manyMarksLine;
    gs.MarksLoaded = true;
    const QString saveDir = root + QStringLiteral("/save");
    QDir().mkpath(saveDir);
    AppFolder::setOverride(saveDir);
    const QByteArray rawTarget = QFile::encodeName(saveDir + QStringLiteral("/raw.dat"));
    const QByteArray rawTemp = QFile::encodeName(saveDir + QStringLiteral("/raw.tmp"));
    auto raw = [&](const QByteArray &bytes) {
        const int fd = ::open(rawTemp.constData(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        [[maybe_unused]] ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
        ::fsync(fd);
        ::close(fd);
        ::rename(rawTemp.constData(), rawTarget.constData());
        const int dir = ::open(QFile::encodeName(saveDir).constData(), O_RDONLY | O_DIRECTORY);
        ::fsync(dir);
        ::close(dir);
    };
    const QString safe = QStringLiteral("the same bytes written, flushed, renamed into place, "
                                        "the folder flushed");
    compare(
        QStringLiteral("P8"), QStringLiteral("SaveMarks, %1 marks").arg(manyMarks), 2.0, reps,
        [&] { SaveMarks(gs); }, [&] { raw(gs.Marks.bytes() + "\r\n"); }, safe);
    gm.MarksLoaded = true;
    Commands commands(gm, mm);
    mm.aimAtBook(0);
    int colour = 0;
    compare(
        QStringLiteral("P9"),
        QStringLiteral("marking one book, %1 marks, to safe on disk").arg(manyMarks), 1.5, reps,
        [&] { commands.mnuMarkBook_Click(1 + colour++ % 6); },
        [&] { raw(gm.Marks.bytes() + "\r\n"); }, safe);

    // Finding: 5,000 shelves of 20 books, one name in ten with letters beyond ASCII; "saga"
    // is in one name in a hundred, "the" in that name and others.
    const QString findLibrary = root + QStringLiteral("/find");
    for (int s = 0; s < manyShelves; ++s) {
        const QByteArray shelf
            = QFile::encodeName(findLibrary + QStringLiteral("/Shelf %1").arg(s));
        QDir().mkpath(QFile::decodeName(shelf));
        for (int b = 0; b < 20; ++b) {
            const int i = s * 20 + b;
            const QByteArray name = i % 100 == 7
                ? "The Saga of Book " + QByteArray::number(i) + ".epub"
                : i % 10 == 3 ? "Émile Brontë, Œuvres " + QByteArray::number(i) + ".pdf"
                              : "Title " + QByteArray::number(i) + " by the Author.epub";
            const int fd = ::open((shelf + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }
    GlobalState gfind;
    gfind.prompter = &prompter;
    gfind.BookFolder = findLibrary;
    auto waitFor = [](const Finder &f) {
        while (f.reading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    const QByteArray findPath = QFile::encodeName(findLibrary);
    int walkFound = 0;
    compare(
        QStringLiteral("P10"),
        QStringLiteral("first walk, %1 shelves, %2 books, to one word's result")
            .arg(manyShelves)
            .arg(manyShelves * 20),
        1.5, reps,
        [&] {
            Finder finder(gfind);
            FindResults found(finder);
            found.setQuery(QStringLiteral("saga"));
            finder.read();
            waitFor(finder);
            walkFound = found.rowCount();
        },
        [&] {
            std::string names;
            std::vector<quint32> ends;
            rawWalk(findPath, names, ends);
        },
        QStringLiteral("getdents64 on every shelf, every name kept"));

    // One keystroke once the library is read, against a plain scan of the same folded names.
    std::string rawNames;
    std::vector<quint32> rawEnds;
    const size_t heapBefore = heapBytes();
    rawWalk(findPath, rawNames, rawEnds);
    const size_t namesHeld = heapBytes() - heapBefore;
    std::vector<std::string> folded;
    for (size_t i = 0, from = 0; i < rawEnds.size(); from = rawEnds[i++])
        appendFolded(folded.emplace_back(),
                     std::string_view(rawNames).substr(from, rawEnds[i] - from));
    const size_t heapBeforeFinder = heapBytes();
    auto finder = std::make_unique<Finder>(gfind);
    auto found = std::make_unique<FindResults>(*finder);
    finder->read();
    waitFor(*finder);
    int keystrokes = 0, scanned = 0;
    compare(
        QStringLiteral("P11"),
        QStringLiteral("one keystroke, a two-word query on %1 names").arg(manyShelves * 20), 2.0,
        reps * 5,
        [&] {
            found->setQuery(keystrokes++ % 2 ? QStringLiteral("saga the")
                                             : QStringLiteral("the saga"));
        },
        [&] {
            scanned = 0;
            for (const std::string &name : folded)
                scanned += name.find("saga") != name.npos && name.find("the") != name.npos;
        },
        QStringLiteral("a substring scan of the same folded names for both words"));
    const size_t searchHeld = heapBytes() - heapBeforeFinder;
    results.push_back({QStringLiteral("M2"),
                       QStringLiteral("memory of the search over the walk's names (MiB)"),
                       double(searchHeld) / (1 << 20), double(namesHeld) / (1 << 20), 30.0,
                       QStringLiteral("the names kept by P10's raw walk"), true});
    if (walkFound != found->rowCount() || scanned != found->rowCount())
        std::printf("  P10/P11 found %d and %d books, the scan %d\n", walkFound, found->rowCount(),
                    scanned);

    // The window keeps answering: the longest gap of a 10 ms timer while the Find Book window
    // shows the first walk with one letter typed, and while it answers another letter.
    double longestGap = 0;
    {
        auto lastTick = Clock::now();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longestGap = std::max(
                longestGap, std::chrono::duration<double, std::milli>(now - lastTick).count());
            lastTick = now;
        });
        Finder fresh(gfind);
        frmFind window(fresh);
        window.showFind();
        window.txtFind->setText(QStringLiteral("e"));
        lastTick = Clock::now();
        ticker.start(10);
        fresh.read();
        waitFor(fresh);
        auto settle = [] {
            const auto until = Clock::now() + std::chrono::milliseconds(100);
            while (Clock::now() < until)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        };
        settle();
        QTimer::singleShot(15, &window, [&] { window.txtFind->setText(QStringLiteral("a")); });
        settle();
    }
    results.push_back({QStringLiteral("P16"),
                       QStringLiteral("longest gap of a 10 ms timer: first walk, one-letter query"),
                       longestGap, 100.0, 1.0, QStringLiteral("100 ms"), false});

    // A big book copied to another folder of the same file system, as a drop does: the copy
    // routine on its thread, the window's loop running meanwhile; against cp and an fsync.
    const qint64 bigBook = quick ? qint64(128) << 20 : qint64(1) << 30;
    const QString copyFrom = root + QStringLiteral("/big/Atlas.pdf"),
                  copyTo = root + QStringLiteral("/copies/Atlas.pdf");
    QDir().mkpath(root + QStringLiteral("/big"));
    QDir().mkpath(root + QStringLiteral("/copies"));
    {
        QFile f(copyFrom);
        f.open(QIODevice::WriteOnly);
        QByteArray block(8 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 7919 >> 5);
        for (qint64 left = bigBook; left > 0; left -= block.size())
            f.write(block.constData(), qMin<qint64>(left, block.size()));
    }
    WidgetPrompter windows;
    double copyGap = 0;
    auto programCopy = [&] {
        QFile::remove(copyTo);
        auto last = Clock::now();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            copyGap
                = std::max(copyGap, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        ticker.start(10);
        windows.runJob(bigBook, [&](JobProgress &job) {
            struct Report : CopyProgress
            {
                JobProgress &job;
                explicit Report(JobProgress &j)
                    : job(j)
                { }
                bool advance(qint64 done) override
                {
                    return job.report(QStringLiteral("Atlas.pdf"), done);
                }
            } report(job);
            FileSys().CopyFile(copyFrom, copyTo, false, &report);
        });
    };
    auto rawCopy = [&] {
        QFile::remove(copyTo);
        QProcess::execute(QStringLiteral("cp"), {copyFrom, copyTo});
        const int fd = ::open(QFile::encodeName(copyTo).constData(), O_RDONLY);
        ::fsync(fd);
        ::close(fd);
    };
    compare(QStringLiteral("P12"),
            QStringLiteral("copying a %1 MiB book, flushed, off the window's thread")
                .arg(bigBook >> 20),
            1.2, quick ? 3 : 7, programCopy, rawCopy,
            QStringLiteral("cp of the same file, then fsync of the copy"));
    QFile::remove(copyTo);
    results.push_back({QStringLiteral("P13"),
                       QStringLiteral("longest gap of a 10 ms timer while P12 copies"), copyGap,
                       100.0, 1.0, QStringLiteral("100 ms"), false});

    // Covers: a page of 20 books of mixed formats (EPUB, CBZ, FB2, PDF) made from scratch by
    // the helper, and shown again from the disk cache by a window that has none in memory.
    const QString coverShelf = root + QStringLiteral("/covered/Shelf");
    makeCoveredBooks(coverShelf);
    GlobalState gc;
    gc.prompter = &prompter;
    gc.BookFolder = root + QStringLiteral("/covered");
    gc.ShelfFolders = gc.FileSys.GetFolder(gc.BookFolder);
    const QString helper
        = QCoreApplication::applicationDirPath() + QStringLiteral("/quillrack-thumbnailer");
    // A page of 20 books getting its covers made; the longest gap of a 10 ms timer meanwhile.
    auto showCovers = [&](double *gap) {
        Bookcase model(gc);
        frmShelf window(model);
        window.Form_Load();
        window.show();
        QCoreApplication::processEvents();
        auto *covers = new CoverQueue(&window);
        covers->helper = helper;
        int ready = 0;
        QObject::connect(covers, &CoverQueue::ready, [&] { ++ready; });
        auto last = Clock::now();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            *gap = std::max(*gap, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        ticker.start(10);
        window.setCovers(covers);
        while (ready < 20)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents(); // the slots that changed painted
    };
    std::vector<double> gaps;
    for (int i = 0; i < 5; ++i) {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(root + QStringLiteral("/cache-%1").arg(i)));
        double gap = 0;
        showCovers(&gap);
        gaps.push_back(gap);
    }
    results.push_back({QStringLiteral("P14"),
                       QStringLiteral("longest gap of a 10 ms timer: a page of 20 covers made"),
                       median(gaps), 25.0, 1.0, QStringLiteral("25 ms"), false});

    // Paging a shelf of 420 books whose thumbnails lie in the disk cache: each page is new to
    // the window's memory; the time from the page's request to its last cover painted, against
    // reading the same 20 thumbnails in a plain loop.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root + QStringLiteral("/cache-0")));
    const QString pagedShelf = root + QStringLiteral("/paged/Shelf");
    makeBooks(pagedShelf, 420);
    QStringList pagedThumbnails;
    {
        QImage cover(600, 900, QImage::Format_RGB32);
        QDir shelf(pagedShelf);
        QStringList names = shelf.entryList(QDir::Files);
        std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            return a.section(u' ', 1).section(u'.', 0, 0).toInt()
                < b.section(u' ', 1).section(u'.', 0, 0).toInt();
        });
        for (int i = 0; i < names.size(); ++i) {
            cover.fill(QColor::fromHsv(i * 3 % 360, 180, 200));
            const QByteArray path = QFile::encodeName(shelf.filePath(names[i]));
            const QByteArray uri = Thumbnails::uriOf(path);
            pagedThumbnails << Thumbnails::pathFor(uri, false);
            Thumbnails::store(
                pagedThumbnails.last(),
                cover.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation), uri,
                QFileInfo(shelf.filePath(names[i])).lastModified().toSecsSinceEpoch(), 0);
        }
    }
    std::vector<double> fromCache, plainReads;
    {
        GlobalState gp;
        gp.prompter = &prompter;
        gp.BookFolder = root + QStringLiteral("/paged");
        gp.ShelfFolders = gp.FileSys.GetFolder(gp.BookFolder);
        Bookcase model(gp);
        frmShelf window(model);
        window.Form_Load();
        window.show();
        auto *covers = new CoverQueue(&window);
        int ready = 0;
        QObject::connect(covers, &CoverQueue::ready, [&] { ++ready; });
        window.setCovers(covers); // the first page: the queue's threads start
        while (ready < 20)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        for (int page = 1; page < 21; ++page) {
            ready = 0;
            plainReads.push_back(millis([&] {
                for (int i = 20 * page; i < 20 * page + 20; ++i)
                    (void)QImageReader(pagedThumbnails[i]).read();
            }));
            fromCache.push_back(millis([&] {
                model.scrollBooks(1 + 4 * page);
                while (ready < 20)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                QCoreApplication::processEvents(); // the slots that changed painted
            }));
        }
    }
    results.push_back({QStringLiteral("P15"),
                       QStringLiteral("a new page of 20 covers from the disk cache, to painted"),
                       median(fromCache), median(plainReads), 1.5,
                       QStringLiteral("QImageReader reading the same 20 thumbnails in a loop"),
                       false});

    // Memory: paging a shelf of 3,000 books from end to end, their covers in the disk cache,
    // against the same paging without covers.
    const QString longShelf = root + QStringLiteral("/long/Shelf");
    makeBooks(longShelf, 3000);
    {
        QImage cover(85, 128, QImage::Format_RGB32);
        cover.fill(Qt::darkGreen);
        QDir shelf(longShelf);
        for (const QString &name : shelf.entryList(QDir::Files)) {
            const QByteArray path = QFile::encodeName(shelf.filePath(name));
            const QByteArray uri = Thumbnails::uriOf(path);
            Thumbnails::store(Thumbnails::pathFor(uri, false), cover, uri,
                              QFileInfo(shelf.filePath(name)).lastModified().toSecsSinceEpoch(), 0);
        }
    }
    GlobalState gl;
    gl.prompter = &prompter;
    gl.BookFolder = root + QStringLiteral("/long");
    gl.ShelfFolders = gl.FileSys.GetFolder(gl.BookFolder);
    auto pageThrough = [&](bool withCovers) {
        const size_t before = heapBytes();
        size_t most = 0;
        Bookcase model(gl);
        frmShelf window(model);
        window.Form_Load();
        window.show();
        if (withCovers)
            window.setCovers(new CoverQueue(&window));
        for (int position = 1; position <= model.pager(Grid::Books).maximum(); ++position) {
            model.scrollBooks(position);
            const auto until = Clock::now() + std::chrono::milliseconds(withCovers ? 15 : 0);
            do
                QCoreApplication::processEvents();
            while (Clock::now() < until);
            most = std::max(most, heapBytes() - before);
        }
        return double(most) / (1 << 20);
    };
    const double plainPaging = pageThrough(false), coverPaging = pageThrough(true);
    results.push_back(
        {QStringLiteral("M3"), QStringLiteral("heap while paging 3000 books with covers (MiB)"),
         coverPaging, plainPaging, 30.0, QStringLiteral("the same paging without covers"), true});

    results.push_back({QStringLiteral("M1"), QStringLiteral("peak memory of P7 (MiB)"),
                       median(peaks), median(basePeaks), 40.0, QStringLiteral("P7's baseline"),
                       true});

    // Costs inside the start-up figures that no program can avoid, against the same bare
    // window: the kernel's read of the big folder and the system font list a fresh process
    // reads before it measures its first text.
    std::vector<double> kernel, fonts, bare;
    for (int i = 0; i < startReps; ++i) {
        kernel.push_back(millis([&] { kernelRead(bigPath); }));
        fonts.push_back(runChild(argv[0], QStringLiteral("fonts")).ms);
        bare.push_back(runChild(argv[0], QStringLiteral("bare")).ms);
    }

    std::printf("\n%-4s %-70s %12s %12s %8s\n", "id", "scenario", "program", "baseline", "ratio");
    for (const Row &r : results) {
        const double figure = r.memory ? r.program - r.baseline : r.program / r.baseline;
        std::printf("%-4s %-70s %9.3f %s %9.3f %s %8.2f\n", qPrintable(r.id),
                    qPrintable(r.scenario), r.program, r.memory ? "MiB" : "ms ", r.baseline,
                    r.memory ? "MiB" : "ms ", figure);
    }
    std::printf("\nBaselines:\n");
    for (const Row &r : results)
        std::printf("  %-4s %s\n", qPrintable(r.id), qPrintable(r.against));
    const double bareMs = median(bare);
    std::printf("\nUnavoidable parts of start-up, against P6's window (%.3f ms):\n", bareMs);
    const QString kernelLabel
        = QStringLiteral("kernel read of the %1-book folder (getdents64 only)").arg(bigBooks);
    std::printf("  %-56s %9.3f ms %6.2f x\n", qPrintable(kernelLabel), median(kernel),
                median(kernel) / bareMs);
    std::printf("  %-56s %9.3f ms %6.2f x\n", "system font list read by a fresh process",
                median(fonts), median(fonts) / bareMs);
    std::printf("\n");
    int failed = 0;
    for (const Row &r : results) {
        const double figure = r.memory ? r.program - r.baseline : r.program / r.baseline;
        const bool ok = figure <= r.limit;
        failed += !ok;
        std::printf("target %s ratio=%.2f limit=%.2f %s\n", qPrintable(r.id), figure, r.limit,
                    ok ? "ok" : "FAIL");
    }
    return 0;
}
