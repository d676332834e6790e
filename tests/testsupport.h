#pragma once

#include "prompter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>

// Answers message and input boxes from a script and records what was asked.
class ScriptedPrompter : public Prompter
{
public:
    struct Asked
    {
        QString title;
        QString text;
    };

    Answer message(const QString &title, const QString &text, Buttons buttons) override;
    QString input(const QString &prompt, const QString &title) override;

    // Runs when the next message box is shown (before it is answered); may drive dialogs.
    std::deque<std::function<void()>> onMessage;
    std::deque<Answer> answers; // default: Ok, or Yes for Yes/No boxes
    std::deque<QString> inputs;
    QList<Asked> asked;
};

// A temporary folder with one-line helpers to lay out a library and an app folder.
class TempTree
{
public:
    TempTree();
    QString path(const QString &relative = QString()) const;
    QString mkdir(const QString &relative);
    QString write(const QString &relative, const QByteArray &content = "x");
    QByteArray read(const QString &relative) const;
    bool exists(const QString &relative) const;

private:
    QTemporaryDir m_dir;
};

// Runs fn once the event loop next turns: the way to act inside a modal wait.
void later(std::function<void()> fn);
