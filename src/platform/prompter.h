#pragma once

#include <QString>

class QWidget;

// Every message box and input box of the program goes through a Prompter, so that tests can
// answer them. Message boxes have a title, a text, one button set and no icon.
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
};

// The real boxes, shown modally over the active window.
class WidgetPrompter : public Prompter
{
public:
    Answer message(const QString &title, const QString &text, Buttons buttons) override;
    QString input(const QString &prompt, const QString &title) override;
};

// True when a name the user typed can name a shelf or a book; otherwise says why, and false.
bool acceptTypedName(Prompter &prompter, const QString &name);
