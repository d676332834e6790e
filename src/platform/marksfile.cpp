#include "marksfile.h"

#include "appfolder.h"
#include "configfile.h"
#include "globalstate.h"

#include <limits>

void LoadMarks(GlobalState &g)
{
    const QString path = AppFolder::file(QStringLiteral("marked.dat"));
    g.MarksLoaded = true;
    if (!g.FileSys.FileExists(path))
        return;
    const std::optional<QByteArray> bytes
        = g.FileSys.readFile(path, std::numeric_limits<int>::max() / 4);
    if (!bytes)
        return;
    // Only the first line counts; it ends at CR, LF or CR LF.
    qsizetype end = bytes->size();
    for (qsizetype i = 0; i < bytes->size(); ++i) {
        const char c = bytes->at(i);
        if (c == '\r' || c == '\n') {
            end = i;
            break;
        }
    }
    g.Marks.setLine(QString::fromUtf8(bytes->constData(), end));
}

FsResult SaveMarks(GlobalState &g)
{
    if (!g.MarksLoaded)
        return FsResult::success();
    return g.FileSys.CreateTextFile(AppFolder::file(QStringLiteral("marked.dat")),
                                    {g.Marks.line()});
}
