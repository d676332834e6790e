#include "bench.h"
#include "bookdetails.h"
#include "coverparse.h"

namespace {

// The package document of an EPUB: its title, two authors, a series and the rest.
QByteArray packageOf(int i)
{
    return "<?xml version='1.0'?><package xmlns='http://www.idpf.org/2007/opf' version='2.0'>"
           "<metadata xmlns:dc='http://purl.org/dc/elements/1.1/' "
           "xmlns:opf='http://www.idpf.org/2007/opf'><dc:title>A Book Numbered "
        + QByteArray::number(i)
        + "</dc:title><dc:creator opf:role='aut' opf:file-as='Writer, Ann'>Ann Writer"
          "</dc:creator><dc:creator opf:role='aut'>Bo Other</dc:creator><dc:language>en"
          "</dc:language><dc:publisher>A House</dc:publisher><dc:date>2001-02-03</dc:date>"
          "<meta name='calibre:series' content='The Numbers'/><meta name='calibre:series_index' "
          "content='"
        + QByteArray::number(i % 12)
        + "'/></metadata><manifest><item id='t' href='t.xhtml' "
          "media-type='application/xhtml+xml'/></manifest><spine><itemref idref='t'/></spine>"
          "</package>";
}

// What a plain program would do for one EPUB's details: unzip its container and the package
// document the container names with libarchive, in this process, in one pass, and parse them.
BookDetails readInProcess(const QByteArray &path)
{
    archive *a = archive_read_new();
    archive_read_support_format_zip(a);
    QString packagePath;
    QByteArray package;
    if (archive_read_open_filename(a, path.constData(), 1 << 16) == ARCHIVE_OK) {
        archive_entry *e;
        while (package.isEmpty() && archive_read_next_header(a, &e) == ARCHIVE_OK) {
            const QString name = QString::fromUtf8(archive_entry_pathname(e));
            if (name != QLatin1String("META-INF/container.xml") && name != packagePath)
                continue;
            QByteArray data(qsizetype(archive_entry_size(e)), Qt::Uninitialized);
            archive_read_data(a, data.data(), size_t(data.size()));
            if (packagePath.isEmpty())
                packagePath = epubPackagePath(data);
            else
                package = data;
        }
    }
    archive_read_free(a);
    return epubDetails(package);
}

} // namespace

void detailsGroup(Bench &b)
{
    // P20: the details of 1,000 EPUBs no cache knows, read by the helper in batches to the last
    // row committed, against a plain in-process unzip and parse of each, one after another.
    const QString shelf = b.root + QStringLiteral("/details/Shelf");
    QDir().mkpath(shelf);
    std::vector<DetailsReader::Book> books;
    const int count = b.quick ? 200 : 1000;
    for (int i = 0; i < count; ++i) {
        const QString path = shelf + QStringLiteral("/Book %1.epub").arg(i);
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(zipOf({{"mimetype", "application/epub+zip"},
                         {"META-INF/container.xml",
                          "<container><rootfiles><rootfile full-path='OEBPS/content.opf'/>"
                          "</rootfiles></container>"},
                         {"OEBPS/content.opf", packageOf(i)},
                         {"OEBPS/t.xhtml", QByteArray(4000, 'x')}}));
        out.close();
        books.push_back({QFile::encodeName(path), DetailsCache::stampOf(QFile::encodeName(path))});
    }
    int run = 0, inProcess = 0, answered = 0;
    b.compare(
        QStringLiteral("P20"),
        QStringLiteral("details of %1 EPUBs through the helper, to the last row committed")
            .arg(count),
        2.0, b.quick ? 1 : 5,
        [&] {
            // A cache of its own each time: none of the books is known.
            qputenv("XDG_CACHE_HOME",
                    QFile::encodeName(b.root + QStringLiteral("/cache-p20-%1").arg(run++)));
            DetailsReader reader;
            int finished = 0;
            QObject::connect(&reader, &DetailsReader::answered, [&] { ++answered; });
            QObject::connect(&reader, &DetailsReader::finished, [&] { ++finished; });
            reader.mostAtOnce = qEnvironmentVariableIntValue("ATONCE")
                ? qEnvironmentVariableIntValue("ATONCE")
                : 2;
            reader.booksPerRun = 1000;
            QElapsedTimer tt;
            tt.start();
            qint64 lastAnswer = 0;
            int n = 0;
            QObject::connect(&reader, &DetailsReader::answered, [&] {
                lastAnswer = tt.elapsed();
                if (++n == 1)
                    std::printf("first %lld\n", tt.elapsed());
            });
            reader.read(books);
            while (!finished)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            std::printf("last answer %lld finished %lld\n", lastAnswer, tt.elapsed());
        },
        [&] {
            inProcess = 0;
            for (const DetailsReader::Book &book : books)
                inProcess += !readInProcess(book.path).authors.isEmpty();
        },
        QStringLiteral("libarchive and the parsers in this process, one book after another"));
    if (inProcess != count || answered % count)
        std::printf("  P20 read %d books in process, the helper answered %d\n", inProcess,
                    answered);

    // P21: a page of 20 books whose covers and details are cached, to the last cover painted
    // and every detail known, against the same page without the details.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(b.root + QStringLiteral("/cache-p21")));
    const QString paged = b.root + QStringLiteral("/details-paged/Shelf");
    const int reps = b.reps * 2;
    makeBooks(paged, 20 * (2 * reps + 8)); // each page new to the window's memory
    {
        QImage cover(85, 128, QImage::Format_RGB32);
        cover.fill(Qt::darkBlue);
        std::vector<DetailsCache::Row> rows;
        QDir dir(paged);
        for (const QString &name : dir.entryList(QDir::Files)) {
            const QByteArray path = QFile::encodeName(dir.filePath(name));
            const QByteArray uri = fileUri(path);
            const DetailsCache::Stamp stamp = DetailsCache::stampOf(path);
            Thumbnails::store(Thumbnails::pathFor(uri, false), cover, uri, stamp.seconds(), 0);
            rows.push_back({uri, stamp, readInProcess(books[0].path)});
        }
        DetailsCache(DetailsCache::defaultFile()).store(rows);
    }
    GlobalState g;
    g.prompter = &b.prompter;
    g.BookFolder = b.root + QStringLiteral("/details-paged");
    g.ShelfFolders = g.FileSys.GetFolder(g.BookFolder);
    Bookcase model(g);
    frmShelf window(model);
    window.Form_Load();
    window.show();
    auto *covers = new CoverQueue(&window);
    int ready = 0, known = 0;
    QObject::connect(covers, &CoverQueue::ready, [&] { ++ready; });
    QObject::connect(covers, &CoverQueue::detailsReady, [&] { ++known; });
    window.setCovers(covers); // the first page: the queue's threads start
    while (ready < 20 || known < 20)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    int page = 0;
    auto showPage = [&](bool details) {
        covers->withDetails = details;
        ready = known = 0;
        model.scrollBooks(1 + 4 * ++page);
        while (ready < 20 || (details && known < 20))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents(); // the slots that changed painted
    };
    b.compare(
        QStringLiteral("P21"), QStringLiteral("a new page of 20 covers and their details, cached"),
        1.2, reps, [&] { showPage(true); }, [&] { showPage(false); },
        QStringLiteral("the same paging without the details cache"));
}
