#include "naturalsort.h"

#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <numeric>

namespace {

// Appends a run of decimal digits so that longer numbers sort after shorter ones: the digit
// marker, the count of significant digits, then the digits. Leading zeros do not count.
template<typename Text>
void appendNumber(std::string &key, const Text &name, size_t from, size_t to)
{
    while (from < to - 1 && name[from] == '0')
        ++from;
    const size_t len = to - from;
    key.push_back('0');
    key.push_back(char((len >> 8) & 0xff));
    key.push_back(char(len & 0xff));
    for (size_t i = from; i < to; ++i)
        key.push_back(char(name[i]));
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

quint64 packPrefix(const char *key, size_t length, size_t from)
{
    if (length >= from + 8)
        return qFromBigEndian<quint64>(key + from);
    quint64 p = 0;
    for (size_t i = from; i < from + 8; ++i)
        p = (p << 8) | (i < length ? quint8(key[i]) : 0);
    return p;
}

} // namespace

// The common case of a name in plain ASCII, written straight into the key: no byte of it needs
// case folding beyond A to Z, and the key is at most 3 bytes longer per digit run.
static bool appendAsciiKey(std::string &key, std::string_view name)
{
    const size_t n = name.size();
    for (const char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    const size_t start = key.size();
    key.resize(start + n + 3 * ((n + 1) / 2));
    char *out = key.data() + start;
    size_t i = 0;
    while (i < n) {
        const char c = name[i];
        if (c >= '0' && c <= '9') {
            size_t from = i;
            size_t j = i + 1;
            while (j < n && name[j] >= '0' && name[j] <= '9')
                ++j;
            while (from < j - 1 && name[from] == '0')
                ++from;
            const size_t len = j - from;
            *out++ = '0';
            *out++ = char((len >> 8) & 0xff);
            *out++ = char(len & 0xff);
            out = std::copy(name.data() + from, name.data() + j, out);
            i = j;
        } else {
            *out++ = c >= 'A' && c <= 'Z' ? char(c + 32) : c;
            ++i;
        }
    }
    key.resize(size_t(out - key.data()));
    return true;
}

void appendNaturalSortKey(std::string &key, std::string_view name)
{
    if (appendAsciiKey(key, name))
        return;
    const size_t n = name.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (isDigit(c)) {
            size_t j = i + 1;
            while (j < n && isDigit(static_cast<unsigned char>(name[j])))
                ++j;
            appendNumber(key, name, i, j);
            i = j;
        } else if (c < 0x80) {
            key.push_back(char(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
        } else {
            // Outside ASCII: fold the case of the rest of this non-ASCII run.
            size_t j = i + 1;
            while (j < n && static_cast<unsigned char>(name[j]) >= 0x80)
                ++j;
            key += QString::fromUtf8(name.data() + i, qsizetype(j - i))
                       .toCaseFolded()
                       .toUtf8()
                       .toStdString();
            i = j;
        }
    }
}

void NameList::clear()
{
    m_names.clear();
    m_keys.clear();
    m_entries.clear();
    m_orderedUpTo = 0;
    m_keysMade = false;
}

void NameList::reserve(size_t count, size_t bytes)
{
    m_entries.reserve(count);
    m_names.reserve(bytes);
}

void NameList::add(std::string_view utf8Name)
{
    m_entries.push_back({0, 0, quint32(m_names.size()), quint32(utf8Name.size()), 0, 0});
    m_names.append(utf8Name);
    m_orderedUpTo = 0;
    m_keysMade = false;
}

bool NameList::remove(std::string_view name)
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) {
        return std::string_view(m_names.data() + e.nameOffset, e.nameLength) == name;
    });
    if (found == m_entries.end())
        return false;
    const int at = int(found - m_entries.begin());
    m_entries.erase(found); // its bytes stay unused in the buffer
    if (at < m_orderedUpTo)
        --m_orderedUpTo;
    return true;
}

void NameList::insert(std::string_view name)
{
    if (!m_keysMade || m_orderedUpTo < size()) {
        add(name); // put in order with the rest, when they are looked at
        return;
    }
    Entry e {0, 0, quint32(m_names.size()), quint32(name.size()), quint32(m_keys.size()), 0};
    m_names.append(name);
    appendNaturalSortKey(m_keys, name);
    e.keyLength = quint32(m_keys.size() - e.keyOffset);
    e.prefix = packPrefix(m_keys.data() + e.keyOffset, e.keyLength, 0);
    e.prefix2 = packPrefix(m_keys.data() + e.keyOffset, e.keyLength, 8);
    const auto at = std::upper_bound(m_entries.begin(), m_entries.end(), e,
                                     [this](const Entry &x, const Entry &y) { return less(x, y); });
    m_entries.insert(at, e);
    m_orderedUpTo = size();
}

bool NameList::less(const Entry &x, const Entry &y) const
{
    if (x.prefix != y.prefix)
        return x.prefix < y.prefix;
    if (x.prefix2 != y.prefix2)
        return x.prefix2 < y.prefix2;
    const char *keys = m_keys.data();
    const int c = std::string_view(keys + x.keyOffset, x.keyLength)
                      .compare(std::string_view(keys + y.keyOffset, y.keyLength));
    if (c != 0)
        return c < 0;
    // Equal under the rule (letter case, leading zeros): the exact text decides.
    const char *names = m_names.data();
    return std::string_view(names + x.nameOffset, x.nameLength)
        < std::string_view(names + y.nameOffset, y.nameLength);
}

void NameList::ensureOrdered(int upTo) const
{
    const int n = size();
    upTo = std::min(upTo, n);
    if (upTo <= m_orderedUpTo)
        return;
    if (!m_keysMade) {
        m_keys.clear();
        m_keys.reserve(m_names.size() + m_entries.size() * 4);
        for (Entry &e : m_entries) {
            e.keyOffset = quint32(m_keys.size());
            appendNaturalSortKey(m_keys,
                                 std::string_view(m_names.data() + e.nameOffset, e.nameLength));
            e.keyLength = quint32(m_keys.size() - e.keyOffset);
        }
        for (Entry &e : m_entries) {
            e.prefix = packPrefix(m_keys.data() + e.keyOffset, e.keyLength, 0);
            e.prefix2 = packPrefix(m_keys.data() + e.keyOffset, e.keyLength, 8);
        }
        m_keysMade = true;
    }
    auto cmp = [this](const Entry &x, const Entry &y) { return less(x, y); };
    // A first page or two: only those names are put in place; anything further sorts all.
    constexpr int FirstPages = 64;
    if (m_orderedUpTo == 0 && upTo <= FirstPages && n > 4 * FirstPages) {
        std::partial_sort(m_entries.begin(), m_entries.begin() + FirstPages, m_entries.end(), cmp);
        m_orderedUpTo = FirstPages;
        return;
    }
    std::sort(m_entries.begin() + m_orderedUpTo, m_entries.end(), cmp);
    m_orderedUpTo = n;
}

QByteArray NameList::bytesAt(int i) const
{
    if (i < 0 || i >= size())
        return {};
    ensureOrdered(i + 1);
    const Entry &e = m_entries[size_t(i)];
    return QByteArray(m_names.data() + e.nameOffset, qsizetype(e.nameLength));
}

quint64 NameList::digest() const
{
    quint64 sum = m_entries.size();
    for (const Entry &e : m_entries)
        sum += qHash(QByteArrayView(m_names.data() + e.nameOffset, qsizetype(e.nameLength)), 7)
            * 0x9E3779B97F4A7C15ull;
    return sum;
}

QString NameList::at(int i) const
{
    return QString::fromUtf8(bytesAt(i));
}

QStringList NameList::toStringList() const
{
    QStringList out;
    out.reserve(size());
    for (int i = 0; i < size(); ++i)
        out.append(at(i));
    return out;
}
