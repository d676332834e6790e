#pragma once

#include "filesys.h"

#include <QString>

class Prompter;
struct GlobalState;

// Reads config.ini from the app folder into the two folder paths and opens the Main Book
// Folder; false, with what went wrong in *problem, when there is no usable library.
bool readConfig(GlobalState &g, QString *problem);

// Why the two folders typed in the File Locations dialog cannot be saved, or an empty notice
// when they can; "~/" is made the home folder. The reader folder may be empty.
Notice checkFolders(const FileSys &fs, QString &book, QString &read);

// Saves the two folders: the old config.ini becomes config.bak, then config.ini is replaced in
// one step, so a failed save leaves it as it was.
Result<> saveConfig(const FileSys &fs, const QString &book, const QString &read);
