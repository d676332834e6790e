#include "marks.h"

#include "appfolder.h"
#include "globalstate.h"
#include "prompter.h"
#include "readahead.h"

#include <QFile>

namespace {

void setMarksFromFile(GlobalState &g, QByteArray bytes)
{
    // Only the first line counts; it ends at CR, LF or CR LF.
    qsizetype end = bytes.size();
    for (const char eol : {'\r', '\n'}) {
        const qsizetype at = bytes.indexOf(eol);
        if (at >= 0 && at < end)
            end = at;
    }
    bytes.truncate(end);
    g.Marks.setBytes(bytes);
    g.MarksLoaded = true;
}

} // namespace

void LoadMarks(GlobalState &g)
{
    const Path path = AppFolder::file(QStringLiteral("marked.dat"));
    std::optional<QByteArray> ahead = g.readAhead ? g.readAhead->takeFile(path) : std::nullopt;
    if (ahead) {
        setMarksFromFile(g, std::move(*ahead));
        return;
    }
    if (g.FileSys.missing(path)) {
        g.MarksLoaded = true; // no marks yet: the first save creates the file
        return;
    }
    QFile file(path.shown());
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        // Marks that cannot be read must not be saved over with none.
        if (g.prompter)
            g.prompter->message(QStringLiteral("Marks Not Read"),
                                QStringLiteral("The colour marks cannot be read, so they are not "
                                               "shown and will not be saved over.\r\n\r\n%1\n%2")
                                    .arg(path.shown(), file.errorString()));
        return;
    }
    setMarksFromFile(g, bytes);
}

FsResult SaveMarks(GlobalState &g)
{
    if (!g.MarksLoaded)
        return FsResult::success();
    return g.FileSys.writeFileAtomically(AppFolder::file(QStringLiteral("marked.dat")),
                                         g.Marks.bytes(), "\r\n");
}

void SaveMarksAndTell(GlobalState &g)
{
    const FsResult saved = SaveMarks(g);
    if (!saved && !g.MarksSaveFailed && g.prompter)
        g.prompter->message(QStringLiteral("Marks Not Saved"),
                            QStringLiteral("The colour marks could not be saved. They are kept "
                                           "and saved again at the next change.\r\n\r\n")
                                + saved.error);
    g.MarksSaveFailed = !saved.ok;
}
