#pragma once

#include "prompter.h"
#include "result.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// A command's disk work as a job, in the manner of KIO's KJob and GIO's GTask with its
// GCancellable: it takes everything it needs when the user acts, runs its whole disk sequence
// on the disk executor, asks its questions through the window (and waits for the answers
// itself, never the window), tells its progress, and ends once: done, failed with a notice, or
// stopped. Stop takes effect at once: the work takes no later step and asks nothing more; a
// change already handed to the system cannot be taken back, and the stop says so.
class Job : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Done, Failed, Stopped };

    // What the work sees of its job, on the executor's thread.
    class Context
    {
    public:
        virtual ~Context() = default;
        virtual bool stopped() const = 0;
        // A question for the user, answered through the window; the safe answer (Cancel, No)
        // once the job is stopped.
        virtual Prompter::Answer ask(const QString &title, const QString &text,
                                     Prompter::Buttons buttons)
            = 0;
        // The item worked on and the bytes done of the total; false once stopped.
        virtual bool progress(const QString &item, qint64 done, qint64 total) = 0;
        // A call that changes the disk begins: false when the job was stopped (the call is not
        // to be made); else a stop before it ends says that what mayStill says may still
        // happen, and the job's late end is told. Then it has ended.
        virtual bool beginChange(const QString &mayStill) = 0;
        virtual void endChange() = 0;
        // A call that changes the disk, between the two above; nothing when stopped first.
        template<class F>
        auto change(const QString &mayStill, F call) -> std::optional<decltype(call())>
        {
            if (!beginChange(mayStill))
                return std::nullopt;
            struct End
            {
                Context &c;
                ~End() { c.endChange(); }
            } end {*this};
            return call();
        }
    };
    using Work = std::function<Notice(Context &)>;

    // A job over a folder (named while the job waits for it); its work and questions go through
    // the prompter. Here and now, it runs where it is started and asks the prompter directly:
    // for tests of the rules that do not look at the threads.
    Job(const QString &folder, Prompter &prompter, bool hereAndNow = false,
        QObject *parent = nullptr);
    ~Job() override;

    const QString &folder() const { return m_folder; }
    // Starts the work on the executor of the volume of `volume` (a path).
    void start(const QByteArray &volume, Work work);
    // Stops it; no later step is taken. Nothing when it has ended.
    void stop();
    bool running() const { return m_running; }

    // What the window shows of a job under way.
    struct State
    {
        bool asking = false; // a question is shown: the job waits for the user
        QString item; // what a copy works on
        qint64 done = 0, total = 0; // bytes of the copy
        qint64 stillMs = 0; // since the job last moved on
    };
    State state() const;

signals:
    // Once, just before finished: the job's window goes before what the job says is told.
    void ending();
    // Once: the outcome, and the notice of a failure, or of a stop that came while a change
    // was in the system's hands.
    void finished(Job::Outcome outcome, const Notice &notice);
    // The work ended after it was stopped (a change it had begun may have happened): once.
    void endedLate();

private:
    struct Shared;
    class Seen;
    void end(Outcome outcome, const Notice &notice);
    void answerQuestion(const QString &title, const QString &text, Prompter::Buttons buttons);

    QString m_folder;
    Prompter &m_prompter;
    bool m_hereAndNow;
    bool m_running = false;
    std::shared_ptr<Shared> m_shared;
};
Q_DECLARE_METATYPE(Job::Outcome)
