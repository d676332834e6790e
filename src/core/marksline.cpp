#include "marksline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The span of a leading decimal number in text (blanks, a sign, digits, a fraction); false when
// the text holds no such number.
bool numberSpan(QByteArrayView text, qsizetype &start, qsizetype &end)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    start = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    const qsizetype digits = i;
    while (i < n && text[i] >= '0' && text[i] <= '9')
        ++i;
    bool any = i > digits;
    if (i < n && text[i] == '.') {
        const qsizetype fraction = ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9')
            ++i;
        any = any || i > fraction;
    }
    end = i;
    return any;
}

} // namespace

void MarksLine::setBytes(const QByteArray &line)
{
    m_line = line;
    m_shape = Shape::Unknown;
    dropIndex();
}

void MarksLine::dropIndex()
{
    m_indexValid = false;
    m_lookupsSinceChange = 0;
}

// Calls fn(first, keyEnd, last) for each entry, from the line's start, until fn returns false:
// first is the entry's "-", keyEnd the comma after its name, last its closing comma.
template<typename Fn> void MarksLine::walk(Fn fn) const
{
    const char *d = m_line.constData();
    const qsizetype n = m_line.size();
    auto comma = [&](qsizetype from) -> qsizetype {
        if (from >= n)
            return -1;
        const void *c = std::memchr(d + from, ',', size_t(n - from));
        return c ? static_cast<const char *>(c) - d : -1;
    };
    qsizetype s = 0;
    while (s < n) {
        if (d[s] != '-') {
            // No entry starts here (a hand-edited line): go on after the next comma.
            const qsizetype c = comma(s);
            if (c < 0)
                return;
            s = c + 1;
            continue;
        }
        qsizetype keyEnd = s;
        for (;;) {
            keyEnd = comma(keyEnd + 1);
            const qsizetype last = keyEnd < 0 ? -1 : comma(keyEnd + 1);
            if (last < 0)
                return; // the line ends inside this entry
            qsizetype a, b;
            // An entry ends at a colour; a damaged one (a colour that is no number) ends where
            // the next entry or the line begins, so that it swallows no entry after it.
            if (numberSpan(QByteArrayView(d + keyEnd + 1, last - keyEnd - 1), a, b) || last + 1 == n
                || d[last + 1] == '-') {
                if (!fn(s, keyEnd, last))
                    return;
                s = last + 1;
                break;
            }
        }
    }
}

void MarksLine::rebuildIndex() const
{
    std::vector<std::pair<qsizetype, qsizetype>> entries;
    entries.reserve(size_t(m_line.size() / 16)); // an entry takes a dozen bytes or more
    walk([&](qsizetype first, qsizetype keyEnd, qsizetype) {
        entries.emplace_back(first, keyEnd);
        return true;
    });
    m_index.clear();
    m_index.reserve(qsizetype(entries.size()));
    // Walking backwards, the first entry of a name is the one inserted last and so kept.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        m_index.insert(
            QByteArrayView(m_line.constData() + it->first + 1, it->second - it->first - 1),
            it->first);
    m_indexValid = true;
}

MarksLine::Entry MarksLine::entryAt(qsizetype first, qsizetype keyEnd) const
{
    Entry e;
    e.found = true;
    e.first = first;
    e.last = m_line.indexOf(',', keyEnd + 1);
    e.colourText = m_line.mid(keyEnd + 1, e.last - keyEnd - 1);
    return e;
}

bool MarksLine::plain() const
{
    if (m_shape == Shape::Unknown) {
        const char *d = m_line.constData(), *end = d + m_line.size();
        bool plain = true;
        while (plain && d < end) {
            auto comma = [end](const char *from) {
                return from < end
                    ? static_cast<const char *>(std::memchr(from, ',', size_t(end - from)))
                    : nullptr;
            };
            const char *nameEnd = comma(d), *last = nameEnd ? comma(nameEnd + 1) : nullptr;
            plain = *d == '-' && last && last > nameEnd + 1
                && std::all_of(nameEnd + 1, last, [](char c) { return c >= '0' && c <= '9'; });
            d = plain ? last + 1 : end;
        }
        m_shape = plain ? Shape::Plain : Shape::Other;
    }
    return m_shape == Shape::Plain;
}

MarksLine::Entry MarksLine::findPlain(QByteArrayView fileName) const
{
    if (fileName.contains(','))
        return {}; // no name in a plain line holds one
    const QByteArray key = '-' + fileName.toByteArray() + ',';
    for (qsizetype at = m_line.indexOf(key); at >= 0; at = m_line.indexOf(key, at + 1)) {
        if (at == 0 || m_line[at - 1] == ',') // else it lies inside a longer name
            return entryAt(at, at + key.size() - 1);
    }
    return {};
}

bool MarksLine::readsBack(QByteArrayView fileName, int colour)
{
    MarksLine line;
    line.appendEntry(fileName, colour);
    const Entry e = line.findByScan(fileName);
    return e.found && e.first == 0 && e.last == line.m_line.size() - 1
        && colourOfEntry(e) == colour;
}

MarksLine::Entry MarksLine::findByScan(QByteArrayView fileName) const
{
    Entry found;
    walk([&](qsizetype first, qsizetype keyEnd, qsizetype) {
        if (QByteArrayView(m_line.constData() + first + 1, keyEnd - first - 1) != fileName)
            return true;
        found = entryAt(first, keyEnd);
        return false;
    });
    return found;
}

MarksLine::Entry MarksLine::FindMarkEntry(QByteArrayView fileName) const
{
    if (!m_indexValid) {
        // Building the index costs about as much as a few dozen walks of the line (and memory
        // for every entry): a page of books after loading or a change is looked up directly.
        if (m_lookupsSinceChange++ < DirectLookups)
            return plain() ? findPlain(fileName) : findByScan(fileName);
        rebuildIndex();
    }
    const auto it = m_index.constFind(fileName);
    if (it == m_index.constEnd())
        return {};
    return entryAt(*it, *it + fileName.size() + 1);
}

void MarksLine::removeEntry(const Entry &entry)
{
    if (!entry.found)
        return;
    m_line.remove(entry.first, entry.last - entry.first + 1);
    dropIndex();
}

void MarksLine::appendEntry(QByteArrayView fileName, int colour)
{
    // A hand-edited line that does not end with a comma would swallow the new entry.
    if (!m_line.isEmpty() && !m_line.endsWith(','))
        m_line += ',';
    m_line += '-';
    m_line += fileName;
    m_line += ',' + QByteArray::number(colour) + ',';
    if (m_shape == Shape::Plain && (fileName.contains(',') || colour < 0))
        m_shape = Shape::Other;
    dropIndex();
}

int MarksLine::colourOfEntry(const Entry &e)
{
    if (!e.found)
        return 0;
    const int n = colourNumber(e.colourText);
    return n >= 1 && n <= 6 ? n : 0;
}

int MarksLine::colourOf(QByteArrayView fileName) const
{
    return colourOfEntry(FindMarkEntry(fileName));
}

std::vector<int> MarksLine::coloursOf(const std::vector<QByteArray> &fileNames) const
{
    std::vector<int> colours(fileNames.size(), 0);
    if (m_indexValid || m_lookupsSinceChange >= DirectLookups) {
        for (size_t i = 0; i < fileNames.size(); ++i)
            colours[i] = colourOf(fileNames[i]);
        return colours;
    }
    m_lookupsSinceChange += int(fileNames.size());
    // One walk over the entries, keeping the first entry of each name wanted.
    QHash<QByteArrayView, qsizetype> wanted;
    for (const QByteArray &name : fileNames)
        wanted.insert(name, -1);
    qsizetype left = wanted.size();
    walk([&](qsizetype first, qsizetype keyEnd, qsizetype) {
        const auto it
            = wanted.find(QByteArrayView(m_line.constData() + first + 1, keyEnd - first - 1));
        if (it != wanted.end() && *it < 0) {
            *it = first;
            --left;
        }
        return left > 0;
    });
    for (size_t i = 0; i < fileNames.size(); ++i) {
        const qsizetype first = wanted.value(fileNames[i], -1);
        if (first >= 0)
            colours[i] = colourOfEntry(entryAt(first, first + fileNames[i].size() + 1));
    }
    return colours;
}

int MarksLine::colourNumber(QByteArrayView text)
{
    qsizetype start, end;
    if (!numberSpan(text, start, end))
        return 0;
    bool ok = false;
    // Only small numbers can be a colour; anything long enough to overflow is not one.
    const double value = text.sliced(start, end - start).toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > 1e6)
        return 0;
    return int(std::nearbyint(value)); // the default rounding mode sends halves to even
}
