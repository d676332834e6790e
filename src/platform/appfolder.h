#pragma once

#include <QString>

// Where config.ini, config.bak and marked.dat live: beside the program when its folder is
// writable (a build tree, a portable copy), otherwise, and always for an installed program,
// the per-user config folder (~/.config/quillrack).
namespace AppFolder {
QString path();
QString file(const QString &name); // path() + "/" + name
// Tests point the program at a folder of their own.
void setOverride(const QString &folder);
} // namespace AppFolder
