#include "diskexecutor.h"

#include "volumes.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// Lives on the window's thread for the rest of the process: an answer that comes back late,
// even while the program ends, finds it.
QObject *mailbox()
{
    static QObject *const box = [] {
        auto *o = new QObject;
        if (QCoreApplication::instance())
            o->moveToThread(QCoreApplication::instance()->thread());
        return o;
    }();
    return box;
}

} // namespace

struct DiskExecutor::Shared
{
    struct Queue
    {
        std::deque<std::function<void()>> tasks;
        std::condition_variable ready;
        int threads = 0, idle = 0;
    };
    std::mutex lock;
    std::map<std::pair<QByteArray, int>, std::unique_ptr<Queue>> queues;
    std::atomic<bool> ended = false;
    std::atomic<int> busy = 0;

    void work(Queue &q, Lane lane)
    {
        if (lane == Lane::Background) // below everything else, the window's drawing first
            ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 19);
        std::unique_lock hold(lock);
        for (;;) {
            ++q.idle;
            // An idle thread ends after a while; a busy volume makes new ones.
            const bool given = q.ready.wait_for(hold, std::chrono::seconds(10),
                                                [&] { return ended || !q.tasks.empty(); });
            --q.idle;
            if (!given || ended) {
                --q.threads;
                return;
            }
            std::function<void()> task = std::move(q.tasks.front());
            q.tasks.pop_front();
            hold.unlock();
            task();
            task = nullptr;
            hold.lock();
            --busy;
        }
    }
};

DiskExecutor &DiskExecutor::shared()
{
    // Never destroyed: threads abandoned in a system call may come back to it at any time.
    static DiskExecutor *const executor = [] {
        auto *e = new DiskExecutor;
        e->m_shared = std::make_shared<Shared>();
        mailbox();
        return e;
    }();
    return *executor;
}

int DiskExecutor::threadsFor(Lane lane)
{
    return lane == Lane::Commands ? 3 : qMax(2, QThread::idealThreadCount());
}

void DiskExecutor::run(const QByteArray &path, std::function<void()> work, Lane lane)
{
    Shared &s = *m_shared;
    if (s.ended)
        return;
    const QByteArray volume = Volumes::holding(path).root;
    const std::lock_guard hold(s.lock);
    std::unique_ptr<Shared::Queue> &q = s.queues[{volume, int(lane)}];
    if (!q)
        q = std::make_unique<Shared::Queue>();
    q->tasks.push_back(std::move(work));
    ++s.busy;
    if (q->idle > 0) {
        q->ready.notify_one();
    } else if (q->threads < threadsFor(lane)) {
        ++q->threads;
        std::thread([shared = m_shared, queue = q.get(), lane] {
            shared->work(*queue, lane);
        }).detach();
    }
}

void DiskExecutor::end()
{
    Shared &s = *m_shared;
    const std::lock_guard hold(s.lock);
    s.ended = true;
    for (auto &[key, q] : s.queues) {
        s.busy -= int(q->tasks.size());
        q->tasks.clear();
        q->ready.notify_all();
    }
}

bool DiskExecutor::ended() const
{
    return m_shared->ended;
}

int DiskExecutor::busy() const
{
    return m_shared->busy;
}

void DiskExecutor::deliver(QObject *receiver, std::function<void()> fn)
{
    if (shared().ended())
        return;
    QMetaObject::invokeMethod(
        mailbox(),
        [alive = QPointer<QObject>(receiver), fn = std::move(fn)] {
            if (alive && !shared().ended())
                fn();
        },
        Qt::QueuedConnection);
}
