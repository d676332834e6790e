#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The two lines of config.ini: "book=<Main Book Folder>" and "read=<reader folder>".
struct ConfigValues
{
    std::optional<QString> book; // unset when no "book" line was found
    std::optional<QString> read;
};

// Splits text into lines; CR LF, CR alone and LF alone each end a line.
QStringList splitTextLines(const QString &text);

// Reads config.ini text: a line whose first four characters are exactly "book" or "read" gives
// the rest of the line after its fifth character; other lines are skipped; the last one wins.
ConfigValues parseConfig(const QByteArray &bytes);

// False for a folder path that config.ini cannot keep as it stands: a CR or LF in it would end
// its line, and the next start would read another folder.
bool fitsConfigLine(const QString &path);

// The file as a Save writes it: two lines ended by CR LF, paths exactly as given.
QByteArray formatConfig(const QString &book, const QString &read);
