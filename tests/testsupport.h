#pragma once

#include "frmshelf.h"
#include "globalstate.h"
#include "prompter.h"
#include "widgets.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>

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

// Limits the size of files this process may write, for one scope: writes past it fail with
// EFBIG (SIGXFSZ ignored), as on a full disk. Construct it with braces: FileSizeLimit f{n};
class FileSizeLimit
{
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();

private:
    unsigned long m_old;
};

// Runs fn once the event loop next turns: the way to act inside a modal wait.
void later(std::function<void()> fn);

// Records what the shelf window asks of the program around it.
class FakeHost : public ShelfHost
{
public:
    void showShelfPopUp(const QString &title) override
    {
        popUps << QStringLiteral("shelf:") + title;
    }
    void showBookPopUp(const QString &title) override { popUps << QStringLiteral("book:") + title; }
    bool askForFolders() override
    {
        ++folderRequests;
        if (onAskForFolders)
            onAskForFolders();
        return folderRequests < 10; // a loop that never ends is a failure, not a hang
    }
    QStringList popUps;
    int folderRequests = 0;
    std::function<void()> onAskForFolders;
};

// A library of `shelves` shelves ("Shelf 1", "Shelf 2", ...), the first holding `books` books
// ("Book 0.txt", ...), an app folder with an optional marked.dat, and a reader folder, shown
// in a freshly loaded shelf window.
struct ShelfFixture
{
    TempTree tree;
    GlobalState g;
    ScriptedPrompter prompter;
    FakeHost host;
    std::unique_ptr<frmShelf> w;
    QString bookFolder; // the Main Book Folder as configured; lib/ when empty

    ShelfFixture(int shelves, int books, const QByteArray &marks = QByteArray());
    void load();
    int shownShelves() const;
    int shownBooks() const;
    // The slot that shows a book, or -1.
    int slotOf(const QString &fileName) const;
    QStringList bookNames() const { return w->BookList().toStringList(); }
};
