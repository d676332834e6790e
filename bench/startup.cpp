#include "bench.h"

#include <QThread>
#include <csignal>

namespace {

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
void compareStartUp(Bench &bench, const QString &id, const QString &scenario, double limit,
                    int reps, const char *self, const QString &appFolder, const QString &baseline,
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
    bench.results.push_back({id, scenario, median(a), median(b), limit, against});
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

void startupGroup(Bench &b)
{
    const int startReps = b.startReps;
    const int bigBooks = b.bigBooks;
    const int manyShelves = b.manyShelves;
    const int manyMarks = b.manyMarks;
    const QString root = b.root, typical = b.typical(), large = b.large();
    const QByteArray bigPath = b.bigShelf();
    const QString typicalApp
        = appFolderFor(root, QStringLiteral("app-typical"), typical, marksLine(1000));
    const QString window = QStringLiteral("a window like the program's, of plain widgets, "
                                          "with placeholder texts, no file read");
    compareStartUp(b, QStringLiteral("P6"),
                   QStringLiteral("start-up to painted view, %1 shelves, 1000 books, 1000 marks")
                       .arg(manyShelves),
                   1.3, startReps, b.self, typicalApp, QStringLiteral("bare"), window);

    const QString largeApp
        = appFolderFor(root, QStringLiteral("app-large"), large, marksLine(manyMarks));
    std::vector<double> peaks, basePeaks;
    compareStartUp(
        b, QStringLiteral("P7"),
        QStringLiteral("start-up to painted view, %1 books, %2 marks").arg(bigBooks).arg(manyMarks),
        1.5, startReps, b.self, largeApp, QStringLiteral("bare+") + QFile::decodeName(bigPath),
        QStringLiteral("P6's window, after the kernel's read of the %1-book folder (getdents64)")
            .arg(bigBooks),
        &peaks, &basePeaks);

    b.results.push_back({QStringLiteral("M1"), QStringLiteral("peak memory of P7 (MiB)"),
                         median(peaks), median(basePeaks), 40.0, QStringLiteral("P7's baseline"),
                         true});

    // P18: the Main Book Folder on a share that does not answer (our FUSE file system, stopped).
    const QString mount = root + QStringLiteral("/share");
    QDir().mkpath(mount);
    QProcess share;
    share.start(QCoreApplication::applicationDirPath() + QStringLiteral("/quillrack_slowfs"),
                {typical, mount, QStringLiteral("0"), QStringLiteral("-f")});
    auto mounted = [&] {
        QFile table(QStringLiteral("/proc/self/mountinfo"));
        return table.open(QIODevice::ReadOnly)
            && table.readAll().contains(QFile::encodeName(mount) + ' ');
    };
    for (int i = 0; i < 300 && !mounted(); ++i)
        QThread::msleep(10);
    if (mounted()) {
        ::kill(pid_t(share.processId()), SIGUSR1);
        compareStartUp(b, QStringLiteral("P18"),
                       QStringLiteral("start-up to painted view, Main Book Folder not answering"),
                       1.5, startReps, b.self,
                       appFolderFor(root, QStringLiteral("app-share"), mount, QByteArray()),
                       QStringLiteral("bare"), window);
        ::kill(pid_t(share.processId()), SIGUSR2);
        QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), mount});
        share.waitForFinished(3000);
    } else {
        std::printf("  P18 skipped: no FUSE file system can be mounted here\n");
        b.notes << QStringLiteral("P18 skipped: no FUSE file system can be mounted here.");
    }

    // Costs inside the start-up figures that no program can avoid, against the same bare
    // window: the kernel's read of the big folder and the system font list a fresh process
    // reads before it measures its first text.
    std::vector<double> kernel, fonts, bare;
    for (int i = 0; i < startReps; ++i) {
        kernel.push_back(millis([&] { kernelRead(bigPath); }));
        fonts.push_back(runChild(b.self, QStringLiteral("fonts")).ms);
        bare.push_back(runChild(b.self, QStringLiteral("bare")).ms);
    }
    const double bareMs = median(bare);
    b.notes << QStringLiteral("Unavoidable parts of start-up, against P6's window (%1 ms):")
                   .arg(bareMs, 0, 'f', 3);
    const std::pair<QString, double> costs[]
        = {{QStringLiteral("kernel read of the %1-book folder (getdents64 only)").arg(bigBooks),
            median(kernel)},
           {QStringLiteral("system font list read by a fresh process"), median(fonts)}};
    for (const auto &[what, ms] : costs)
        b.notes << QStringLiteral("  %1 %2 ms %3 x")
                       .arg(what, -56)
                       .arg(ms, 9, 'f', 3)
                       .arg(ms / bareMs, 6, 'f', 2);
}

int startupChild(const QString &what)
{
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
