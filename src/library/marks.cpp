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

Notice LoadMarks(GlobalState &g)
{
    const Path path = AppFolder::file(QStringLiteral("marked.dat"));
    // The stamp of the file before it is read: another copy's write meanwhile shows as a
    // change at the next save, and is read then.
    g.MarksStamp = g.FileSys.stamp(path);
    std::optional<QByteArray> ahead
        = g.readAhead ? g.readAhead->takeFile(path, &g.MarksStamp) : std::nullopt;
    if (ahead) {
        setMarksFromFile(g, std::move(*ahead));
        return {};
    }
    if (g.FileSys.nameState(path) == NameState::Free) {
        g.MarksLoaded = true; // no marks yet: the first save creates the file
        return {};
    }
    QFile file(path.shown());
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        // Marks that cannot be read must not be saved over with none.
        return {QStringLiteral("Marks Not Read"),
                QStringLiteral("The colour marks cannot be read, so they are not shown and will "
                               "not be saved over.\r\n\r\n%1\n%2")
                    .arg(path.shown(), file.errorString())};
    }
    setMarksFromFile(g, bytes);
    return {};
}

namespace {

void applyMark(MarksLine &marks, const QByteArray &name, int colour)
{
    // Every entry of the name goes, a damaged one or one a hand-edit repeated too.
    for (MarksLine::Entry e; (e = marks.FindMarkEntry(name)).found;)
        marks.removeEntry(e);
    if (colour)
        marks.appendEntry(name, colour);
}

} // namespace

Result<> SaveMarks(GlobalState &g, bool *reloaded)
{
    if (!g.MarksLoaded)
        return Result<>::success();
    const Path path = AppFolder::file(QStringLiteral("marked.dat"));
    // One copy of the program at a time; what another copy wrote since this one last read or
    // wrote the file is read again, and only this copy's own changes go on top of it.
    const FolderLock lock(AppFolder::path());
    const FileStamp now = g.FileSys.stamp(path);
    if (now != g.MarksStamp && now != FileStamp()) {
        const Result<QByteArray> bytes = g.FileSys.readFile(path, 64 << 20);
        if (!bytes)
            return Result<>::failure(bytes.error());
        setMarksFromFile(g, *bytes);
        for (const auto &[name, colour] : g.MarksPending)
            applyMark(g.Marks, name, colour);
        g.MarksStamp = now;
        if (reloaded)
            *reloaded = true;
        if (g.MarksPending.empty())
            return Result<>::success(); // nothing of this copy's to add
    }
    const Result<> written = g.FileSys.writeFileAtomically(path, g.Marks.bytes(), "\r\n");
    if (written) {
        g.MarksStamp = g.FileSys.stamp(path);
        g.MarksPending.clear();
    }
    return written;
}

MarksSaved changeMark(GlobalState &g, const QByteArray &name, int colour)
{
    applyMark(g.Marks, name, colour);
    g.MarksPending.emplace_back(name, colour);
    return SaveMarksAndTell(g);
}

MarksSaved SaveMarksAndTell(GlobalState &g)
{
    MarksSaved outcome;
    const Result<> saved = SaveMarks(g, &outcome.reloaded);
    if (!saved && !g.MarksSaveFailed)
        outcome.failure = {QStringLiteral("Marks Not Saved"),
                           QStringLiteral("The colour marks could not be saved. They are kept "
                                          "and saved again at the next change.\r\n\r\n")
                               + saved.error()};
    g.MarksSaveFailed = !saved;
    return outcome;
}
