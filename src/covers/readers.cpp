#include "readers.h"

#include "coverparse.h"
#include "thumbcache.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <libdjvu/ddjvuapi.h>
#include <libdjvu/miniexp.h>
#include <memory>
#include <mobi.h>
#include <poppler/qt6/poppler-qt6.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

constexpr qint64 MemberLimit = 64 << 20; // a picture or a page inside a book
constexpr qint64 TextLimit = 64 << 20; // a whole FB2 book

// Decodes a picture into 8-bit colour channels, a JPEG scaled while it is read; a picture that
// would take more memory than the limit is refused. Other formats are scaled only once they are
// in colour: the toolkit scales a palette PNG into black-and-white dots.
QImage decode(const QByteArray &bytes, int size)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(256);
    const QSize full = reader.size();
    if (reader.format() == "jpeg" && full.isValid()
        && (full.width() > size || full.height() > size))
        reader.setScaledSize(full.scaled(size, size, Qt::KeepAspectRatio));
    return Thumbnails::inColour(reader.read());
}

// A book's members through libarchive (zip, 7z, rar, tar), each look a fresh walk from the
// start of the file.
class Archive
{
public:
    explicit Archive(int fd, bool zipOnly = false)
        : m_fd(fd)
        , m_zipOnly(zipOnly)
    { }
    template<typename Fn> void walk(Fn fn) const // fn(archive, entry): false stops
    {
        ::lseek(m_fd, 0, SEEK_SET);
        std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(),
                                                                 archive_read_free);
        // The formats books come in, and no other: some formats read files named inside them,
        // and some filters run other programs.
        if (m_zipOnly) { // an EPUB is a zip
            archive_read_support_format_zip(a.get());
        } else {
            for (auto support : {archive_read_support_format_zip, archive_read_support_format_7zip,
                                 archive_read_support_format_rar, archive_read_support_format_rar5,
                                 archive_read_support_format_tar})
                support(a.get());
        }
        if (archive_read_open_fd(a.get(), m_fd, 1 << 16) != ARCHIVE_OK)
            return;
        archive_entry *entry;
        while (archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
            if (!fn(a.get(), entry))
                return;
        }
    }
    QStringList names() const
    {
        QStringList list;
        walk([&](archive *, archive_entry *e) {
            if (archive_entry_filetype(e) == AE_IFREG)
                list << QString::fromUtf8(archive_entry_pathname(e));
            return list.size() < 100000;
        });
        return list;
    }
    QByteArray member(const QString &name) const
    {
        return members([&](const QString &n) { return n == name; }, 1).value(name);
    }
    // The members whose names are wanted, at most `most` of them, in one walk.
    template<typename Wanted>
    QHash<QString, QByteArray> members(const Wanted &wanted, int most) const
    {
        QHash<QString, QByteArray> found;
        walk([&](archive *a, archive_entry *e) {
            const QString name = QString::fromUtf8(archive_entry_pathname(e));
            if (!wanted(name))
                return true;
            QByteArray &data = found[name];
            char buf[1 << 16];
            la_ssize_t n;
            while ((n = archive_read_data(a, buf, sizeof buf)) > 0 && data.size() < MemberLimit)
                data.append(buf, n);
            if (n < 0 || data.size() >= MemberLimit)
                data.clear(); // damaged, or larger than any cover
            return found.size() < most;
        });
        return found;
    }

private:
    int m_fd;
    bool m_zipOnly;
};

QImage epubCover(int fd, int size)
{
    const Archive book(fd);
    const QString package = epubPackagePath(book.member(QStringLiteral("META-INF/container.xml")));
    if (package.isEmpty())
        return {};
    const QString cover = epubCoverPath(book.member(package), package,
                                        [&](const QString &name) { return book.member(name); });
    return cover.isEmpty() ? QImage() : decode(book.member(cover), size);
}

QImage comicCover(int fd, int size)
{
    const Archive book(fd);
    const QString first = firstComicImage(book.names());
    return first.isEmpty() ? QImage() : decode(book.member(first), size);
}

QImage pdfCover(int fd, int size)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly))
        return {};
    const std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(&file);
    if (!pdf || pdf->isLocked() || pdf->numPages() < 1)
        return {};
    const std::unique_ptr<Poppler::Page> page = pdf->page(0);
    const QSizeF points = page ? page->pageSizeF() : QSizeF();
    if (points.isEmpty())
        return {};
    const double dpi = 72.0 * size / qMax(points.width(), points.height());
    return page->renderToImage(dpi, dpi);
}

QImage fb2Cover(int fd, int size)
{
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = ::fb2Cover(file.read(TextLimit));
    return bytes.isEmpty() ? QImage() : decode(bytes, size);
}

using Mobi = std::unique_ptr<MOBIData, decltype(&mobi_free)>;

// A MOBI/AZW3 book read by libmobi; null when it cannot be.
Mobi loadMobi(int fd)
{
    const int own = ::dup(fd);
    FILE *file = own < 0 ? nullptr : ::fdopen(own, "rb");
    Mobi m(file ? mobi_init() : nullptr, mobi_free);
    const bool loaded = m && mobi_load_file(m.get(), file) == MOBI_SUCCESS;
    if (file)
        ::fclose(file);
    return loaded ? std::move(m) : Mobi(nullptr, mobi_free);
}

QImage mobiCover(int fd, int size)
{
    const Mobi m = loadMobi(fd);
    if (!m)
        return {};
    const MOBIExthHeader *exth = mobi_get_exthrecord_by_tag(m.get(), EXTH_COVEROFFSET);
    if (!exth)
        return {};
    const uint32_t offset
        = mobi_decode_exthvalue(static_cast<const unsigned char *>(exth->data), exth->size);
    const size_t first = mobi_get_first_resource_record(m.get());
    const MOBIPdbRecord *record
        = first == MOBI_NOTSET ? nullptr : mobi_get_record_by_seqnumber(m.get(), first + offset);
    if (!record || !record->data)
        return {};
    return decode(QByteArray(reinterpret_cast<const char *>(record->data), qsizetype(record->size)),
                  size);
}

// A DjVu document, decoded as far as its directory: fn(document, wait), where wait(done) lets
// the library work until done() holds. Nothing when it cannot be read.
template<typename Fn> void withDjvu(const QByteArray &path, Fn fn)
{
    std::unique_ptr<ddjvu_context_t, decltype(&ddjvu_context_release)> context(
        ddjvu_context_create("quillrack-thumbnailer"), ddjvu_context_release);
    if (!context)
        return;
    ddjvu_document_t *document
        = ddjvu_document_create_by_filename(context.get(), path.constData(), 0);
    if (!document)
        return;
    auto wait = [&](auto done) {
        while (!done()) {
            ddjvu_message_wait(context.get());
            while (ddjvu_message_peek(context.get()))
                ddjvu_message_pop(context.get());
        }
    };
    wait([&] { return ddjvu_document_decoding_done(document); });
    if (!ddjvu_document_decoding_error(document))
        fn(document, wait);
    ddjvu_document_release(document);
}

QImage djvuCover(const QByteArray &path, int size)
{
    QImage image;
    withDjvu(path, [&](ddjvu_document_t *document, auto &wait) {
        ddjvu_page_t *page = ddjvu_page_create_by_pageno(document, 0);
        if (!page)
            return;
        wait([&] { return ddjvu_page_decoding_done(page); });
        const int w = ddjvu_page_get_width(page), h = ddjvu_page_get_height(page);
        if (!ddjvu_page_decoding_error(page) && w > 0 && h > 0) {
            const QSize fit = QSize(w, h).scaled(size, size, Qt::KeepAspectRatio);
            ddjvu_rect_t all {0, 0, unsigned(fit.width()), unsigned(fit.height())};
            ddjvu_format_t *format = ddjvu_format_create(DDJVU_FORMAT_RGB24, 0, nullptr);
            ddjvu_format_set_row_order(format, 1);
            QImage out(fit, QImage::Format_RGB888);
            if (ddjvu_page_render(page, DDJVU_RENDER_COLOR, &all, &all, format,
                                  size_t(out.bytesPerLine()), reinterpret_cast<char *>(out.bits())))
                image = out;
            ddjvu_format_release(format);
        }
        ddjvu_page_release(page);
    });
    return image;
}

// The title, author and year of a DjVu document's metadata annotations, where it has them.
BookDetails djvuDetails(const QByteArray &path)
{
    BookDetails d;
    withDjvu(path, [&](ddjvu_document_t *document, auto &wait) {
        miniexp_t anno = miniexp_dummy;
        wait([&] { return (anno = ddjvu_document_get_anno(document, 1)) != miniexp_dummy; });
        if (!miniexp_consp(anno))
            return; // none, or a failure
        auto value = [&](const char *key) {
            const char *text = ddjvu_anno_get_metadata(anno, miniexp_symbol(key));
            return text ? QString::fromUtf8(text).simplified() : QString();
        };
        d.title = value("title");
        if (const QString author = value("author"); !author.isEmpty())
            d.authors << author, d.authorSorts << QString();
        d.year = value("year").left(4).toInt();
        d.publisher = value("publisher");
        ddjvu_miniexp_release(document, anno);
    });
    return d;
}

// A string libmobi made, taken over and freed.
QString mobiString(char *text)
{
    const QString value = QString::fromUtf8(text);
    std::free(text);
    return value;
}

BookDetails mobiDetails(int fd)
{
    const Mobi m = loadMobi(fd);
    if (!m)
        return {};
    BookDetails d;
    d.title = mobiString(mobi_meta_get_title(m.get())).simplified(); // else the full name
    MOBIExthHeader *at = nullptr;
    while (MOBIExthHeader *exth = mobi_next_exthrecord_by_tag(m.get(), EXTH_AUTHOR, &at)) {
        const QString author
            = mobiString(mobi_decode_exthstring(
                             m.get(), static_cast<const unsigned char *>(exth->data), exth->size))
                  .simplified();
        if (!author.isEmpty() && !d.authors.contains(author) && d.authors.size() < 20) {
            d.authors << author;
            d.authorSorts << QString();
        }
        if (!at)
            break;
    }
    d.publisher = mobiString(mobi_meta_get_publisher(m.get())).simplified();
    d.language = mobiString(mobi_meta_get_language(m.get())).simplified();
    d.year = mobiString(mobi_meta_get_publishdate(m.get())).left(4).toInt();
    return d;
}

// The formats the readers know, by the end of the file's name: one table for the covers and
// the details.
enum class Format { None, Epub, Comic, Pdf, Fb2, Fb2Zip, Mobi, Djvu };

Format formatOf(const QString &name)
{
    static const std::pair<QLatin1String, Format> table[]
        = {{QLatin1String(".fb2.zip"), Format::Fb2Zip}, {QLatin1String(".epub"), Format::Epub},
           {QLatin1String(".cbz"), Format::Comic},      {QLatin1String(".cb7"), Format::Comic},
           {QLatin1String(".cbr"), Format::Comic},      {QLatin1String(".cbt"), Format::Comic},
           {QLatin1String(".pdf"), Format::Pdf},        {QLatin1String(".fb2"), Format::Fb2},
           {QLatin1String(".mobi"), Format::Mobi},      {QLatin1String(".azw3"), Format::Mobi},
           {QLatin1String(".azw"), Format::Mobi},       {QLatin1String(".prc"), Format::Mobi},
           {QLatin1String(".djvu"), Format::Djvu},      {QLatin1String(".djv"), Format::Djvu}};
    for (const auto &[ending, format] : table) {
        if (name.endsWith(ending, Qt::CaseInsensitive))
            return format;
    }
    return Format::None;
}

// The FB2 book inside a zipped one.
QByteArray zippedFb2(int fd)
{
    const Archive book(fd);
    for (const QString &member : book.names()) {
        if (member.endsWith(QStringLiteral(".fb2"), Qt::CaseInsensitive))
            return book.member(member);
    }
    return {};
}

} // namespace

BookFile::BookFile(const QByteArray &path)
    : m_path(path)
    , m_name(QFile::decodeName(path).section(u'/', -1))
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    constexpr long Nfs = 0x6969, Smb = 0x517B, Smb2 = 0xFE534D42, Cifs = 0xFF534D42,
                   Fuse = 0x65735546;
    constexpr qint64 InMemory = 64 << 20;
    struct statfs fs;
    if (st.st_size > InMemory || ::fstatfs(fd, &fs) != 0)
        return;
    const long type = long(fs.f_type);
    if (type != Nfs && type != Smb && type != Smb2 && type != Cifs && type != Fuse)
        return;
    const int memory = ::memfd_create("book", MFD_CLOEXEC);
    std::vector<char> buffer(size_t(1) << 20);
    bool copied = memory >= 0;
    for (ssize_t n; copied && (n = ::read(fd, buffer.data(), buffer.size())) != 0;) {
        copied = n > 0 && ::write(memory, buffer.data(), size_t(n)) == n;
    }
    if (!copied) {
        if (memory >= 0)
            ::close(memory);
        ::lseek(fd, 0, SEEK_SET);
        return;
    }
    ::close(fd);
    ::lseek(memory, 0, SEEK_SET);
    m_fd = memory;
    m_inMemory = true;
}

BookFile::~BookFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray BookFile::path() const
{
    return m_inMemory ? "/proc/self/fd/" + QByteArray::number(m_fd) : m_path;
}

BookDetails readDetails(const BookFile &book)
{
    if (!book.isOpen())
        return {};
    const int fd = book.fd();
    switch (formatOf(book.name())) {
    case Format::Epub: {
        // The container and the package document, in one walk: the first .opf is nearly always
        // the one the container names.
        const Archive archive(fd, true);
        const QString container = QStringLiteral("META-INF/container.xml");
        const QHash<QString, QByteArray> found = archive.members(
            [&](const QString &n) {
                return n == container || n.endsWith(QStringLiteral(".opf"), Qt::CaseInsensitive);
            },
            2);
        const QString package = epubPackagePath(found.value(container));
        return package.isEmpty()
            ? BookDetails()
            : epubDetails(found.contains(package) ? found.value(package) : archive.member(package));
    }
    case Format::Comic:
        return comicInfoDetails(Archive(fd).member(QStringLiteral("ComicInfo.xml")));
    case Format::Pdf: {
        ::lseek(fd, 0, SEEK_SET);
        QFile file;
        const std::unique_ptr<Poppler::Document> pdf
            = file.open(fd, QIODevice::ReadOnly) ? Poppler::Document::load(&file) : nullptr;
        if (pdf && !pdf->isLocked())
            return pdfDetails(pdf->info(QStringLiteral("Title")),
                              pdf->info(QStringLiteral("Author")), book.name());
        return {};
    }
    case Format::Fb2: {
        ::lseek(fd, 0, SEEK_SET);
        QFile file;
        return file.open(fd, QIODevice::ReadOnly) ? fb2Details(file.read(TextLimit))
                                                  : BookDetails();
    }
    case Format::Fb2Zip:
        return fb2Details(zippedFb2(fd));
    case Format::Mobi:
        return mobiDetails(fd);
    case Format::Djvu:
        return djvuDetails(book.path());
    case Format::None:
        break;
    }
    return {};
}

BookDetails readDetails(const QByteArray &path)
{
    return readDetails(BookFile(path));
}

QImage readCover(const BookFile &book, int size)
{
    if (size < 1 || !book.isOpen())
        return {};
    const int fd = book.fd();
    QImage cover;
    switch (formatOf(book.name())) {
    case Format::Epub:
        cover = epubCover(fd, size);
        break;
    case Format::Comic:
        cover = comicCover(fd, size);
        break;
    case Format::Pdf:
        ::lseek(fd, 0, SEEK_SET);
        cover = pdfCover(fd, size);
        break;
    case Format::Fb2:
        ::lseek(fd, 0, SEEK_SET);
        cover = fb2Cover(fd, size);
        break;
    case Format::Fb2Zip:
        if (const QByteArray picture = ::fb2Cover(zippedFb2(fd)); !picture.isEmpty())
            cover = decode(picture, size);
        break;
    case Format::Mobi:
        cover = mobiCover(fd, size);
        break;
    case Format::Djvu:
        cover = djvuCover(book.path(), size);
        break;
    case Format::None:
        break;
    }
    cover = Thumbnails::inColour(cover);
    if (cover.isNull())
        return {};
    return cover.width() > size || cover.height() > size
        ? cover.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : cover;
}

QImage readCover(const QByteArray &path, int size)
{
    return readCover(BookFile(path), size);
}
