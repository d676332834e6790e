#include "coverqueue.h"

#include "detailsreader.h"
#include "diskexecutor.h"
#include "thumbcache.h"
#include "volumes.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

namespace {

// A picture half as wide and high, each pixel the mean of four: the cheap way down by a half.
QImage halved(QImage in)
{
    if (in.format() != QImage::Format_RGB32 && in.format() != QImage::Format_ARGB32_Premultiplied)
        in.convertTo(in.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                          : QImage::Format_RGB32);
    QImage out(in.width() / 2, in.height() / 2, in.format());
    for (int y = 0; y < out.height(); ++y) {
        const auto *a = reinterpret_cast<const quint32 *>(in.constScanLine(2 * y));
        const auto *b = reinterpret_cast<const quint32 *>(in.constScanLine(2 * y + 1));
        auto *o = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            // Two channels at a time, each sum in a 16-bit lane of its own.
            const quint32 p[4] = {a[2 * x], a[2 * x + 1], b[2 * x], b[2 * x + 1]};
            quint32 even = 0x00020002, odd = 0x00020002;
            for (const quint32 q : p) {
                even += q & 0x00ff00ff;
                odd += (q >> 8) & 0x00ff00ff;
            }
            o[x] = ((even >> 2) & 0x00ff00ff) | (((odd >> 2) & 0x00ff00ff) << 8);
        }
    }
    return out;
}

// A cover as the slot shows it, scaled on the thread that read it: halved while that keeps
// nearly its full size in the slot, then smoothly the rest of the way.
QImage fitted(QImage cover, const QSize &box)
{
    if (cover.isNull() || box.isEmpty()
        || (cover.width() <= box.width() && cover.height() <= box.height()))
        return cover;
    const QSize target = cover.size().scaled(box, Qt::KeepAspectRatio);
    if (target.isEmpty()) // a sliver: nothing to scale it to
        return cover;
    while (cover.width() / 2 * 10 >= target.width() * 9
           && cover.height() / 2 * 10 >= target.height() * 9)
        cover = halved(cover);
    return cover.width() <= box.width() && cover.height() <= box.height()
        ? cover
        : cover.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

CoverQueue::CoverQueue(QObject *parent)
    : QObject(parent)
    , helper(QCoreApplication::applicationDirPath() + QStringLiteral("/quillrack-thumbnailer"))
    , mostAtOnce(qMax(1, int(std::thread::hardware_concurrency()) - 1))
{
    // Books whose covers are known and details not: read together, a run for many.
    m_details.mostAtOnce = 1;
    m_details.onShare = [](const QByteArray &path) { return Volumes::holding(path).isShare(); };
    connect(&m_details, &DetailsReader::answered, this, &CoverQueue::detailsReady);
    m_detailsLater.setSingleShot(true);
    m_detailsLater.setInterval(250);
    connect(&m_detailsLater, &QTimer::timeout, this, [this] {
        m_details.helper = helper;
        m_details.timeLimitMs = timeLimitMs;
        m_details.read(std::exchange(m_detailsWanted, {}));
    });
}

CoverQueue::~CoverQueue()
{
    for (QProcess *p : findChildren<QProcess *>(Qt::FindDirectChildrenOnly))
        letGo(p);
}

void CoverQueue::want(const QList<QByteArray> &paths, const QSize &box)
{
    // The page moved on: what no helper has started on is not needed any more.
    ++m_page;
    for (const Job &job : m_waiting)
        m_busy.remove(job.path);
    m_waiting.clear();
    m_detailsWanted.clear();
    std::vector<Job> jobs;
    for (const QByteArray &path : paths) {
        // One being looked up already is answered for this page.
        if (!m_busy.contains(path))
            jobs.push_back({path, box, qMax(box.width(), box.height()) > 128, {}});
        m_busy[path] = m_page;
    }
    if (!jobs.empty())
        look(jobs);
}

void CoverQueue::look(const std::vector<Job> &jobs)
{
    // For each book: a fresh thumbnail, a fail record, or work for a helper. The queue's threads
    // take the page's books one at a time, so that one slowed by the window's own drawing does
    // fewer, and the page is answered at once when the last is done: the window paints the
    // page's covers together.
    struct Found
    {
        QImage cover;
        bool none = false;
        std::optional<BookDetails> details;
        bool older = false; // read by readers that knew less: shown, and read again
    };
    struct Page
    {
        std::vector<Job> jobs;
        std::vector<Found> found;
        std::atomic<size_t> next = 0;
        std::atomic<int> running = 0;
        std::atomic<bool> rowsTaken = false;
        std::vector<std::optional<DetailsCache::Row>> rows; // the details cache's, by job
    };
    auto page = std::make_shared<Page>();
    page->jobs = jobs;
    page->found.resize(jobs.size());
    // On the disk executor's threads of the books' volume that wait behind everything else, so
    // that a share that does not answer holds only its own, and drawing a page is never
    // interrupted for its covers.
    const int runners = int(qMin<size_t>(
        size_t(DiskExecutor::threadsFor(DiskExecutor::Lane::Background)), jobs.size()));
    page->running = runners;
    QPointer<CoverQueue> self(this);
    for (int r = 0; r < runners; ++r) {
        DiskExecutor::shared().run(
            jobs[0].path,
            [self, page, details = withDetails, fs = fileSys] {
                // The page's details, in one query by the first runner, while the others read
                // covers.
                if (details && !page->rowsTaken.exchange(true)) {
                    std::vector<QByteArray> uris;
                    for (const Job &job : page->jobs)
                        uris.push_back(fileUri(job.path));
                    page->rows = DetailsCache::ofThisThread().rowsOf(uris);
                }
                for (size_t i; (i = page->next++) < page->jobs.size();) {
                    Job &job = page->jobs[i];
                    // The version a helper would make a cover of.
                    const DetailsCache::Stamp stamp = job.stamp
                        = DetailsCache::stampOf(job.path, fs.sys());
                    const QByteArray uri = fileUri(job.path);
                    QImage cover = Thumbnails::readFresh(Thumbnails::pathFor(uri, job.large),
                                                         stamp.seconds());
                    if (cover.isNull() && !job.large) // a larger one will do
                        cover = Thumbnails::readFresh(Thumbnails::pathFor(uri, true),
                                                      stamp.seconds());
                    page->found[i].none = !stamp.exists()
                        || (cover.isNull()
                            && Thumbnails::failedBefore(Thumbnails::failPathFor(uri),
                                                        stamp.seconds()));
                    page->found[i].cover = fitted(cover, job.box);
                }
                if (--page->running > 0)
                    return;
                for (size_t i = 0; i < page->rows.size(); ++i) { // rows of the versions shown
                    const auto &row = page->rows[i];
                    if (row && row->stamp == page->jobs[i].stamp) {
                        page->found[i].details = row->details;
                        page->found[i].older = !row->freshFor(page->jobs[i].stamp);
                    }
                }
                DiskExecutor::deliver(self, [self, page] {
                    std::vector<DetailsReader::Book> detailsOnly;
                    for (size_t i = 0; i < page->jobs.size(); ++i) {
                        Job &job = page->jobs[i];
                        const Found &f = page->found[i];
                        job.cover = f.cover.isNull() && !f.none;
                        // Details not read yet, or read by readers that knew less, are read.
                        job.details
                            = self->withDetails && (!f.details || f.older) && job.stamp.exists();
                        if (!job.cover)
                            emit self->ready(job.path, f.cover);
                        if (f.details)
                            emit self->detailsReady(job.path, *f.details);
                        if (!job.cover && job.details) // details alone: the page's in one run
                            detailsOnly.push_back({job.path, job.stamp});
                        if (!job.cover || self->m_busy.value(job.path) != self->m_page)
                            self->m_busy.remove(job.path);
                        else
                            self->m_waiting.push_back(job);
                    }
                    // Read once the page has been shown a moment: pages flipped past start no
                    // helper.
                    if (!detailsOnly.empty()) {
                        self->m_detailsWanted.insert(self->m_detailsWanted.end(),
                                                     detailsOnly.begin(), detailsOnly.end());
                        self->m_detailsLater.start();
                    }
                    self->startHelpers();
                });
            },
            DiskExecutor::Lane::Background);
    }
}

void CoverQueue::startHelpers()
{
    while (m_running < mostAtOnce && !m_waiting.empty()) {
        const Job job = m_waiting.front();
        m_waiting.pop_front();
        ++m_running;
        const QString output = m_outputs.filePath(QStringLiteral("%1.png").arg(++m_made));
        auto *process = new QProcess(this);
        // Below the window in priority, and within a memory limit: a parser that runs away
        // costs one cover.
        process->setChildProcessModifier([] { limitHelper(10); });
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setReadChannel(QProcess::StandardOutput);
        auto *limit = new QTimer(process);
        limit->setSingleShot(true);
        connect(limit, &QTimer::timeout, process, [process] {
            process->setProperty("overran", true);
            process->kill();
        });
        // A helper that said "no cover", crashed or ran out of time is recorded as failed for
        // this version of the file; one that could not start (not installed) is not.
        connect(process, &QProcess::finished, this,
                [this, process, job, output](int code, QProcess::ExitStatus status) {
                    helperDone(process, job, output,
                               process->property("overran").toBool()             ? Outcome::Overran
                                   : status == QProcess::NormalExit && code == 0 ? Outcome::Made
                                   : status == QProcess::CrashExit || code == 1  ? Outcome::NoCover
                                                                                 : Outcome::Broken);
                });
        connect(process, &QProcess::errorOccurred, this,
                [this, process, job, output](QProcess::ProcessError e) {
                    if (e == QProcess::FailedToStart)
                        helperDone(process, job, output, Outcome::Broken);
                });
        // The book by its URI: the name's bytes reach the helper whole, text or not.
        QStringList args;
        if (job.details)
            args << QStringLiteral("--details");
        if (job.cover)
            args << QStringLiteral("-s") << QString::number(job.large ? 256 : 128);
        args << QString::fromLatin1(fileUri(job.path));
        if (job.cover)
            args << output;
        process->start(helper, args);
        limit->start(Volumes::holding(job.path).isShare() ? 12 * timeLimitMs : timeLimitMs);
    }
}

void CoverQueue::helperDone(QProcess *process, const Job &job, const QString &output,
                            Outcome outcome)
{
    process->deleteLater();
    --m_running;
    // What it printed before it ended (or was ended) is what the book says of itself.
    const BookDetails details
        = job.details ? BookDetails::fromLines(process->readAllStandardOutput()) : BookDetails();
    // Stored in the caches (or recorded as failed) on another thread, then told.
    if (outcome == Outcome::Overran && !job.retried) {
        // Once more, in case the machine or the share was only slow then.
        QFile::remove(output);
        Job again = job;
        again.retried = true;
        m_waiting.push_back(again);
        startHelpers();
        return;
    }
    QPointer<CoverQueue> self(this);
    DiskExecutor::shared().run(
        job.path,
        [self, job, output, outcome, details, fs = fileSys] {
            // A book changed while it was read: what was read is of another version.
            const DetailsCache::Stamp now = DetailsCache::stampOf(job.path, fs.sys());
            const bool changed = now != job.stamp;
            const bool stored = !changed && now.exists() && outcome != Outcome::Broken;
            const QByteArray uri = fileUri(job.path);
            const QImage cover = job.cover && outcome == Outcome::Made && !changed
                ? QImage(output, "png")
                : QImage();
            QFile::remove(output);
            if (stored && job.cover)
                Thumbnails::store(cover.isNull() ? Thumbnails::failPathFor(uri)
                                                 : Thumbnails::pathFor(uri, job.large),
                                  cover, uri, now.seconds(), now.size);
            if (stored && job.details)
                DetailsCache::ofThisThread().store({{uri, now, details}});
            DiskExecutor::deliver(
                self, [self, job, cover = fitted(cover, job.box), details, changed, outcome] {
                    self->answer(job, cover, details, changed, outcome);
                });
        },
        DiskExecutor::Lane::Background);
    startHelpers();
}

void CoverQueue::answer(const Job &job, const QImage &cover, const BookDetails &details,
                        bool changed, Outcome outcome)
{
    if (changed && m_busy.value(job.path) == m_page) {
        look({job}); // the page still shows it: its new version
        return;
    }
    m_busy.remove(job.path);
    if (changed || outcome == Outcome::Broken)
        return; // asked again with a page
    if (job.cover)
        emit ready(job.path, cover);
    if (job.details)
        emit detailsReady(job.path, details);
}
