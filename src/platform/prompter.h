#pragma once

#include <QString>

class Job;

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
    // A job has started: the window follows it (after half a second it shows what the job waits
    // for or how far it has come, with a way to stop it) until it finishes.
    virtual void watch(Job &job) { Q_UNUSED(job) }

    // True when the answer to a message is OK (or Yes).
    bool agrees(const QString &title, const QString &text, Buttons buttons)
    {
        const Answer a = message(title, text, buttons);
        return a == Answer::Ok || a == Answer::Yes;
    }
};
