#pragma once

#include "bookcase.h"
#include "commands.h"
#include "globalstate.h"
#include "prompter.h"
#include "rows.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <unistd.h>

// Answers message and input boxes from a script and records what was asked. A box the script
// does not answer gets the safe answer: Cancel, or No.
class ScriptedPrompter : public Prompter
{
public:
    Answer message(const QString &title, const QString &text, Buttons buttons) override;
    QString input(const QString &prompt, const QString &title,
                  const QString &proposed = QString()) override;
    QStringList titles() const;
    bool told(const QString &needle) const; // some box's text holds needle

    std::deque<std::function<void()>> onMessage; // runs as the next box is shown
    std::deque<Answer> answers;
    std::deque<QString> inputs; // Proposed takes the text the box proposes
    static inline const QString Proposed = QStringLiteral("\x01proposed");
    QList<std::pair<QString, QString>> asked; // title and text (or prompt)
};

// A temporary folder with helpers to lay out a library and an app folder in one line each.
class TempTree
{
public:
    TempTree() = default;
    explicit TempTree(const QString &templatePath) // "/dev/shm/name-XXXXXX": elsewhere
        : m_dir(templatePath)
    { }
    ~TempTree(); // removes also names that are not UTF-8
    QString path(const QString &relative = QString()) const { return m_dir.filePath(relative); }
    QString mkdir(const QString &relative);
    // Paths as text, or as bytes for names that are not valid UTF-8.
    QString write(const QString &relative, const QByteArray &content = "x");
    void writeBytes(const QByteArray &relative, const QByteArray &content);
    QByteArray read(const QString &relative) const { return readBytes(relative.toUtf8()); }
    QByteArray readBytes(const QByteArray &relative) const; // "<missing>" when it cannot be read
    QStringList entries(const QString &relative) const; // hidden ones too

private:
    QTemporaryDir m_dir;
};

// Limits the size of files this process may write, for one scope: writes past it fail with
// EFBIG (SIGXFSZ ignored), as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();

private:
    unsigned long m_old;
};

// Runs fn once the event loop next turns (or after ms): the way to act inside a modal wait.
void later(std::function<void()> fn, int ms = 0);

// Root ignores permissions: rows about read-only folders skip as root (CTest runs those rows
// again as another user).
inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}

// A library of `shelves` shelves ("Shelf 1", ...), the first holding `books` books ("Book
// 0.txt", ...), an app folder with an optional marked.dat and a reader folder, with the
// bookcase model and its commands on it: no window. Its jobs run here and now
// (GlobalState::offThread false), so that the model's rules are tested step by step; the jobs
// off the window's thread have tests of their own (a test sets offThread), and the windows'
// tests run them as the program does.
struct Library
{
    TempTree tree;
    GlobalState g;
    ScriptedPrompter prompter;
    std::unique_ptr<Bookcase> model;
    std::unique_ptr<Commands> commands;

    explicit Library(int shelves = 2, int books = 0, const QByteArray &marks = QByteArray());
    void load();
    int slotOf(const QByteArray &file) const; // the book slot that shows file, or -1
    void onBook(const QByteArray &file) { model->aimAtBook(slotOf(file)); }
    QStringList shelves() const { return model->ShelfList().toStringList(); }
    QStringList page() const; // the files the book slots show
};
