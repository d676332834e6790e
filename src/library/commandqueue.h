#pragma once

#include "job.h"

#include <QList>
#include <QObject>
#include <deque>
#include <functional>
#include <vector>

struct GlobalState;

// The commands under way, each a job. A command on a book or shelf that a command under way
// works on (the same path, or one inside the other) waits for that one to end, then runs: two
// commands never change the same files at once.
class CommandQueue : public QObject
{
    Q_OBJECT
public:
    struct Command
    {
        QString folder; // named while the command waits for it
        QByteArray volume; // a path on the volume it works on
        QList<QByteArray> holds; // the paths it works on
        Job::Work work;
        // On the window's thread, once the job has ended and its notice was told.
        std::function<void(Job::Outcome)> then;
    };

    CommandQueue(GlobalState &g, QObject *parent = nullptr);
    void run(Command command);
    // The program ends: every command stops at once, and none that waits starts.
    void stopAll();
    // Commands under way or waiting their turn.
    bool busy() const { return !m_running.empty() || !m_waiting.empty(); }
    // The jobs under way, for the windows (their waits) and the tests.
    std::vector<Job *> jobs() const;

signals:
    // A command's notice: a failure, or what a stop left in the system's hands.
    void reported(const Notice &notice);
    // A stopped command's work has ended: what it changed may show now.
    void endedLate();
    // No command is under way or waiting any more.
    void idle();

private:
    struct Running
    {
        Job *job;
        QList<QByteArray> holds;
    };
    // Whether a command may start: no command under way, nor any of the first waitingBefore
    // that wait, works on its paths.
    bool free(const QList<QByteArray> &holds, size_t waitingBefore) const;
    void start(Command command);
    void startWaiting();

    GlobalState &g;
    std::vector<Running> m_running;
    std::deque<Command> m_waiting;
};
