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
    QByteArray bytes = file.readAll();
    qsizetype end = bytes.size();
    for (const char eol : {'\r', '\n'}) {
        const qsizetype at = bytes.indexOf(eol);
        if (at >= 0 && at < end)
            end = at;
    }
    bytes.truncate(end);
    g.Marks.setBytes(bytes);
}

FsResult SaveMarks(GlobalState &g)
{
    if (!g.MarksLoaded)
        return FsResult::success();
    return g.FileSys.writeFileAtomically(AppFolder::file(QStringLiteral("marked.dat")),
                                         g.Marks.bytes() + "\r\n");
}
