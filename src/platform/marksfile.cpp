#include "marksfile.h"

#include "appfolder.h"
#include "configfile.h"
#include "globalstate.h"

#include <QFile>

void LoadMarks(GlobalState &g)
{
    const QString path = AppFolder::file(QStringLiteral("marked.dat"));
    g.MarksLoaded = true;
    if (!g.FileSys.FileExists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Only the first line counts; it ends at CR, LF or CR LF.
    const QByteArray bytes = file.readAll();
    qsizetype end = bytes.size();
    for (const char eol : {'\r', '\n'}) {
        const qsizetype at = bytes.indexOf(eol);
        if (at >= 0 && at < end)
            end = at;
    }
    g.Marks.setLine(QString::fromUtf8(bytes.constData(), end));
}

FsResult SaveMarks(GlobalState &g)
{
    if (!g.MarksLoaded)
        return FsResult::success();
    return g.FileSys.CreateTextFile(AppFolder::file(QStringLiteral("marked.dat")),
                                    {g.Marks.line()});
}
