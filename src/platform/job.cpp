#include "job.h"

#include "diskexecutor.h"

#include <QElapsedTimer>
#include <condition_variable>
#include <mutex>
#include <optional>

// What the window and the work share: the stop, the question under way and its answer, the
// change under way, the progress.
struct Job::Shared
{
    mutable std::mutex lock;
    std::condition_variable answered;
    bool stopped = false;
    bool asking = false;
    std::optional<Prompter::Answer> answer;
    QString mayStill; // the change in the system's hands; empty when none
    QString item;
    qint64 done = 0, total = 0;
    QElapsedTimer moved; // since the work last moved on
};

// The context the work is given.
class Job::Seen : public Job::Context
{
public:
    Seen(std::shared_ptr<Shared> shared, QPointer<Job> job, Prompter *hereAndNow)
        : m_shared(std::move(shared))
        , m_job(std::move(job))
        , m_hereAndNow(hereAndNow)
    { }
    bool stopped() const override
    {
        const std::lock_guard hold(m_shared->lock);
        return m_shared->stopped;
    }
    Prompter::Answer ask(const QString &title, const QString &text,
                         Prompter::Buttons buttons) override
    {
        const Prompter::Answer safe
            = buttons == Prompter::Buttons::YesNo ? Prompter::Answer::No : Prompter::Answer::Cancel;
        if (m_hereAndNow)
            return stopped() ? safe : m_hereAndNow->message(title, text, buttons);
        std::unique_lock hold(m_shared->lock);
        if (m_shared->stopped)
            return safe;
        m_shared->asking = true;
        m_shared->answer.reset();
        DiskExecutor::deliver(m_job, [job = m_job, title, text, buttons] {
            job->answerQuestion(title, text, buttons);
        });
        m_shared->answered.wait(hold, [&] { return m_shared->answer || m_shared->stopped; });
        m_shared->asking = false;
        m_shared->moved.restart();
        return m_shared->stopped ? safe : *m_shared->answer;
    }
    bool progress(const QString &item, qint64 done, qint64 total) override
    {
        const std::lock_guard hold(m_shared->lock);
        if (done != m_shared->done || item != m_shared->item)
            m_shared->moved.restart();
        m_shared->item = item;
        m_shared->done = done;
        m_shared->total = total;
        return !m_shared->stopped;
    }
    bool beginChange(const QString &mayStill) override
    {
        // Under the lock: a stop comes either before the change (which is not made) or while
        // it is in the system's hands (and says so).
        const std::lock_guard hold(m_shared->lock);
        if (m_shared->stopped)
            return false;
        m_shared->mayStill = mayStill;
        return true;
    }
    void endChange() override
    {
        const std::lock_guard hold(m_shared->lock);
        m_shared->mayStill.clear();
        m_shared->moved.restart();
    }

private:
    std::shared_ptr<Shared> m_shared;
    QPointer<Job> m_job;
    Prompter *m_hereAndNow;
};

Job::Job(const QString &folder, Prompter &prompter, bool hereAndNow, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
    , m_prompter(prompter)
    , m_hereAndNow(hereAndNow)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->moved.start();
}

Job::~Job()
{
    // A work still waiting for an answer is let go with the safe one.
    const std::lock_guard hold(m_shared->lock);
    m_shared->stopped = true;
    m_shared->answered.notify_all();
}

void Job::start(const QByteArray &volume, Work work)
{
    m_running = true;
    m_prompter.watch(*this);
    if (m_hereAndNow) {
        Seen context(m_shared, this, &m_prompter);
        const Notice notice = work(context);
        end(context.stopped() ? Outcome::Stopped
                : notice      ? Outcome::Failed
                              : Outcome::Done,
            notice);
        return;
    }
    DiskExecutor::shared().run(
        volume, [shared = m_shared, job = QPointer<Job>(this), work = std::move(work)] {
            Seen context(shared, job, nullptr);
            const Notice notice = context.stopped() ? Notice() : work(context);
            DiskExecutor::deliver(job, [job, notice, stopped = context.stopped()] {
                if (job->m_running)
                    job->end(stopped      ? Outcome::Stopped
                                 : notice ? Outcome::Failed
                                          : Outcome::Done,
                             notice);
                else if (stopped)
                    emit job->endedLate();
            });
        });
}

void Job::stop()
{
    if (!m_running)
        return;
    QString mayStill;
    {
        const std::lock_guard hold(m_shared->lock);
        m_shared->stopped = true;
        mayStill = m_shared->mayStill;
        m_shared->answered.notify_all();
    }
    end(Outcome::Stopped,
        mayStill.isEmpty() ? Notice() : Notice {QStringLiteral("Stopped"), mayStill});
}

void Job::end(Outcome outcome, const Notice &notice)
{
    m_running = false;
    emit ending();
    emit finished(outcome, notice);
}

Job::State Job::state() const
{
    const std::lock_guard hold(m_shared->lock);
    return {m_shared->asking, m_shared->item, m_shared->done, m_shared->total,
            m_shared->moved.elapsed()};
}

void Job::answerQuestion(const QString &title, const QString &text, Prompter::Buttons buttons)
{
    // A job stopped meanwhile asks nothing more.
    if (!m_running)
        return;
    const Prompter::Answer answer = m_prompter.message(title, text, buttons);
    const std::lock_guard hold(m_shared->lock);
    m_shared->answer = answer;
    m_shared->answered.notify_all();
}
