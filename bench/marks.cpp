#include "bench.h"

void marksGroup(Bench &b)
{
    // Saving the marks, and marking a book (saved at once), against making the same bytes safe
    // on disk by hand: written to a temporary file, flushed, renamed, the folder flushed.
    const int reps = b.reps, manyMarks = b.manyMarks;
    GlobalState gs;
    gs.Marks.setBytes(marksLine(manyMarks));
    gs.MarksLoaded = true;
    const QString saveDir = b.root + QStringLiteral("/save");
    QDir().mkpath(saveDir);
    AppFolder::setOverride(saveDir);
    const QByteArray rawTarget = QFile::encodeName(saveDir + QStringLiteral("/raw.dat"));
    const QByteArray rawTemp = QFile::encodeName(saveDir + QStringLiteral("/raw.tmp"));
    auto raw = [&](const QByteArray &bytes) {
        const int fd = ::open(rawTemp.constData(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        [[maybe_unused]] ssize_t n = ::write(fd, bytes.constData(), size_t(bytes.size()));
        ::fsync(fd);
        ::close(fd);
        ::rename(rawTemp.constData(), rawTarget.constData());
        const int dir = ::open(QFile::encodeName(saveDir).constData(), O_RDONLY | O_DIRECTORY);
        ::fsync(dir);
        ::close(dir);
    };
    const QString safe = QStringLiteral("the same bytes written, flushed, renamed into place, "
                                        "the folder flushed");
    b.compare(
        QStringLiteral("P8"), QStringLiteral("SaveMarks, %1 marks").arg(manyMarks), 2.0, reps,
        [&] { SaveMarks(gs); }, [&] { raw(gs.Marks.bytes() + "\r\n"); }, safe);
    // Marking a book on the shelf of 100 books, the marks line holding manyMarks entries.
    GlobalState gm;
    openLibrary(gm, b, b.large());
    gm.Marks.setBytes(marksLine(manyMarks));
    gm.MarksLoaded = true;
    Bookcase mm(gm);
    mm.reloadShelves();
    mm.chooseShelf(2);
    Commands commands(gm, mm);
    mm.aimAtBook(0);
    int colour = 0;
    b.compare(
        QStringLiteral("P9"),
        QStringLiteral("marking one book, %1 marks, to safe on disk").arg(manyMarks), 1.5, reps,
        [&] { commands.mnuMarkBook_Click(1 + colour++ % 6); },
        [&] { raw(gm.Marks.bytes() + "\r\n"); }, safe);
}
