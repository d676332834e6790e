#include "transfer.h"

#include "bookname.h"
#include "prompter.h"

#include <memory>
#include <optional>
#include <tuple>

namespace {

// A book's bytes as the whole batch counts them, handed on to the window's progress.
class BookProgress : public CopyProgress
{
public:
    BookProgress(JobProgress &job, const QString &item, qint64 before)
        : m_job(job)
        , m_item(item)
        , m_before(before)
    { }
    bool advance(qint64 flushed) override
    {
        m_stopped = m_stopped || !m_job.report(m_item, m_before + flushed);
        return !m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    JobProgress &m_job;
    QString m_item;
    qint64 m_before;
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

TransferOutcome transferBook(const FileSys &fs, Prompter &prompter, const Transfer &t)
{
    return transferBooks(fs, prompter, {t});
}

TransferOutcome transferBooks(const FileSys &fs, Prompter &prompter,
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
    for (const Transfer &t : batch) {
        if (fs.sameFile(t.source, t.target))
            continue;
        const bool exists = fs.FileExists(t.target);
        if (exists && !replaceAll) {
            const Answer a = batch.size() == 1
                ? prompter.message(QStringLiteral("File Exists"),
                                   QStringLiteral("File Exists. Do you wish to overwrite?"),
                                   Prompter::Buttons::OkCancel)
                : prompter.message(QStringLiteral("File Exists"),
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
        return {batch.size() == 1 && fs.sameFile(batch[0].source, batch[0].target)
                    ? TransferResult::SameFile
                    : TransferResult::Declined,
                {}};

    // The job owns all it touches: stopped while its folder does not answer, it goes on alone
    // and ends the book under way in one place.
    struct Work
    {
        std::vector<std::tuple<Transfer, bool, qint64>> books; // with overwrite and size
        std::vector<QString> arrived;
        FsResult failure;
    };
    auto work = std::make_shared<Work>();
    for (const Going &g : going)
        work->books.emplace_back(*g.t, g.overwrite, g.size);
    const bool ended = prompter.runJob(total, [work, fs = fs](JobProgress &job) {
        qint64 before = 0;
        for (const auto &[t, overwrite, size] : work->books) {
            const QString name = shownName(lastPathPart(t.target.bytes()));
            BookProgress progress(job, name, before);
            if (!progress.advance(0))
                return;
            const FsResult r = t.move ? fs.MoveFile(t.source, t.target, overwrite, &progress)
                                      : fs.CopyFile(t.source, t.target, overwrite, &progress);
            if (progress.stopped())
                return; // the user stopped it: what is done stays, nothing half-copied
            if (!r) {
                work->failure = r;
                return;
            }
            work->arrived.push_back(name);
            before += size;
        }
    });
    if (!ended)
        return {TransferResult::Declined, {}}; // the view is read again when it ends
    const std::vector<QString> &arrived = work->arrived;
    const FsResult &failure = work->failure;
    if (!failure) {
        const Transfer &t = *going[arrived.size()].t;
        QString text = t.failureText + QStringLiteral("\r\n\r\n") + failure.error;
        if (going.size() > 1)
            text += arrived.empty()
                ? QStringLiteral("\r\n\r\nNo book of the batch arrived before it.")
                : QStringLiteral("\r\n\r\nThese arrived before it: %1.").arg(namesOf(arrived));
        return {TransferResult::Failed, {t.failureTitle, text}};
    }
    return {arrived.empty() ? TransferResult::Declined : TransferResult::Done, {}};
}
