#pragma once

#include <QString>

// Why a name typed by the user cannot name a shelf folder or a book file, or empty text when
// it can: it must stay one plain name inside its folder.
QString nameProblem(const QString &name);
// The same as a notice to show ("Name Not Allowed"), or an empty one.
struct Notice;
Notice typedNameNotice(const QString &name);
