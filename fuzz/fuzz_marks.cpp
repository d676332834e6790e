// Fuzzes the marks line: load, look up, remove, append. The indexed lookup and the search of a
// plain line must always agree with a walk over the line, and a page of colours with single
// lookups.
#include "marksline.h"

#include <QList>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The line, then after a NUL the names to look up; the line's own pieces are looked up too.
    const QList<QByteArray> parts
        = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    std::vector<QByteArray> names(parts.begin() + 1, parts.end());
    for (const QByteArray &piece : parts[0].split('-')) {
        names.push_back(piece.left(piece.indexOf(',')));
        names.push_back(piece.left(piece.indexOf(',', piece.indexOf(',') + 1)));
    }
    MarksLine m(parts[0]);
    auto agree = [&] {
        const std::vector<int> page = MarksLine(m.bytes()).coloursOf(names);
        for (size_t i = 0; i < names.size(); ++i) {
            const MarksLine::Entry fast = m.FindMarkEntry(names[i]), slow = m.findByScan(names[i]);
            if (fast.first != slow.first || fast.last != slow.last
                || fast.colourText != slow.colourText || page[i] != m.colourOf(names[i])
                || page[i] < 0 || page[i] > 6)
                std::abort();
        }
    };
    agree();
    m.indexNow();
    agree();
    for (size_t i = 0; i < names.size() && i < 8; ++i) {
        if (names[i].contains('\r') || names[i].contains('\n'))
            continue; // the program refuses to mark such names
        m.removeEntry(m.FindMarkEntry(names[i]));
        m.appendEntry(names[i], 1 + int(i % 6));
        agree(); // a line kept plain through the change is searched, not walked
        m.indexNow();
        agree();
    }
    return 0;
}
