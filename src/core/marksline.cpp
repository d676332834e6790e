#include "marksline.h"

#include <cmath>
#include <vector>

void MarksLine::setBytes(const QByteArray &utf8Line)
{
    m_line = utf8Line;
    dropIndex();
}

void MarksLine::dropIndex()
{
    m_indexValid = false;
    m_lookupsSinceChange = 0;
}

void MarksLine::rebuildIndex() const
{
    // Entry starts are the line's start and every position right after a comma.
    std::vector<qsizetype> starts;
    const qsizetype n = m_line.size();
    starts.reserve(size_t(n / 16)); // an entry takes a dozen bytes or more
    qsizetype s = 0;
    while (s < n) {
        if (m_line.at(s) == '-')
            starts.push_back(s);
        const qsizetype next = m_line.indexOf(',', s);
        if (next < 0)
            break;
        s = next + 1;
    }
    m_index.clear();
    m_index.reserve(qsizetype(starts.size()));
    // Walking backwards, the first entry of a key is the one inserted last and so kept.
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        const qsizetype start = *it;
        const qsizetype keyEnd = m_line.indexOf(',', start + 1);
        if (keyEnd >= 0)
            m_index.insert(QByteArrayView(m_line.constData() + start + 1, keyEnd - start - 1),
                           start);
    }
    m_indexValid = true;
}

MarksLine::Entry MarksLine::entryAt(qsizetype first, qsizetype keyEnd) const
{
    Entry e;
    const qsizetype c2 = m_line.indexOf(',', keyEnd + 1);
    if (c2 < 0)
        return e; // a key with no closing comma is no entry
    e.found = true;
    e.first = first;
    e.last = c2;
    e.colourText = QString::fromUtf8(m_line.constData() + keyEnd + 1, c2 - keyEnd - 1);
    return e;
}

MarksLine::Entry MarksLine::scan(const QByteArray &key) const
{
    const QByteArray needle = '-' + key + ',';
    qsizetype p = m_line.indexOf(needle);
    while (p >= 0) {
        if (p == 0 || m_line.at(p - 1) == ',') {
            const Entry e = entryAt(p, p + needle.size() - 1);
            if (e.found)
                return e;
        }
        p = m_line.indexOf(needle, p + 1);
    }
    return {};
}

MarksLine::Entry MarksLine::FindMarkEntry(const QString &fileName) const
{
    const QByteArray key = fileName.toUtf8();
    // The index holds keys up to their first comma; a name with a comma is searched directly.
    if (key.contains(','))
        return scan(key);
    if (!m_indexValid) {
        // Building the index costs about as much as a few dozen direct searches of the line (and
        // memory for every entry): a page of books after loading or a change is looked up
        // directly.
        if (m_lookupsSinceChange++ < DirectLookups)
            return scan(key);
        rebuildIndex();
    }
    const auto it = m_index.constFind(QByteArrayView(key));
    if (it == m_index.constEnd())
        return {};
    return entryAt(*it, *it + key.size() + 1);
}

void MarksLine::removeEntry(const Entry &entry)
{
    if (!entry.found)
        return;
    m_line.remove(entry.first, entry.last - entry.first + 1);
    dropIndex();
}

void MarksLine::appendEntry(const QString &fileName, int colour)
{
    // A hand-edited line that does not end with a comma would hide the new entry from lookups.
    if (!m_line.isEmpty() && !m_line.endsWith(','))
        m_line += ',';
    m_line += '-' + fileName.toUtf8() + ',' + QByteArray::number(colour) + ',';
    dropIndex();
}

int MarksLine::colourOf(const QString &fileName) const
{
    const Entry e = FindMarkEntry(fileName);
    if (!e.found)
        return 0;
    const int n = colourNumber(e.colourText);
    return n >= 1 && n <= 6 ? n : 0;
}

std::vector<int> MarksLine::coloursOf(const QStringList &fileNames) const
{
    std::vector<int> colours(size_t(fileNames.size()), 0);
    auto colourOfEntry = [](const Entry &e) {
        if (!e.found)
            return 0;
        const int n = colourNumber(e.colourText);
        return n >= 1 && n <= 6 ? n : 0;
    };
    if (m_indexValid || m_lookupsSinceChange >= DirectLookups) {
        for (qsizetype i = 0; i < fileNames.size(); ++i)
            colours[size_t(i)] = colourOf(fileNames[i]);
        return colours;
    }
    m_lookupsSinceChange += int(fileNames.size());
    // The keys wanted (names with a comma are searched on their own), then one walk over the
    // entry starts, as the index would be built, keeping the first entry of each key.
    QHash<QByteArray, qsizetype> wanted;
    std::vector<QByteArray> keys(size_t(fileNames.size()));
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        keys[size_t(i)] = fileNames[i].toUtf8();
        if (keys[size_t(i)].contains(','))
            colours[size_t(i)] = colourOfEntry(scan(keys[size_t(i)]));
        else
            wanted.insert(keys[size_t(i)], -1);
    }
    qsizetype left = wanted.size();
    const qsizetype n = m_line.size();
    qsizetype s = 0;
    while (s < n && left > 0) {
        if (m_line.at(s) == '-') {
            const qsizetype keyEnd = m_line.indexOf(',', s + 1);
            if (keyEnd < 0)
                break;
            const auto it
                = wanted.find(QByteArray::fromRawData(m_line.constData() + s + 1, keyEnd - s - 1));
            if (it != wanted.end() && *it < 0) {
                *it = s;
                --left;
            }
        }
        const qsizetype next = m_line.indexOf(',', s);
        if (next < 0)
            break;
        s = next + 1;
    }
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        const QByteArray &key = keys[size_t(i)];
        if (key.contains(','))
            continue;
        const qsizetype first = wanted.value(key, -1);
        if (first >= 0)
            colours[size_t(i)] = colourOfEntry(entryAt(first, first + key.size() + 1));
    }
    return colours;
}

int MarksLine::colourNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    const qsizetype digitsStart = i;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 0x80)
        ++i;
    bool anyDigit = i > digitsStart;
    if (i < n && text.at(i) == u'.') {
        ++i;
        const qsizetype frac = i;
        while (i < n && text.at(i).unicode() >= u'0' && text.at(i).unicode() <= u'9')
            ++i;
        anyDigit = anyDigit || i > frac;
    }
    if (!anyDigit)
        return 0;
    bool ok = false;
    // Only small numbers can be a colour; anything long enough to overflow is not one.
    const double value = text.mid(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > 1e6)
        return 0;
    return int(std::nearbyint(value)); // the default rounding mode sends halves to even
}

QColor MarksLine::colour(int number)
{
    switch (number) {
    case 1:
        return QColor(0, 255, 0);
    case 2:
        return QColor(0, 0, 255);
    case 3:
        return QColor(255, 0, 255);
    case 4:
        return QColor(255, 255, 255);
    case 5:
        return QColor(255, 255, 0);
    case 6:
        return QColor(255, 0, 0);
    default:
        return QColor(0, 0, 0);
    }
}
