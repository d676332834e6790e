// Fuzzes the marks line: load, look up, remove, append, save and load again. The indexed lookup
// must always agree with a plain search of the line, and a saved line must load back the same.
#include "marksline.h"

#include <QStringList>
#include <cstdlib>

namespace {

void agree(const MarksLine &m, const QString &name)
{
    const MarksLine::Entry fast = m.FindMarkEntry(name);
    const MarksLine::Entry slow = m.findByScan(name);
    if (fast.found != slow.found || fast.first != slow.first || fast.last != slow.last
        || fast.colourText != slow.colourText)
        std::abort();
    const int c = m.colourOf(name);
    if (c < 0 || c > 6)
        std::abort();
}

// What saving and loading again does: one line written with CR LF, the first line read back.
QString saveAndLoad(const QString &line)
{
    const QString saved = line + QStringLiteral("\r\n");
    qsizetype end = saved.size();
    for (const QChar eol : {QChar(u'\r'), QChar(u'\n')}) {
        const qsizetype at = saved.indexOf(eol);
        if (at >= 0 && at < end)
            end = at;
    }
    return saved.left(end);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = text.indexOf(QChar(0));
    const QString line = split < 0 ? text : text.left(split);
    QStringList names = split < 0 ? QStringList() : text.mid(split + 1).split(QChar(0));
    // The keys the line itself holds, and pieces of them.
    for (const QString &piece : line.split(u'-'))
        names << piece.section(u',', 0, 0) << piece.section(u',', 0, 1);
    MarksLine m(line);
    // A page of colours at once must give what one lookup per name gives.
    const std::vector<int> page = MarksLine(line).coloursOf(names);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (page[size_t(i)] != m.colourOf(names[i]))
            std::abort();
    }
    for (const QString &name : names)
        agree(m, name);
    m.indexNow();
    for (const QString &name : names)
        agree(m, name);
    for (int i = 0; i < names.size() && i < 8; ++i) {
        const QString &name = names[i];
        if (name.contains(u'\r') || name.contains(u'\n'))
            continue; // the program refuses to mark such names
        m.removeEntry(m.FindMarkEntry(name));
        m.appendEntry(name, 1 + i % 6);
        m.indexNow();
        for (const QString &other : names)
            agree(m, other);
    }
    if (!m.line().contains(u'\r') && !m.line().contains(u'\n')) {
        const MarksLine loaded(saveAndLoad(m.line()));
        if (loaded.line() != m.line())
            std::abort();
        for (const QString &name : names) {
            if (loaded.colourOf(name) != m.colourOf(name))
                std::abort();
        }
    }
    return 0;
}
