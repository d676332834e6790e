#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The one place where the library's disk is waited on: work that may touch a slow or stopped
// disk runs here, off the window's thread, on a few threads for each volume (keyed by its mount
// point, found without touching it), so that a share that stopped answering holds only its own
// threads, never the local disk's or the window's. A thread stuck in a system call is
// abandoned, never waited for without a limit: it ends with the process. Answers come back to the
// window's thread, and only while their receiver lives.
class DiskExecutor
{
public:
    // Commands and listings, or work that waits behind them at the lowest priority (covers,
    // details).
    enum class Lane { Commands, Background };

    static DiskExecutor &shared();
    // Runs work on a thread of the volume that holds path; it waits its turn when all of that
    // volume's threads are busy.
    void run(const QByteArray &path, std::function<void()> work, Lane lane = Lane::Commands);
    // The program ends: no work starts from now on and no answer is delivered; what runs is
    // left to the system.
    void end();
    // After end(): waits at most that long for every thread to end, and false when some are
    // still held by a call the system has not given back. Code after a true answer runs alone.
    bool waitForThreads(std::chrono::milliseconds most);
    bool ended() const;
    // Work given and not ended, waiting or stuck work included.
    int busy() const;
    // How many threads one volume's lane may hold.
    static int threadsFor(Lane lane);

    // Runs fn on the window's thread, if receiver still lives then (and the program goes on).
    static void deliver(QObject *receiver, std::function<void()> fn);
    // The work's answer, handed to done on the window's thread while receiver lives.
    template<class T>
    void ask(const QByteArray &path, QObject *receiver, std::function<T()> work,
             std::function<void(T)> done, Lane lane = Lane::Commands)
    {
        run(
            path,
            [receiver = QPointer<QObject>(receiver), work = std::move(work),
             done = std::move(done)] {
                auto answer = std::make_shared<T>(work());
                deliver(receiver, [done, answer] { done(std::move(*answer)); });
            },
            lane);
    }

    // The work's answer when it comes within ms, else none (the work goes on, its answer
    // dropped): for start-up, which waits that long at most, without turning the event loop.
    template<class T>
    std::optional<T> within(const QByteArray &path, int ms, std::function<T()> work)
    {
        struct Answer
        {
            std::mutex lock;
            std::condition_variable came;
            std::optional<T> value;
        };
        auto answer = std::make_shared<Answer>();
        run(path, [answer, work = std::move(work)] {
            T value = work();
            const std::lock_guard hold(answer->lock);
            answer->value = std::move(value);
            answer->came.notify_all();
        });
        std::unique_lock hold(answer->lock);
        answer->came.wait_for(hold, std::chrono::milliseconds(ms),
                              [&] { return answer->value.has_value(); });
        return answer->value;
    }

private:
    DiskExecutor() = default;
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
