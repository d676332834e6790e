// Covers: each format's cover read from a small book the test makes itself, damaged books,
// the helper's time limit, and the shared thumbnail cache (names, keys, freshness, failures).
// CBR is read by the same libarchive walk as CBZ and CB7; no RAR can be written here.
#include "coverqueue.h"
#include "detailsreader.h"
#include "readers.h"
#include "support.h"
#include "thumbcache.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtEndian>
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <thread>

using Members = std::vector<std::pair<QByteArray, QByteArray>>;
using Strings = QStringList;

namespace {

const QColor Red(200, 30, 30), Blue(30, 30, 200);

QByteArray png(const QColor &colour, const QSize &size = QSize(60, 90))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    image.save(&out, "png");
    return out.data();
}

QByteArray archiveOf(const Members &members, bool sevenZip = false)
{
    std::vector<char> buffer(1 << 20);
    size_t used = 0;
    archive *a = archive_write_new();
    sevenZip ? archive_write_set_format_7zip(a) : archive_write_set_format_zip(a);
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

QByteArray epubOf(const QByteArray &manifest, const Members &more)
{
    Members members {{"mimetype", "application/epub+zip"},
                     {"META-INF/container.xml",
                      "<container><rootfiles><rootfile full-path=\"OEBPS/content.opf\"/>"
                      "</rootfiles></container>"},
                     {"OEBPS/content.opf", "<package><metadata>" + manifest + "</package>"}};
    members.insert(members.end(), more.begin(), more.end());
    return archiveOf(members);
}

QByteArray be(quint32 value, int bytes = 4)
{
    QByteArray out(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        out[i] = char(value & 0xff);
    return out;
}

// A MOBI book: the PalmDOC and MOBI headers with an EXTH cover record (offset 0 from the
// first image), one text record and the image record.
QByteArray mobiOf(const QByteArray &image)
{
    const QByteArray exth = "EXTH" + be(24) + be(1) + be(201) + be(12) + be(0);
    QByteArray mobi = "MOBI" + be(232) + be(2) + be(65001) + be(1) + be(6);
    mobi += QByteArray(40, '\xff') + be(2) + be(16 + 232 + 24) + be(4) + be(9) + be(0) + be(0)
        + be(6) + be(2) + QByteArray(16, '\0') + be(0x40);
    mobi += QByteArray(232 - mobi.size(), '\0');
    const QByteArray record0 = be(1, 2) + be(0, 2) + be(4) + be(1, 2) + be(4096, 2) + be(0, 2)
        + be(0, 2) + mobi + exth + "Book" + QByteArray(4, '\0');
    const QList<QByteArray> records {record0, "text", image};
    QByteArray pdb = QByteArray("Book").leftJustified(32, '\0') + QByteArray(28, '\0') + "BOOKMOBI"
        + be(0) + be(0) + be(quint32(records.size()), 2);
    quint32 offset = quint32(pdb.size() + 8 * records.size() + 2);
    for (int i = 0; i < records.size(); offset += quint32(records[i].size()), ++i)
        pdb += be(offset) + be(quint32(2 * i), 4);
    pdb += QByteArray(2, '\0');
    for (const QByteArray &r : records)
        pdb += r;
    return pdb;
}

QByteArray pdfOf(const QByteArray &fill)
{
    return "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
           "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
           "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 100 150] /Contents 4 0 R >> "
           "endobj\n4 0 obj << /Length 40 >> stream\n"
        + fill + " rg 0 0 100 150 re f\nendstream endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n";
}

QByteArray fb2Of(const QByteArray &image)
{
    return "<FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\"><description><title-info>"
           "<coverpage><image l:href=\"#c.png\"/></coverpage></title-info></description><body/>"
           "<binary id=\"c.png\" content-type=\"image/png\">"
        + image.toBase64() + "</binary></FictionBook>";
}

// The book of a format, made here, with a red cover (and a blue picture where a wrong choice
// could take it).
QByteArray bookOf(const QString &kind, const QString &path)
{
    const QByteArray red = png(Red), blue = png(Blue);
    if (kind == u"epub3")
        return epubOf("</metadata><manifest><item id=\"i\" href=\"images/my%20cover.png\" "
                      "properties=\"cover-image\"/><item id=\"b\" href=\"b.png\"/></manifest>",
                      {{"OEBPS/images/my cover.png", red}, {"OEBPS/b.png", blue}});
    if (kind == u"epub2")
        return epubOf("<meta name=\"cover\" content=\"c\"/></metadata><manifest><item id=\"c\" "
                      "href=\"../Images/c.png\" media-type=\"image/png\"/></manifest>",
                      {{"Images/c.png", red}});
    if (kind == u"epub-svg")
        return epubOf(
            "</metadata><manifest><item id=\"t\" href=\"text/title.xhtml\"/>"
            "</manifest><spine><itemref idref=\"t\"/></spine>",
            {{"OEBPS/text/title.xhtml",
              "<html><body><svg><image xlink:href=\"../img/c.png\"/></svg></body></html>"},
             {"OEBPS/img/c.png", red}});
    if (kind == u"cbz" || kind == u"cb7")
        return archiveOf({{"page10.png", blue}, {"page2.png", red}}, kind == u"cb7");
    if (kind == u"pdf")
        return pdfOf("0.8 0.1 0.1");
    if (kind == u"fb2")
        return fb2Of(red);
    if (kind == u"mobi")
        return mobiOf(red);
    QImage page(60, 90, QImage::Format_RGB888); // djvu: a page made by c44
    page.fill(Red);
    page.save(path + ".ppm");
    QProcess::execute(QStringLiteral("c44"), {path + ".ppm", path});
    return {};
}

} // namespace

// A picture of one colour as libpng writes a PNG of a colour type and bit depth (with a
// transparency chunk, interlaced): a palette holds a second colour, so that it is not black and
// white. Grey pictures are of a level the depth can hold. The time is its Thumb::MTime.
struct PngKind
{
    int type, depth;
    bool trns = false, interlaced = false;
    QColor colour() const
    {
        const int max = (1 << depth) - 1, level = (max - max / 3) * 255 / max;
        const int alpha = (type & PNG_COLOR_MASK_ALPHA) || trns ? 128 : 255;
        return type & PNG_COLOR_MASK_COLOR ? QColor(200, 30, 30, alpha)
                                           : QColor(level, level, level, alpha);
    }
};
Q_DECLARE_METATYPE(PngKind)

namespace {

QByteArray pngOf(const PngKind &k, const QByteArray &mtime = "7", int width = 240)
{
    QByteArray out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    png_set_write_fn(
        p, &out,
        [](png_structp p, png_bytep d, size_t n) {
            static_cast<QByteArray *>(png_get_io_ptr(p))->append(reinterpret_cast<char *>(d), n);
        },
        nullptr);
    const int height = width * 3 / 2, max = (1 << k.depth) - 1;
    png_set_IHDR(p, info, png_uint_32(width), png_uint_32(height), k.depth, k.type,
                 k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const QColor c = k.colour();
    png_color palette[] = {{30, 30, 200}, {200, 30, 30}};
    png_byte alphas[] = {255, png_byte(c.alpha())};
    if (k.type == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(p, info, palette, 2);
        if (k.trns)
            png_set_tRNS(p, info, alphas, 2, nullptr);
    }
    png_text text {PNG_TEXT_COMPRESSION_NONE,
                   const_cast<char *>("Thumb::MTime"),
                   const_cast<char *>(mtime.constData()),
                   size_t(mtime.size()),
                   0,
                   nullptr,
                   nullptr};
    png_set_text(p, info, &text, 1);
    png_write_info(p, info);
    const int channels = png_get_channels(p, info);
    const int values[] = {k.type == PNG_COLOR_TYPE_PALETTE ? 1 : c.red() * max / 255,
                          c.green() * max / 255, c.blue() * max / 255, c.alpha() * max / 255};
    std::vector<png_byte> row(size_t(width * channels * 2), 0);
    for (int x = 0; x < width; ++x) {
        for (int ch = 0; ch < channels; ++ch) {
            const int v = values[k.type == PNG_COLOR_TYPE_GRAY_ALPHA && ch == 1 ? 3 : ch];
            const int bit = (x * channels + ch) * k.depth;
            if (k.depth < 8)
                row[size_t(bit / 8)] |= png_byte(v << (8 - k.depth - bit % 8));
            else if (k.depth == 8)
                row[size_t(bit / 8)] = png_byte(v);
            else
                row[size_t(bit / 8)] = png_byte(v >> 8), row[size_t(bit / 8 + 1)] = png_byte(v);
        }
    }
    for (int pass = png_set_interlace_handling(p); pass > 0; --pass) {
        for (int y = 0; y < height; ++y)
            png_write_row(p, row.data());
    }
    png_write_end(p, info);
    png_destroy_write_struct(&p, &info);
    return out;
}

// True when a grid of points of the picture all show the colour (dots of two colours do not).
bool showsColour(const QImage &image, const QColor &c)
{
    for (int i = 1; i < 4 && !image.isNull(); ++i) {
        for (int j = 1; j < 4; ++j) {
            const QColor p = image.pixelColor(image.width() * i / 4, image.height() * j / 4);
            if (qAbs(p.red() - c.red()) > 4 || qAbs(p.green() - c.green()) > 4
                || qAbs(p.blue() - c.blue()) > 4 || qAbs(p.alpha() - c.alpha()) > 4)
                return false;
        }
    }
    return !image.isNull();
}

bool reddish(const QImage &image)
{
    if (image.isNull())
        return false;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    return c.red() > 150 && c.green() < 80 && c.blue() < 80;
}

} // namespace

class TestCovers : public QObject
{
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void detailsFromTheHelper_data();
    void detailsFromTheHelper();
    void manyBooksInOneHelperRun();
    void pngKinds_data();
    void pngKinds();
    void damagedBooks_data();
    void damagedBooks();
    void thumbnailCache();
    void helpersAndTheirLimits();
    void detailsCache();
    void readingDetailsOfManyBooks();
};

void TestCovers::formats_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    row("EPUB 3, the cover image", "epub3", "a.epub");
    row("EPUB 2, the cover meta", "epub2", "a.epub");
    row("EPUB, the first page's SVG image", "epub-svg", "a.epub");
    row("CBZ, first in natural order", "cbz", "a.cbz");
    row("CB7", "cb7", "a.cb7");
    row("PDF, its first page", "pdf", "a.pdf");
    row("FB2", "fb2", "a.fb2");
    row("MOBI, the EXTH cover", "mobi", "a.mobi");
    row("DjVu, its first page", "djvu", "a.djvu");
}

void TestCovers::formats()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    TempTree t;
    const QByteArray book = bookOf(kind, t.path(file));
    if (!book.isEmpty())
        t.write(file, book);
    const QImage cover = readCover(QFile::encodeName(t.path(file)), 64);
    QVERIFY2(reddish(cover),
             qPrintable(QStringLiteral("%1x%2").arg(cover.width()).arg(cover.height())));
    QVERIFY(qMax(cover.width(), cover.height()) == 64 || cover.size() == QSize(60, 90));
}

void TestCovers::detailsFromTheHelper_data()
{
    // The helper's --details of books made here ("|" for a line's end).
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("book");
    QTest::addColumn<QString>("details");
    // clang-format off
    const auto pdfInfo = [](const QByteArray &info) { return pdfOf("1 0 0").replace("trailer << /Root 1 0 R", "5 0 obj << " + info + " >> endobj\ntrailer << /Root 1 0 R /Info 5 0 R"); };
    const QByteArray info = pdfInfo("/Title (Moby Dick) /Author (Herman Melville)");
    row("EPUB", "a.epub", epubOf("<dc:title xmlns:dc='d'>Emma</dc:title><dc:creator xmlns:dc='d'>Jane Austen</dc:creator></metadata>", {}), QString("title=Emma|author=Jane Austen|author-sort=-|"));
    row("CBZ with ComicInfo", "a.cbz", archiveOf({{"ComicInfo.xml", "<ComicInfo><Series>Hero</Series><Number>2</Number></ComicInfo>"}, {"p.png", png(Red)}}), QString("series=Hero|series-number=2|"));
    row("PDF Info", "a.pdf", info, QString("title=Moby Dick|author=Herman Melville|author-sort=-|"));
    row("PDF Info, UTF-16 Cyrillic", "a.pdf", pdfInfo("/Title <FEFF0412043E0439043D0430002004380020043C04380440> /Author <FEFF041B0435043200200422043E043B04410442043E0439>"), QString::fromUtf8("title=Война и мир|author=Лев Толстой|author-sort=-|"));
    row("PDF Info, PDFDocEncoding", "a.pdf", pdfInfo("/Title (Caf\\351 \\311t\\351) /Author (\\311mile Zola)"), QString::fromUtf8("title=Café Été|author=Émile Zola|author-sort=-|"));
    row("PDF Info, signs alone", "a.pdf", pdfInfo("/Title <FEFF2014> /Author (  )"), QString());
    row("FB2, zipped", "a.fb2.zip", archiveOf({{"a.fb2", "<FictionBook><description><title-info><book-title>Odes</book-title></title-info></description></FictionBook>"}}), QString("title=Odes|"));
    row("damaged EPUB", "a.epub", QByteArray("PK\x03\x04junk"), QString());
    row("MOBI, its name and locale", "a.mobi", mobiOf(png(Red)), QString("title=Book|language=en|"));
    row("DjVu metadata", "a.djvu", QByteArray(), QString("title=Dark Water|author=Ida Moss|author-sort=-|year=1998|"));
    // clang-format on
}

void TestCovers::detailsFromTheHelper()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, book);
    QFETCH(QString, details);
    TempTree t;
    t.write(file, book);
    if (book.isEmpty()) { // a DjVu page made by c44, its metadata set by djvused
        QImage page(60, 90, QImage::Format_RGB888);
        page.fill(Red);
        page.save(t.path("p.ppm"));
        t.write("meta.txt", "title \"Dark Water\"\nauthor \"Ida Moss\"\nyear \"1998\"\n");
        QProcess::execute("c44", {t.path("p.ppm"), t.path(file)});
        QProcess::execute("djvused", {t.path(file), "-e", "set-meta " + t.path("meta.txt"), "-s"});
    }
    QProcess helper;
    helper.start(QUILLRACK_THUMBNAILER, {"--details", t.path(file)});
    QVERIFY(helper.waitForFinished() && helper.exitCode() == 0);
    QCOMPARE(QString::fromUtf8(helper.readAllStandardOutput()).replace(u'\n', u'|'), details);
}

void TestCovers::manyBooksInOneHelperRun()
{
    // One request a line: the details alone, or the cover too; each answer ends with an empty
    // line, a book that is not there included.
    TempTree t;
    t.write("a.fb2",
            "<FictionBook><description><title-info><book-title>Odes</book-title>"
            "</title-info></description></FictionBook>");
    t.write("b.cbz", archiveOf({{"p.png", png(Red)}}));
    QProcess helper;
    helper.start(QUILLRACK_THUMBNAILER, {"--batch"});
    helper.write(QFile::encodeName(t.path("a.fb2") + "\n" + t.path("b.cbz") + "\t64\t"
                                   + t.path("b.png") + "\n" + t.path("gone.epub") + "\t64\t"
                                   + t.path("g.png") + "\n"));
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished() && helper.exitCode() == 0);
    QCOMPARE(helper.readAllStandardOutput(), QByteArray("title=Odes\n\ncover=0\n\ncover=2\n\n"));
    QVERIFY(reddish(QImage(t.path("b.png"))));
}

void TestCovers::pngKinds_data()
{
    TABLE(PngKind);
    for (const int depth : {1, 2, 4, 8}) {
        QTest::addRow("palette %d", depth) << PngKind {PNG_COLOR_TYPE_PALETTE, depth};
        QTest::addRow("palette %d, tRNS", depth) << PngKind {PNG_COLOR_TYPE_PALETTE, depth, true};
    }
    for (const int depth : {1, 2, 4, 8, 16})
        QTest::addRow("grey %d", depth) << PngKind {PNG_COLOR_TYPE_GRAY, depth};
    for (const int depth : {8, 16}) {
        QTest::addRow("grey, alpha %d", depth) << PngKind {PNG_COLOR_TYPE_GRAY_ALPHA, depth};
        QTest::addRow("RGB %d", depth) << PngKind {PNG_COLOR_TYPE_RGB, depth};
        QTest::addRow("RGBA %d", depth) << PngKind {PNG_COLOR_TYPE_RGBA, depth};
    }
    row("palette 1, interlaced", PngKind {PNG_COLOR_TYPE_PALETTE, 1, false, true});
    row("RGB 8, interlaced", PngKind {PNG_COLOR_TYPE_RGB, 8, false, true});
}

void TestCovers::pngKinds()
{
    // The picture's colour through the helper (a comic's page, made into an 8-bit RGB or RGBA
    // thumbnail as other programs expect) and through the reader of the thumbnail cache.
    FETCH(PngKind);
    TempTree t;
    const QByteArray picture = pngOf(r);
    t.write("a.cbz", archiveOf({{"p1.png", picture}}));
    QCOMPARE(
        QProcess::execute(QUILLRACK_THUMBNAILER, {"-s", "128", t.path("a.cbz"), t.path("out.png")}),
        0);
    const QByteArray made = t.read("out.png");
    QVERIFY(made.size() > 26 && made[24] == 8 && (made[25] == 2 || made[25] == 6));
    QVERIFY(showsColour(QImage::fromData(made), r.colour()));
    QVERIFY(showsColour(Thumbnails::readFresh(t.write("thumb.png", picture), 7), r.colour()));
}

void TestCovers::damagedBooks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content"); // "fifo": a named pipe
    const QByteArray epub = bookOf("epub3", QString());
    row("truncated EPUB", "a.epub", epub.left(epub.size() / 2));
    row("EPUB without its cover", "a.epub",
        epubOf("</metadata><manifest><item href=\"c.png\" properties=\"cover-image\"/></manifest>",
               {}));
    row("truncated CBZ", "a.cbz", bookOf("cbz", QString()).left(100));
    row("corrupt PDF", "a.pdf", QByteArray("%PDF-1.4\n1 0 obj << /Type /Catalog"));
    row("FB2 with a broken picture", "a.fb2", fb2Of("not a picture"));
    const auto le = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    const QByteArray hugeBmp = "BM" + le(70) + le(0) + le(54) + le(40) + le(200000) + le(200000)
        + QByteArray("\x01\x00\x20\x00", 4) + QByteArray(24, '\0') + QByteArray(16, '\x7f');
    row("a picture too large to decode", "a.fb2", fb2Of(hugeBmp));
    row("MOBI without records", "a.mobi", mobiOf(QByteArray()).left(90));
    row("a pipe named like a book", "x.epub", QByteArray("fifo"));
}

void TestCovers::damagedBooks()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    TempTree t;
    if (content == "fifo")
        ::mkfifo(QFile::encodeName(t.path(file)).constData(), 0600);
    else
        t.write(file, content);
    QVERIFY(readCover(QFile::encodeName(t.path(file)), 128).isNull());
}

void TestCovers::thumbnailCache()
{
    TempTree t;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(t.path("cache")));
    // Names as the desktop's file managers give them.
    QCOMPARE(Thumbnails::pathFor("file:///home/jens/photos/me.png", false),
             t.path("cache/thumbnails/normal/c6ee772d9e49320e97ec29a7eb5b1697.png"));
    QCOMPARE(fileUri("/home/anna/My Books/Émile #1.epub"),
             QByteArray("file:///home/anna/My%20Books/%C3%89mile%20%231.epub"));
    // A thumbnail records its book's URI, time and size; another time is not fresh.
    const QString path = Thumbnails::pathFor("file:///b.epub", true);
    QVERIFY(Thumbnails::store(path, QImage::fromData(png(Red)), "file:///b.epub", 1234, 99));
    QImage stored(path);
    QCOMPARE(stored.text("Thumb::URI") + stored.text("Thumb::MTime") + stored.text("Thumb::Size"),
             QStringLiteral("file:///b.epub123499"));
    const auto mode = [](const QString &p) {
        struct stat st;
        return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
    };
    QCOMPARE(mode(path) | mode(t.path("cache/thumbnails")) << 9, 0600u | 0700u << 9);
    QVERIFY(!Thumbnails::readFresh(path, 1234).isNull()
            && Thumbnails::readFresh(path, 1235).isNull());
    // A damaged thumbnail is no thumbnail: it is made again.
    const QByteArray whole = t.read(QDir(t.path()).relativeFilePath(path));
    QVERIFY(
        whole.startsWith("\x89PNG")
        && Thumbnails::readFresh(t.write("cut.png", whole.left(whole.size() - 30)), 1234).isNull());
    // A thumbnail an earlier version of this program wrote is made again; another program's
    // is taken as it is.
    QImage earlier = QImage::fromData(png(Red));
    for (const char *software : {"Quillrack", "Another Viewer"}) {
        earlier.setText("Thumb::MTime", "7"), earlier.setText("Software", software);
        earlier.save(t.path("earlier.png"));
        QCOMPARE(Thumbnails::readFresh(t.path("earlier.png"), 7).isNull(), software[0] == 'Q');
    }
    QVERIFY(Thumbnails::store(Thumbnails::failPathFor("file:///c.txt"), QImage(), "file:///c.txt",
                              7, 1));
    QVERIFY(Thumbnails::failedBefore(Thumbnails::failPathFor("file:///c.txt"), 7));
    QVERIFY(!Thumbnails::failedBefore(Thumbnails::failPathFor("file:///c.txt"), 8));
}

void TestCovers::helpersAndTheirLimits()
{
    TempTree t;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(t.path("cache")));
    const QByteArray red = QFile::encodeName(t.write("Red.fb2", fb2Of(png(Red))));
    const QByteArray plain = QFile::encodeName(t.write("Plain.txt", "no cover"));
    t.writeBytes("Red \xff.fb2", fb2Of(png(Red))); // a name that is not text
    const QByteArray odd = QFile::encodeName(t.path()) + "/Red \xff.fb2";
    const QByteArray slow = QFile::encodeName(t.write("Slow.pdf", pdfOf("0 0 1")));
    const QString never = t.write("never.sh", "#!/bin/sh\nexec sleep 60\n");
    QFile::setPermissions(never, QFile::ReadOwner | QFile::ExeOwner);
    // A helper runs at low priority: on a busy machine it may take a while to answer.
    auto covers = [&](const QString &helper, const QList<QByteArray> &books,
                      int limitMs = 5000) -> Strings {
        CoverQueue queue;
        queue.helper = helper;
        queue.timeLimitMs = limitMs;
        QSignalSpy ready(&queue, &CoverQueue::ready);
        queue.want(books, QSize(128, 128));
        if (!QTest::qWaitFor([&] { return ready.size() == books.size(); }, 10000))
            return {"timed out"};
        QStringList seen;
        for (const QList<QVariant> &r : ready)
            seen << QFileInfo(QFile::decodeName(r[0].toByteArray())).fileName()
                    + (reddish(r[1].value<QImage>()) ? " cover" : " none");
        seen.sort();
        return seen;
    };
    // Made by the helper and kept in the cache: the next time no helper is needed.
    const Strings made {"Plain.txt none", "Red \uFFFD.fb2 cover", "Red.fb2 cover"};
    QCOMPARE(covers(QStringLiteral(QUILLRACK_THUMBNAILER), {red, plain, odd}), made);
    QCOMPARE(covers(t.path("missing helper"), {red, plain, odd}), made);
    // A book that changes while its cover is made gets the cover of its new version.
    const QByteArray changing = QFile::encodeName(t.write("Changing.fb2", fb2Of(png(Red))));
    t.write("red.png", png(Red)), t.write("blue.png", png(Blue));
    const QString changer = t.write( // the old version's cover is blue, the new one's red
        "changer.sh",
        "#!/bin/sh\ncd '" + t.path().toUtf8()
            + "'\nfor out; do :; done\n" // the output is the last argument
              "[ -e done ] || { touch done; "
              "touch -d @1000000 Changing.fb2; cp blue.png \"$out\"; exit; }\n"
              "cp red.png \"$out\"\n");
    QFile::setPermissions(changer, QFile::ReadOwner | QFile::ExeOwner);
    QCOMPARE(covers(changer, {changing}), Strings {"Changing.fb2 cover"});
    QVERIFY(
        !Thumbnails::readFresh(Thumbnails::pathFor(fileUri(changing), false), 1000000).isNull());
    // A helper that never answers is stopped in time, and that book not tried again.
    QCOMPARE(covers(never, {slow}, 500), Strings {"Slow.pdf none"});
    QVERIFY(
        Thumbnails::failedBefore(Thumbnails::failPathFor(fileUri(slow)),
                                 QFileInfo(t.path("Slow.pdf")).lastModified().toSecsSinceEpoch()));
}

void TestCovers::detailsCache()
{
    TempTree t;
    const QString file = t.path("cache/details.sqlite");
    BookDetails dune;
    dune.title = "Dune", dune.authors = QStringList {"Frank Herbert"};
    dune.authorSorts = QStringList {"Herbert, Frank"};
    {
        DetailsCache cache(file);
        QVERIFY(cache.store({{"file:///b/Dune.epub", {100, 5}, dune},
                             {"file:///b/Empty.pdf", {100, 5}, {}},
                             {"file:///b/Old.epub", {100, 5}, dune, DetailsReaderVersion - 1},
                             {"file:///c/Other.epub", {100, 5}, dune}}));
        // Kept by URI with the time (to the nanosecond) and size of the version read, and the
        // readers' version; another version, or one read by readers that knew less, is unread.
        // clang-format off
        const std::tuple<QByteArray, DetailsCache::Stamp, std::optional<BookDetails>> rows[] = {
            {"file:///b/Dune.epub", {100, 5}, dune},
            {"file:///b/Dune.epub", {101, 5}, std::nullopt},
            {"file:///b/Dune.epub", {100, 6}, std::nullopt},
            {"file:///b/Dune.epub", {-1, 0}, std::nullopt},
            {"file:///b/Empty.pdf", {100, 5}, BookDetails()},
            {"file:///b/dune.epub", {100, 5}, std::nullopt},
            {"file:///b/Old.epub", {100, 5}, std::nullopt},
        };
        // clang-format on
        for (const auto &[uri, stamp, expected] : rows)
            QVERIFY2(cache.fresh(uri, stamp) == expected, uri.constData());
        QCOMPARE(cache.under("file:///b/").size(), size_t(3));
        QVERIFY(cache.drop({"file:///b/Empty.pdf"}) && cache.under("file:///b/").size() == 2);
        // Many looked up at once, one of them twice, each answered in its place.
        std::vector<QByteArray> uris(150, "file:///none");
        uris[3] = uris[149] = "file:///b/Dune.epub", uris[70] = "file:///c/Other.epub";
        const auto found = cache.rowsOf(uris);
        QCOMPARE(std::count_if(found.begin(), found.end(), [](auto &r) { return r.has_value(); }),
                 3);
        QVERIFY(found[3]->details == dune && found[149] && found[70]->uri == uris[70]);
    }
    // Two writes of a book within one second, of one size, are two versions.
    const QByteArray book = QFile::encodeName(t.write("book.epub", "x"));
    const timespec times[2] = {{0, UTIME_OMIT}, {1000, 1}}, later[2] = {{0, UTIME_OMIT}, {1000, 2}};
    ::utimensat(AT_FDCWD, book.constData(), times, 0);
    const DetailsCache::Stamp first = DetailsCache::stampOf(book);
    ::utimensat(AT_FDCWD, book.constData(), later, 0);
    QVERIFY(first.exists() && DetailsCache::stampOf(book) != first);
    // A file of the first form (times in seconds, no readers' version) is brought forward with
    // its rows, which are read again.
    const QString earlier = t.path("earlier/details.sqlite");
    QDir().mkpath(t.path("earlier"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "earlier");
        db.setDatabaseName(earlier);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(
            q.exec("CREATE TABLE details (uri BLOB PRIMARY KEY, mtime INTEGER, size INTEGER, "
                   "lines BLOB) WITHOUT ROWID")
            && q.exec("INSERT INTO details VALUES (CAST('file:///b/Dune.epub' AS BLOB), 100, 5, "
                      "'title=Dune\n')"));
    }
    QSqlDatabase::removeDatabase("earlier");
    DetailsCache brought(earlier);
    const auto kept = brought.under("file:///b/");
    QVERIFY(kept.size() == 1 && kept[0].details.title == "Dune" && kept[0].reader == 0);
    QVERIFY(!brought.fresh("file:///b/Dune.epub", {100, 5}));
    QVERIFY(brought.store({{"file:///b/New.epub", {1, 1}, dune}})
            && brought.fresh("file:///b/New.epub", {1, 1}) == dune);
    // Two writers at once, each on its own connection, lose nothing.
    std::vector<std::thread> writers;
    for (int w = 0; w < 2; ++w)
        writers.emplace_back([&file, w, &dune] {
            DetailsCache cache(file);
            for (int i = 0; i < 100; ++i)
                cache.store({{"file:///w/" + QByteArray::number(w * 100 + i), {1, 1}, dune}});
        });
    for (std::thread &w : writers)
        w.join();
    QCOMPARE(DetailsCache(file).under("file:///w/").size(), size_t(200));
    // A damaged file is set aside and made anew, without a word.
    for (const char *part : {"-wal", "-shm"})
        QFile::remove(file + part);
    t.write("cache/details.sqlite", QByteArray(4096, 'x'));
    DetailsCache fresh(file);
    QVERIFY(fresh.isOpen() && fresh.store({{"file:///b/Dune.epub", {1, 1}, dune}}));
    QVERIFY(fresh.fresh("file:///b/Dune.epub", {1, 1}) == dune);
    QVERIFY(QFile::exists(file + ".damaged"));
}

void TestCovers::readingDetailsOfManyBooks()
{
    TempTree t;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(t.path("cache")));
    // A helper that answers each book with its name as the title, but hangs on one and crashes
    // on another: those give nothing, and the rest are read by helpers started anew.
    const QString helper = t.write("helper.sh",
                                   "#!/bin/sh\nwhile read -r uri; do case $uri in\n"
                                   "*hang*) exec sleep 60;; *crash*) kill -SEGV $$;;\n"
                                   "*) printf 'title=%s\\n\\n' \"${uri##*/}\";; esac; done\n");
    QFile::setPermissions(helper, QFile::ReadOwner | QFile::ExeOwner);
    std::vector<DetailsReader::Book> books;
    for (const char *name : {"a", "hang", "b", "crash", "c", "d"}) {
        const QByteArray path = QFile::encodeName(t.write(name, "x"));
        books.push_back({path, DetailsCache::stampOf(path)});
    }
    DetailsReader reader;
    reader.helper = helper;
    reader.timeLimitMs = 500;
    reader.mostAtOnce = 1;
    QSignalSpy finished(&reader, &DetailsReader::finished);
    reader.read(books);
    QVERIFY(finished.wait(10000));
    DetailsCache cache;
    QStringList read;
    for (const DetailsReader::Book &book : books)
        if (const auto details = cache.fresh(fileUri(book.path), book.stamp))
            read << details->title;
        else
            read << "?";
    QCOMPARE(read, QStringList({"a", "", "b", "", "c", "d"}));
}

QTEST_MAIN(TestCovers)
#include "tst_covers.moc"
