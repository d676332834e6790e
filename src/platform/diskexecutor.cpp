#include "diskexecutor.h"

#include "volumes.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
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
    struct Worker
    {
        std::thread thread;
        bool left = false; // its work is over: joining it waits only for the thread to end
        ~Worker()
        {
            if (thread.joinable())
                thread.join();
        }
    };
    std::mutex lock;
    std::map<std::pair<QByteArray, int>, std::unique_ptr<Queue>> queues;
    std::list<Worker> workers;
    std::condition_variable workerLeft;
    std::atomic<bool> ended = false;
    std::atomic<int> busy = 0;

    // The threads whose work is over, joined as the list goes (without the lock held).
    std::list<Worker> takeLeft()
    {
        std::list<Worker> left;
        for (auto it = workers.begin(); it != workers.end();)
            if (it->left)
                left.splice(left.end(), workers, it++);
            else
                ++it;
        return left;
    }

    void work(Queue &q, Lane lane, Worker &self)
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
                self.left = true;
                workerLeft.notify_all();
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
        Shared::Worker &worker = s.workers.emplace_back();
        // The new thread joins those that left, so that the window never waits for one.
        worker.thread = std::thread(
            [shared = m_shared, queue = q.get(), lane, &worker, left = s.takeLeft()]() mutable {
                left.clear();
                shared->work(*queue, lane, worker);
            });
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

bool DiskExecutor::waitForThreads(std::chrono::milliseconds most)
{
    Shared &s = *m_shared;
    std::unique_lock hold(s.lock);
    s.workerLeft.wait_for(hold, most, [&] {
        return std::all_of(s.workers.begin(), s.workers.end(),
                           [](const Shared::Worker &w) { return w.left; });
    });
    std::list<Shared::Worker> left = s.takeLeft();
    for (Shared::Worker &stuck : s.workers) // held by a call the system has not given back
        if (stuck.thread.joinable())
            stuck.thread.detach();
    const bool allLeft = s.workers.empty();
    hold.unlock();
    return allLeft;
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
