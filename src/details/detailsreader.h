#pragma once

#include "detailscache.h"

#include <QObject>
#include <QThreadPool>
#include <deque>
#include <functional>
#include <vector>

class QProcess;
class QTimer;

// Limits for a helper program, called in the child before it starts: a lower priority by
// `niceness`, a memory limit, so that a parser that runs away costs one book, and an end when
// the program ends.
void limitHelper(int niceness);
// Ends a helper without waiting for it: one stuck on a share that stopped answering goes when
// the share lets it, and its QProcess is held until then (kept, when the program ends first).
void letGo(QProcess *helper);

// Reads what books say of themselves through the helper program (quillrack-thumbnailer
// --batch), many books a run, a few runs at once, at the lowest priority, and stores each
// answer in the details cache. A book that a helper takes too long on, or crashes on, is tried
// once more after the others, then recorded as read with nothing known; a new helper goes on
// with the rest. Nothing here waits.
class DetailsReader : public QObject
{
    Q_OBJECT
public:
    explicit DetailsReader(QObject *parent = nullptr);
    ~DetailsReader() override;

    struct Book
    {
        QByteArray path;
        DetailsCache::Stamp stamp; // the version the caller knows of
        bool retried = false; // a helper ran out of time on it, or crashed, once
    };
    // Adds books to read, after those waiting.
    void read(const std::vector<Book> &books);
    // Drops what waits and ends the helpers; what was read is kept.
    void stop();
    bool busy() const { return !m_waiting.empty() || !m_runs.empty() || m_storing > 0; }

    QString helper;
    int timeLimitMs = 5000; // a book; on a network share twelve times as long
    // Whether books lie on a network share (the program asks the mount table).
    std::function<bool(const QByteArray &path)> onShare;
    int mostAtOnce = 2;
    int booksPerRun = 500;

signals:
    void answered(const QByteArray &path, const BookDetails &details);
    // Every book asked for is read and its row committed.
    void finished();

private:
    struct Run;
    void startRuns();
    void take(Run *run);
    void ended(Run *run);
    void store(std::vector<DetailsCache::Row> rows);
    void checkFinished();

    std::deque<Book> m_waiting;
    std::vector<Run *> m_runs;
    int m_storing = 0;
    QThreadPool m_pool; // one thread: the cache's writer
};
