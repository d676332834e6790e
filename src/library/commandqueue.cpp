#include "commandqueue.h"

#include "globalstate.h"

namespace {

// One path is the other or lies inside it.
bool overlap(const QByteArray &a, const QByteArray &b)
{
    return a == b || (a.startsWith(b) && a.at(b.size()) == '/')
        || (b.startsWith(a) && b.at(a.size()) == '/');
}

} // namespace

CommandQueue::CommandQueue(GlobalState &state, QObject *parent)
    : QObject(parent)
    , g(state)
{ }

bool CommandQueue::free(const QList<QByteArray> &holds, size_t waitingBefore) const
{
    auto clashes = [&](const QList<QByteArray> &others) {
        return std::any_of(others.begin(), others.end(), [&](const QByteArray &a) {
            return std::any_of(holds.begin(), holds.end(),
                               [&](const QByteArray &b) { return overlap(a, b); });
        });
    };
    for (const Running &r : m_running) {
        if (clashes(r.holds))
            return false;
    }
    // And after those given before it on the same files.
    for (size_t i = 0; i < waitingBefore && i < m_waiting.size(); ++i) {
        if (clashes(m_waiting[i].holds))
            return false;
    }
    return true;
}

void CommandQueue::run(Command command)
{
    if (free(command.holds, m_waiting.size()))
        start(std::move(command));
    else
        m_waiting.push_back(std::move(command));
}

void CommandQueue::start(Command command)
{
    // Tests of the rules run a command here and now (GlobalState::offThread).
    auto *job = new Job(command.folder, *g.prompter, !g.offThread, this);
    m_running.push_back({job, command.holds});
    connect(job, &Job::finished, this,
            [this, job, then = std::move(command.then)](Job::Outcome outcome, const Notice &n) {
                std::erase_if(m_running, [job](const Running &r) { return r.job == job; });
                if (n)
                    emit reported(n);
                if (then)
                    then(outcome);
                if (outcome != Job::Outcome::Stopped)
                    job->deleteLater();
                startWaiting();
                if (!busy())
                    emit idle();
            });
    connect(job, &Job::endedLate, this, [this, job] {
        emit endedLate();
        job->deleteLater();
    });
    job->start(command.volume, std::move(command.work));
}

void CommandQueue::startWaiting()
{
    for (size_t i = 0; i < m_waiting.size();) {
        if (!free(m_waiting[i].holds, i)) {
            ++i;
            continue;
        }
        Command next = std::move(m_waiting[i]);
        m_waiting.erase(m_waiting.begin() + qsizetype(i));
        start(std::move(next));
        i = 0; // it may have ended here and now, freeing others
    }
}

void CommandQueue::stopAll()
{
    m_waiting.clear();
    for (Job *job : jobs())
        job->stop();
}

std::vector<Job *> CommandQueue::jobs() const
{
    std::vector<Job *> all;
    for (const Running &r : m_running)
        all.push_back(r.job);
    return all;
}
