#pragma once

#include <QString>
#include <functional>

// What a long job tells the window as it goes: the item it works on and how many bytes of the
// whole it has done; false when the user stopped it.
class JobProgress
{
public:
    virtual ~JobProgress() = default;
    virtual bool report(const QString &item, qint64 done) = 0;
};

// Every message box and input box of the program goes through a Prompter, so that the rules
// below the windows can ask and tests can answer. Message boxes have a title, a text, one
// button set and no icon.
class Prompter
{
public:
    // OkCancelToAll: OK and Cancel, then "Yes to All" and "No to All", for one question of
    // many alike.
    enum class Buttons { Ok, OkCancel, YesNo, OkCancelToAll };
    enum class Answer { Ok, Cancel, Yes, No, YesToAll, NoToAll };

    virtual ~Prompter() = default;
    virtual Answer message(const QString &title, const QString &text, Buttons buttons = Buttons::Ok)
        = 0;
    // An input box, empty or holding a proposed text; Cancel gives empty text.
    virtual QString input(const QString &prompt, const QString &title,
                          const QString &proposed = QString())
        = 0;

    // Runs a job that may take long (copying books) of total bytes: the window keeps painting
    // and, after half a second, shows its progress with Cancel; the rest of the program waits.
    // This default runs it here and now, unseen. False when the user stopped a job that does
    // not end (its folder stopped answering): it goes on alone, and the job must own all it
    // touches.
    virtual bool runJob(qint64 total, const std::function<void(JobProgress &)> &job);
    // The program ends: a job under way stops (and from now on any job stops at once).
    virtual void stopJobs() { }

    // Waits for work on a folder that may not answer (a network share, a disk that sleeps),
    // done off the window's thread: the window keeps painting; after half a second a dialog
    // shows, after three it says the folder is not answering, and Stop gives the window back.
    // False when the wait was stopped: the work goes on alone, and lateAnswer is called on the
    // window's thread when it ends. This default runs it here and now.
    virtual bool waitFor(const QString &folder, const std::function<void()> &work)
    {
        Q_UNUSED(folder)
        work();
        return true;
    }
    std::function<void()> lateAnswer;

    // True when the answer to a message is OK (or Yes).
    bool agrees(const QString &title, const QString &text, Buttons buttons)
    {
        const Answer a = message(title, text, buttons);
        return a == Answer::Ok || a == Answer::Yes;
    }
};
