#pragma once

#include <QString>
#include <vector>

// Sorts names naturally ("Book 2" before "Book 10") and without regard to letter case; names
// equal under that rule keep a fixed order by their exact text.
void sortNaturally(std::vector<QString> &names);

// The collation key behind the order: comparing two keys bytewise orders their names.
std::string naturalSortKey(const QString &name);

bool naturalLess(const QString &a, const QString &b);
