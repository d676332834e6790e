#pragma once

#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
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
    // The answer of work when it comes within ms, else none: the job goes on and its answer is
    // dropped. The window paints meanwhile but takes no input.
    template<class T> static std::optional<T> within(int ms, std::function<T()> work)
    {
        QEventLoop loop;
        std::optional<T> answer;
        run<T>(&loop, std::move(work), [&loop, &answer](T r) {
            answer = std::move(r);
            loop.quit();
        });
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        return answer;
    }
    // Jobs whose thread has not ended, abandoned ones included.
    static int running() { return s_running; }

private:
    // Lives on the window's thread for the rest of the process; answers are delivered there.
    static QObject *mailbox();
    static inline std::atomic<int> s_running {0};
};
