#include "naturalsort.h"

#include <algorithm>
#include <numeric>

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

void sortNaturally(std::vector<QString> &names)
{
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const QString &name : names)
        keys.push_back(naturalSortKey(name));
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        const int c = keys[x].compare(keys[y]);
        return c != 0 ? c < 0 : names[x] < names[y];
    });
    std::vector<QString> sorted;
    sorted.reserve(names.size());
    for (size_t i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}
