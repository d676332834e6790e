#include "prompter.h"

#include "names.h"

void Prompter::runJob(qint64, const std::function<void(JobProgress &)> &job)
{
    struct Unseen : JobProgress
    {
        bool report(const QString &, qint64) override { return true; }
    } progress;
    job(progress);
}

bool acceptTypedName(Prompter &prompter, const QString &name)
{
    const QString problem = nameProblem(name);
    if (problem.isEmpty())
        return true;
    QString shown = name;
    shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
    if (shown.size() > 80)
        shown = shown.left(77) + QStringLiteral("...");
    prompter.message(QStringLiteral("Name Not Allowed"),
                     QStringLiteral("'%1' cannot be used as a name.\r\n%2").arg(shown, problem));
    return false;
}
