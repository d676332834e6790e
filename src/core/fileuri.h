#pragma once

#include <QByteArray>

// The file:// URI of an absolute path, its bytes percent-encoded as the desktop's file managers
// write it (the key of the shared thumbnail cache): letters, digits and the characters a path
// may keep are kept, every other byte, those of names that are not valid UTF-8 too, is %XX.
QByteArray fileUri(const QByteArray &path);
