#include "bench.h"

namespace {

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

} // namespace

void coversGroup(Bench &b)
{
    const QString root = b.root;
    // Covers: a page of 20 books of mixed formats (EPUB, CBZ, FB2, PDF) made from scratch by
    // the helper, and shown again from the disk cache by a window that has none in memory.
    const QString coverShelf = root + QStringLiteral("/covered/Shelf");
    makeCoveredBooks(coverShelf);
    GlobalState gc;
    gc.prompter = &b.prompter;
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
    b.results.push_back({QStringLiteral("P14"),
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
            const QByteArray uri = fileUri(path);
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
        gp.prompter = &b.prompter;
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
    b.results.push_back({QStringLiteral("P15"),
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
            const QByteArray uri = fileUri(path);
            Thumbnails::store(Thumbnails::pathFor(uri, false), cover, uri,
                              QFileInfo(shelf.filePath(name)).lastModified().toSecsSinceEpoch(), 0);
        }
    }
    GlobalState gl;
    gl.prompter = &b.prompter;
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
    b.results.push_back(
        {QStringLiteral("M3"), QStringLiteral("heap while paging 3000 books with covers (MiB)"),
         coverPaging, plainPaging, 30.0, QStringLiteral("the same paging without covers"), true});
}
