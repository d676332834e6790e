#include "transfer.h"

#include "bookname.h"

#include <optional>

namespace {

// A book's bytes as the whole batch counts them, handed on to the job; a step that cannot be
// stopped names what may still happen.
class BookProgress : public CopyProgress
{
public:
    BookProgress(Job::Context &job, const Transfer &t, qint64 before, qint64 total)
        : m_job(job)
        , m_item(shownName(lastPathPart(t.target.bytes())))
        , m_before(before)
        , m_total(total)
        , m_mayStill(QStringLiteral("'%1' may still be %2 when the folder answers again.")
                         .arg(m_item, t.move ? QStringLiteral("moved") : QStringLiteral("copied")))
    { }
    bool advance(qint64 flushed) override
    {
        m_stopped = m_stopped || !m_job.progress(m_item, m_before + flushed, m_total);
        return !m_stopped;
    }
    bool changeBegins() override
    {
        m_stopped = m_stopped || !m_job.beginChange(m_mayStill);
        return !m_stopped;
    }
    void changeEnded() override { m_job.endChange(); }
    bool stopped() const { return m_stopped; }

private:
    Job::Context &m_job;
    QString m_item;
    qint64 m_before, m_total;
    QString m_mayStill;
    bool m_stopped = false;
};

QString namesOf(const std::vector<QString> &names)
{
    constexpr size_t Shown = 10;
    QStringList list;
    for (size_t i = 0; i < names.size() && i < Shown; ++i)
        list << names[i];
    QString text = list.join(QStringLiteral(", "));
    if (names.size() > Shown)
        text += QStringLiteral(" and %1 more").arg(names.size() - Shown);
    return text;
}

} // namespace

Transfer toShelf(const Path &source, const Path &shelfFolder, const QByteArray &shelfName,
                 bool move)
{
    const QByteArray name = lastPathPart(source.bytes());
    return {source, shelfFolder / name, move,
            move ? QStringLiteral("Cannot Move Book") : QStringLiteral("Cannot Copy Book"),
            QStringLiteral("'%1' could not be %2 to the shelf %3.")
                .arg(shownName(name), move ? QStringLiteral("moved") : QStringLiteral("copied"),
                     shownName(shelfName))};
}

TransferOutcome transferBooks(const FileSys &fs, Job::Context &job,
                              const std::vector<Transfer> &batch)
{
    using Answer = Prompter::Answer;
    struct Going
    {
        const Transfer *t;
        bool overwrite;
        qint64 size;
    };
    std::vector<Going> going;
    std::optional<bool> replaceAll; // "Yes to All" or "No to All" answered
    qint64 total = 0;
    bool sameFile = false;
    for (const Transfer &t : batch) {
        if (job.stopped())
            return {TransferResult::Declined, {}, {}};
        if (fs.sameFile(t.source, t.target)) {
            sameFile = true;
            continue;
        }
        const bool exists = fs.FileExists(t.target);
        if (exists && !replaceAll) {
            const Answer a = batch.size() == 1
                ? job.ask(QStringLiteral("File Exists"),
                          QStringLiteral("File Exists. Do you wish to overwrite?"),
                          Prompter::Buttons::OkCancel)
                : job.ask(QStringLiteral("File Exists"),
                          QStringLiteral("'%1': File Exists. Do you wish to overwrite?")
                              .arg(shownName(lastPathPart(t.target.bytes()))),
                          Prompter::Buttons::OkCancelToAll);
            if (a == Answer::YesToAll || a == Answer::NoToAll)
                replaceAll = a == Answer::YesToAll;
            if (a != Answer::Ok && a != Answer::YesToAll)
                continue; // Cancel skips this book; the others go on
        } else if (exists && !*replaceAll) {
            continue;
        }
        going.push_back({&t, exists, qMax<qint64>(0, fs.stamp(t.source).size)});
        total += going.back().size;
    }
    if (going.empty())
        return {batch.size() == 1 && sameFile ? TransferResult::SameFile : TransferResult::Declined,
                {},
                {}};
    TransferOutcome outcome {TransferResult::Declined, {}, {}};
    std::vector<QString> arrived;
    qint64 before = 0;
    for (const Going &g : going) {
        const Transfer &t = *g.t;
        BookProgress progress(job, t, before, total);
        if (!progress.advance(0))
            break; // stopped: what is done stays
        const Result<> r = t.move ? fs.MoveFile(t.source, t.target, g.overwrite, &progress)
                                  : fs.CopyFile(t.source, t.target, g.overwrite, &progress);
        if (progress.stopped() && !r)
            break; // stopped part-way: nothing half-copied stays
        if (!r) {
            QString text = t.failureText + QStringLiteral("\r\n\r\n") + r.error();
            if (going.size() > 1)
                text += arrived.empty()
                    ? QStringLiteral("\r\n\r\nNo book of the batch arrived before it.")
                    : QStringLiteral("\r\n\r\nThese arrived before it: %1.").arg(namesOf(arrived));
            outcome.result = TransferResult::Failed;
            outcome.failure = {t.failureTitle, text};
            return outcome;
        }
        arrived.push_back(shownName(lastPathPart(t.target.bytes())));
        outcome.arrived.push_back(t.source);
        outcome.result = TransferResult::Done;
        before += g.size;
    }
    return outcome;
}
