#include "detailsreader.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

void limitHelper(int niceness)
{
    // Never outlives the program: one stuck on a share that stopped answering ends with it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    [[maybe_unused]] const int niced = ::nice(niceness);
#ifndef QUILLRACK_SANITIZE
    const rlimit data {512ul << 20, 512ul << 20};
    ::setrlimit(RLIMIT_DATA, &data);
#endif
}

void letGo(QProcess *helper)
{
    // Held here until the system has ended them, however long that takes (one stuck on a share
    // that stopped answering), and whether the program is ending or not.
    static QObject *const lettingGo = new QObject;
    helper->disconnect();
    helper->setParent(lettingGo);
    if (helper->state() == QProcess::NotRunning) // never started, or ended: nothing to wait for
        return helper->deleteLater();
    QObject::connect(helper, &QProcess::stateChanged, helper, [helper](QProcess::ProcessState s) {
        if (s == QProcess::NotRunning) // ended, or it never started
            helper->deleteLater();
    });
    helper->kill();
}

struct DetailsReader::Run
{
    QProcess *process = nullptr;
    QTimer *limit = nullptr;
    std::deque<Book> books; // asked for and not answered yet, in the order asked
    QByteArray output; // not yet a whole answer
    std::vector<DetailsCache::Row> answers; // not yet stored
    int limitMs = 0; // a book's
};

DetailsReader::DetailsReader(QObject *parent)
    : QObject(parent)
    , helper(QCoreApplication::applicationDirPath() + QStringLiteral("/quillrack-thumbnailer"))
{
    m_pool.setMaxThreadCount(1);
    m_pool.setThreadPriority(QThread::LowPriority);
}

DetailsReader::~DetailsReader()
{
    stop();
    m_pool.waitForDone();
}

void DetailsReader::read(const std::vector<Book> &books)
{
    m_waiting.insert(m_waiting.end(), books.begin(), books.end());
    startRuns();
    checkFinished();
}

void DetailsReader::stop()
{
    m_waiting.clear();
    for (Run *run : std::exchange(m_runs, {})) {
        letGo(run->process); // what it answered is kept
        store(std::move(run->answers));
        delete run;
    }
}

void DetailsReader::startRuns()
{
    while (int(m_runs.size()) < mostAtOnce && !m_waiting.empty()) {
        // The books shared out evenly between the runs there is room for.
        const int room = mostAtOnce - int(m_runs.size());
        const int books = qBound(1, int(m_waiting.size() + size_t(room) - 1) / room, booksPerRun);
        auto *run = new Run;
        m_runs.push_back(run);
        QByteArray requests;
        while (!m_waiting.empty() && int(run->books.size()) < books) {
            // By URI: a name with a tab or a line break goes whole.
            requests += fileUri(m_waiting.front().path) + '\n';
            run->books.push_back(m_waiting.front());
            m_waiting.pop_front();
        }
        run->process = new QProcess(this);
        run->process->setChildProcessModifier([] { limitHelper(19); });
        run->process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run->limit = new QTimer(run->process);
        run->limit->setSingleShot(true);
        connect(run->limit, &QTimer::timeout, run->process, &QProcess::kill);
        connect(run->process, &QProcess::readyReadStandardOutput, this, [this, run] { take(run); });
        connect(run->process, &QProcess::finished, this, [this, run] { ended(run); });
        connect(run->process, &QProcess::errorOccurred, this,
                [this, run](QProcess::ProcessError e) {
                    if (e == QProcess::FailedToStart)
                        ended(run);
                });
        run->process->start(helper, {QStringLiteral("--batch")});
        run->process->write(requests);
        run->process->closeWriteChannel();
        run->limitMs = onShare && onShare(run->books.front().path) ? 12 * timeLimitMs : timeLimitMs;
        run->limit->start(run->limitMs);
    }
}

void DetailsReader::take(Run *run)
{
    run->output += run->process->readAllStandardOutput();
    // Each answer ends with an empty line; none of its own lines is empty.
    for (qsizetype end; !run->books.empty()
         && (end = run->output.startsWith('\n') ? 0 : run->output.indexOf("\n\n")) >= 0;) {
        const qsizetype length = end == 0 ? 0 : end + 1;
        const BookDetails details = BookDetails::fromLines(run->output.left(length));
        run->output.remove(0, length + 1);
        const Book book = run->books.front();
        run->books.pop_front();
        run->answers.push_back({fileUri(book.path), book.stamp, details});
        emit answered(book.path, details);
        run->limit->start(run->limitMs); // the next book's time
    }
    if (run->answers.size() >= 50)
        store(std::move(run->answers));
}

void DetailsReader::ended(Run *run)
{
    take(run);
    const bool started = run->process->error() != QProcess::FailedToStart;
    if (started && !run->books.empty()) {
        // Killed for its time, or crashed: the book it was on is tried once more after the
        // others, then gives nothing; the rest go on.
        Book failed = run->books.front();
        run->books.pop_front();
        m_waiting.insert(m_waiting.begin(), run->books.begin(), run->books.end());
        if (!failed.retried) {
            failed.retried = true;
            m_waiting.push_back(failed);
        } else {
            run->answers.push_back({fileUri(failed.path), failed.stamp, {}});
            emit answered(failed.path, {});
        }
    }
    store(std::move(run->answers));
    std::erase(m_runs, run);
    run->process->deleteLater();
    delete run;
    if (!started)
        m_waiting.clear(); // no helper to read with
    startRuns();
    checkFinished();
}

void DetailsReader::store(std::vector<DetailsCache::Row> rows)
{
    if (rows.empty())
        return;
    ++m_storing;
    QPointer<DetailsReader> self(this);
    m_pool.start([self, rows = std::move(rows)] {
        // Kept under the version the caller looked at: if the book changed since, its new
        // version finds no row and is read again.
        DetailsCache::ofThisThread().store(rows);
        QMetaObject::invokeMethod(qApp, [self] {
            if (self) {
                --self->m_storing;
                self->checkFinished();
            }
        });
    });
}

void DetailsReader::checkFinished()
{
    if (!busy())
        emit finished();
}
