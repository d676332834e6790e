#include "bench.h"

#include <malloc.h>

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

void Bench::compare(const QString &id, const QString &scenario, double limit, int reps,
                    const std::function<void()> &program, const std::function<void()> &baseline,
                    const QString &against, const std::function<void()> &between)
{
    std::vector<double> a, b;
    program(); // one warm-up each: the first call pays for caches both would fill
    baseline();
    for (int i = 0; i < reps; ++i) {
        if (between) // both start alike
            between();
        a.push_back(millis(program));
        if (between)
            between();
        b.push_back(millis(baseline));
    }
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    results.push_back({id, scenario, median(a), median(b), limit, against, false, median(ratios)});
    std::printf("  %s measured\n", qPrintable(id));
    std::fflush(stdout);
}

QString Bench::large()
{
    if (m_large.isEmpty()) {
        m_large = root + QStringLiteral("/large");
        makeBooks(m_large + QStringLiteral("/A big shelf"), bigBooks);
        makeBooks(m_large + QStringLiteral("/B tenth shelf"), bigBooks / 10);
        makeBooks(m_large + QStringLiteral("/C small shelf"), 100);
    }
    return m_large;
}

QString Bench::typical()
{
    if (m_typical.isEmpty()) {
        m_typical = root + QStringLiteral("/typical");
        makeBooks(m_typical + QStringLiteral("/Shelf 0"), 1000);
        for (int i = 1; i < manyShelves; ++i)
            QDir().mkpath(m_typical + QStringLiteral("/Shelf %1").arg(i));
    }
    return m_typical;
}

void openLibrary(GlobalState &g, Bench &b, const QString &library)
{
    g.prompter = &b.prompter;
    g.BookFolder = library;
    g.RootFolder = g.FileSys.GetFolder(library);
    g.ShelfFolders = g.RootFolder;
}

double longestGap(const std::function<void()> &fn)
{
    double gap = 0;
    auto last = Clock::now();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        gap = std::max(gap, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    ticker.start(10);
    fn();
    return gap;
}

void touch(const QString &path, const QByteArray &content)
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

// Bytes the heap holds now.
size_t heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
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
