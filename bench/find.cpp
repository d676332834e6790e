#include "bench.h"

void findGroup(Bench &b)
{
    const int reps = b.reps;
    const int manyShelves = b.manyShelves;
    const QString root = b.root;
    // Finding: 5,000 shelves of 20 books, one name in ten with letters beyond ASCII; "saga"
    // is in one name in a hundred, "the" in that name and others.
    const QString findLibrary = root + QStringLiteral("/find");
    for (int s = 0; s < manyShelves; ++s) {
        const QByteArray shelf
            = QFile::encodeName(findLibrary + QStringLiteral("/Shelf %1").arg(s));
        QDir().mkpath(QFile::decodeName(shelf));
        for (int k = 0; k < 20; ++k) {
            const int i = s * 20 + k;
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
    gfind.prompter = &b.prompter;
    gfind.BookFolder = findLibrary;
    auto waitFor = [](const Finder &f) {
        while (f.reading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    const QByteArray findPath = QFile::encodeName(findLibrary);
    int walkFound = 0;
    b.compare(
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
    b.compare(
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
    b.results.push_back({QStringLiteral("M2"),
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
    b.results.push_back(
        {QStringLiteral("P16"),
         QStringLiteral("longest gap of a 10 ms timer: first walk, one-letter query"), longestGap,
         100.0, 1.0, QStringLiteral("100 ms"), false});
}
