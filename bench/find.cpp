#include "bench.h"

namespace {

// Finding by what books say of themselves: every book of the find library with an author, a
// title and a series in the details cache; "saga" is in one series in a hundred.
void findByDetails(Bench &b, GlobalState &g, double searchMiB)
{
    qputenv("XDG_CACHE_HOME", QFile::encodeName(b.root + QStringLiteral("/cache-details")));
    std::vector<DetailsCache::Row> rows;
    std::vector<std::string> folded; // each book's name and details, as the baseline scans them
    const QByteArray root = QFile::encodeName(g.BookFolder);
    {
        Finder names(g);
        names.withDetails = false;
        names.read();
        while (names.reading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const BookIndex &index = names.index();
        for (int i = 0; i < index.bookCount(); ++i) {
            const QByteArray path
                = root + '/' + index.shelfName(index.shelfOf(i)) + '/' + index.fileName(i);
            BookDetails d;
            d.title = QStringLiteral("The Book Called %1").arg(i);
            d.authors = QStringList {QStringLiteral("Writer %1 Ørsted").arg(i % 997)};
            d.authorSorts = QStringList {QString()};
            d.series = i % 100 == 42 ? QStringLiteral("Saga %1").arg(i % 7)
                                     : QStringLiteral("Cycle %1").arg(i % 50);
            rows.push_back({fileUri(path), DetailsCache::stampOf(path), d});
            const QByteArray text = index.fileName(i) + ' '
                + (d.authors.join(u' ') + u' ' + d.title + u' ' + d.series).toUtf8();
            appendFolded(folded.emplace_back(), std::string_view(text.constData(), text.size()));
        }
    }
    DetailsCache(DetailsCache::defaultFile()).store(rows);
    const size_t before = heapBytes();
    auto finder = std::make_unique<Finder>(g);
    auto found = std::make_unique<FindResults>(*finder);
    finder->read();
    while (finder->reading() || finder->readingDetails())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const size_t held = heapBytes() - before;
    int keystrokes = 0, scanned = 0;
    b.compare(
        QStringLiteral("P22"),
        QStringLiteral("one keystroke over %1 books' names, authors, titles and series")
            .arg(rows.size()),
        2.0, b.reps * 5,
        [&] {
            found->setQuery(keystrokes++ % 2 ? QStringLiteral("saga the")
                                             : QStringLiteral("the saga"));
        },
        [&] {
            scanned = 0;
            for (const std::string &text : folded)
                scanned += text.find("saga") != text.npos && text.find("the") != text.npos;
        },
        QStringLiteral("a substring scan of the same folded names, authors, titles and series"));
    b.results.push_back({QStringLiteral("M4"),
                         QStringLiteral("memory of the search with the books' details (MiB)"),
                         double(held) / (1 << 20), searchMiB, 30.0,
                         QStringLiteral("the search over names alone (M2)"), true});
    if (scanned != found->rowCount())
        std::printf("  P22 found %d books, the scan %d\n", found->rowCount(), scanned);
}

} // namespace

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
            finder.withDetails = false; // names alone; P22 finds by details too
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
    finder->withDetails = false;
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
    found.reset();
    finder.reset();
    findByDetails(b, gfind, double(searchHeld) / (1 << 20));

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
        fresh.withDetails = false;
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
