#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Runs work that may touch a slow or stopped disk off the window's thread. Each job has a
// thread of its own that is never joined: one stuck in a system call is abandoned and ends
// with the process. Its answer comes back on the receiver's thread, and only while the
// receiver lives.
class DiskJobs
{
public:
    template<class T>
    static void run(QObject *receiver, std::function<T()> work, std::function<void(T)> done)
    {
        QObject *box = mailbox();
        QPointer<QObject> alive(receiver);
        ++s_running;
        std::thread([box, alive, work = std::move(work), done = std::move(done)] {
            auto result = std::make_shared<T>(work());
            QMetaObject::invokeMethod(
                box,
                [alive, done, result] {
                    if (alive)
                        done(std::move(*result));
                },
                Qt::QueuedConnection);
            --s_running;
        }).detach();
    }
    // Jobs whose thread has not ended, abandoned ones included.
    static int running() { return s_running; }

private:
    // Lives on the window's thread for the rest of the process; answers are delivered there.
    static QObject *mailbox();
    static inline std::atomic<int> s_running {0};
};
