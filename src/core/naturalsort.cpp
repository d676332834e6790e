#include "naturalsort.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace {

// Appends a run of decimal digits so that longer numbers sort after shorter ones: the digit
// marker, the count of significant digits, then the digits. Leading zeros do not count.
void appendNumber(std::string &key, const QString &name, qsizetype from, qsizetype to)
{
    while (from < to - 1 && name.at(from) == u'0')
        ++from;
    const size_t len = size_t(to - from);
    key.push_back('0');
    key.push_back(char((len >> 8) & 0xff));
    key.push_back(char(len & 0xff));
    for (qsizetype i = from; i < to; ++i)
        key.push_back(char(name.at(i).unicode()));
}

} // namespace

std::string naturalSortKey(const QString &name)
{
    std::string key;
    key.reserve(size_t(name.size()) + 8);
    const qsizetype n = name.size();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = name.at(i).unicode();
        if (c >= u'0' && c <= u'9') {
            qsizetype j = i + 1;
            while (j < n && name.at(j).unicode() >= u'0' && name.at(j).unicode() <= u'9')
                ++j;
            appendNumber(key, name, i, j);
            i = j;
        } else if (c < 0x80) {
            key.push_back(char(c >= u'A' && c <= u'Z' ? c + 32 : c));
            ++i;
        } else {
            // Outside ASCII: fold the case of the rest of this non-ASCII run.
            qsizetype j = i + 1;
            while (j < n && name.at(j).unicode() >= 0x80)
                ++j;
            key += name.mid(i, j - i).toCaseFolded().toUtf8().toStdString();
            i = j;
        }
    }
    return key;
}

bool naturalLess(const QString &a, const QString &b)
{
    const std::string ka = naturalSortKey(a);
    const std::string kb = naturalSortKey(b);
    if (ka != kb)
        return ka < kb;
    return a < b;
}

namespace {

// One name's place in the key arena, with the key's first bytes packed for quick comparison.
struct SortEntry
{
    quint64 prefix;
    quint64 prefix2;
    quint32 offset;
    quint32 length;
    quint32 index;
};

quint64 packPrefix(const char *key, size_t length, size_t from)
{
    quint64 p = 0;
    for (size_t i = from; i < from + 8; ++i)
        p = (p << 8) | (i < length ? quint8(key[i]) : 0);
    return p;
}

} // namespace

void sortNaturally(std::vector<QString> &names)
{
    // All keys go into one buffer: no allocation per name, and comparisons mostly end at the
    // packed first sixteen bytes.
    std::string arena;
    arena.reserve(names.size() * 24);
    std::vector<SortEntry> entries;
    entries.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const size_t offset = arena.size();
        arena += naturalSortKey(names[i]);
        entries.push_back({0, 0, quint32(offset), quint32(arena.size() - offset), quint32(i)});
    }
    for (SortEntry &e : entries) {
        e.prefix = packPrefix(arena.data() + e.offset, e.length, 0);
        e.prefix2 = packPrefix(arena.data() + e.offset, e.length, 8);
    }
    const char *base = arena.data();
    std::sort(entries.begin(), entries.end(), [&](const SortEntry &x, const SortEntry &y) {
        if (x.prefix != y.prefix)
            return x.prefix < y.prefix;
        if (x.prefix2 != y.prefix2)
            return x.prefix2 < y.prefix2;
        const int c = std::string_view(base + x.offset, x.length)
                          .compare(std::string_view(base + y.offset, y.length));
        return c != 0 ? c < 0 : names[x.index] < names[y.index];
    });
    std::vector<QString> sorted;
    sorted.reserve(names.size());
    for (const SortEntry &e : entries)
        sorted.push_back(std::move(names[e.index]));
    names = std::move(sorted);
}
