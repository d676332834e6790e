#pragma once

#include <QString>

// Where config.ini, config.bak and marked.dat live: beside the program when its folder is
// writable or already holds config.ini (a build tree, a portable copy), otherwise, and always
// for an installed program, the per-user config folder (~/.config/quillrack). Decided once, at
// the first call: a folder that turns read-only later is not left for another.
namespace AppFolder {
QString path();
// The folder for a program in exeDir, decided afresh.
QString choose(const QString &exeDir);
QString file(const QString &name); // path() + "/" + name
// Tests point the program at a folder of their own.
void setOverride(const QString &folder);
} // namespace AppFolder
