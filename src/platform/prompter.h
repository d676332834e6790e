#pragma once

#include <QString>

// Every message box and input box of the program goes through a Prompter, so that the rules
// below the windows can ask and tests can answer. Message boxes have a title, a text, one
// button set and no icon.
class Prompter
{
public:
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompter() = default;
    virtual Answer message(const QString &title, const QString &text, Buttons buttons = Buttons::Ok)
        = 0;
    // An input box with an empty default; Cancel gives empty text.
    virtual QString input(const QString &prompt, const QString &title) = 0;

    // True when the answer to a message is OK (or Yes).
    bool agrees(const QString &title, const QString &text, Buttons buttons)
    {
        const Answer a = message(title, text, buttons);
        return a == Answer::Ok || a == Answer::Yes;
    }
};

// True when a name the user typed can name a shelf or a book; otherwise says why, and false.
bool acceptTypedName(Prompter &prompter, const QString &name);
