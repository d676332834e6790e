#include "prompter.h"

bool Prompter::runJob(qint64, const std::function<void(JobProgress &)> &job)
{
    struct Unseen : JobProgress
    {
        bool report(const QString &, qint64) override { return true; }
    } progress;
    job(progress);
    return true;
}
