#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

// The collation key behind the natural order ("Book 2" before "Book 10", letter case ignored):
// comparing two keys bytewise orders their names.
void appendNaturalSortKey(std::string &key, std::string_view name);

// The names of one folder, kept as the system gave them in one buffer and put in natural order
// only as far as they are looked at: the first page of a list of 100,000 names needs no full
// sort, and no name is turned into a QString before it is shown. Names equal under the natural
// rule keep a fixed order by their exact bytes.
class NameList
{
public:
    void clear();
    void reserve(size_t count, size_t bytes);
    void add(std::string_view utf8Name);
    // A name that a command renamed, deleted or moved away, or put in: the list stays in order
    // as far as it was (a name put in goes to its place), without a sort of the whole.
    bool remove(std::string_view name);
    void insert(std::string_view name);

    int size() const { return int(m_entries.size()); }
    bool empty() const { return m_entries.empty(); }
    // The name at position i of the natural order, as bytes and as text to show.
    QByteArray bytesAt(int i) const;
    QString at(int i) const;
    // All names in natural order.
    QStringList toStringList() const;
    // A sum over the names that any order of the same names gives: two listings that differ
    // differ here too, all but certainly.
    quint64 digest() const;

private:
    struct Entry
    {
        quint64 prefix; // the key's first sixteen bytes, for quick comparison
        quint64 prefix2;
        quint32 nameOffset;
        quint32 nameLength;
        quint32 keyOffset;
        quint32 keyLength;
    };
    void ensureOrdered(int upTo) const;
    bool less(const Entry &x, const Entry &y) const;

    std::string m_names;
    mutable std::string m_keys;
    mutable std::vector<Entry> m_entries;
    mutable int m_orderedUpTo = 0; // positions [0, m_orderedUpTo) are in their final order
    mutable bool m_keysMade = false;
};
