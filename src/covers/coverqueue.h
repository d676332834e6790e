#pragma once

#include "bookdetails.h"
#include "detailsreader.h"
#include "filesys.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <vector>

class QProcess;

// Covers and details for the book grid: from the shared thumbnail cache and the details cache,
// or read by the helper program (quillrack-thumbnailer), one run a book for both, never in
// this process. Nothing here waits: the cache is read on
// other threads, the helpers run beside the window, and each answer comes as a signal.
class CoverQueue : public QObject
{
    Q_OBJECT
public:
    explicit CoverQueue(QObject *parent = nullptr);
    ~CoverQueue() override;

    // The books a page shows now, for slots of a size in device pixels: each cover comes
    // scaled to fit the slot. Wishes of earlier pages that no helper has started on are dropped.
    void want(const QList<QByteArray> &paths, const QSize &box);

    // The helper, its time limit (on a network share, twelve times as long: every read of the
    // book waits for the network) and how many run at once (one core is the window's).
    QString helper;
    int timeLimitMs = 5000;
    int mostAtOnce;
    // The seam the books are looked at through.
    FileSys fileSys;
    // Whether the books' details are wanted with their covers.
    bool withDetails = true;

signals:
    // A book's cover; a null image when it has none (it then keeps the closed book).
    void ready(const QByteArray &path, const QImage &cover);
    // What a book says of itself (empty when nothing).
    void detailsReady(const QByteArray &path, const BookDetails &details);

private:
    struct Job
    {
        QByteArray path;
        QSize box; // the slot's size in device pixels
        bool large; // a thumbnail of 256 px, else of 128
        DetailsCache::Stamp stamp; // the file as it was looked up
        bool cover = true, details = true; // what a helper is to read
        bool retried = false; // a helper ran out of time on it once
    };
    void look(const std::vector<Job> &jobs);
    void startHelpers();
    enum class Outcome { Made, NoCover, Broken, Overran };
    void helperDone(QProcess *process, const Job &job, const QString &output, Outcome outcome);
    void answer(const Job &job, const QImage &cover, const BookDetails &details, bool changed,
                Outcome outcome);

    std::deque<Job> m_waiting; // for a helper
    QHash<QByteArray, quint64> m_busy; // looked up or being made: the last want() to ask
    int m_running = 0;
    quint64 m_page = 0;
    quint64 m_made = 0;
    QTemporaryDir m_outputs;
    DetailsReader m_details;
    std::vector<DetailsReader::Book> m_detailsWanted; // of the page shown
    QTimer m_detailsLater;
};
