#include "prompter.h"

#include "names.h"

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
