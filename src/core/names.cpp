#include "names.h"

#include "result.h"

namespace {
// Longest file name, in bytes, that Linux file systems take.
constexpr qsizetype MaxNameBytes = 255;
} // namespace

QString nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("A name cannot be empty.");
    if (name == u"." || name == u"..")
        return QStringLiteral("\".\" and \"..\" name folders of their own and cannot be used.");
    if (name.startsWith(u'.'))
        return QStringLiteral("A name cannot start with \".\": such files and folders are hidden, "
                              "so it would vanish from the bookcase.");
    if (name.contains(u'/'))
        return QStringLiteral("A name cannot hold \"/\": it separates folders.");
    if (name.contains(QChar(0)))
        return QStringLiteral("A name cannot hold a NUL character.");
    if (name.contains(u'\n') || name.contains(u'\r'))
        return QStringLiteral("A name cannot hold a line break.");
    if (name.toUtf8().size() > MaxNameBytes)
        return QStringLiteral("The name is too long: the file system takes at most %1 bytes.")
            .arg(MaxNameBytes);
    return {};
}

Notice typedNameNotice(const QString &name)
{
    const QString problem = nameProblem(name);
    if (problem.isEmpty())
        return {};
    QString shown = name;
    shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
    if (shown.size() > 80)
        shown = shown.left(77) + QStringLiteral("...");
    return {QStringLiteral("Name Not Allowed"),
            QStringLiteral("'%1' cannot be used as a name.\r\n%2").arg(shown, problem)};
}
