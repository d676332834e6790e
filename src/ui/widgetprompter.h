#pragma once

#include "prompter.h"

// The real boxes, shown modally over the active window. Esc and the close box give the safe
// answer: No, or Cancel. A job is followed in a window of its own, not modal: what it waits for
// or how far it has come, with a way to stop it.
class WidgetPrompter : public Prompter
{
public:
    Answer message(const QString &title, const QString &text, Buttons buttons) override;
    QString input(const QString &prompt, const QString &title,
                  const QString &proposed = QString()) override;
    void watch(Job &job) override;
};
