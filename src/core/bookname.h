#pragma once

#include <QByteArray>
#include <QString>

// A book's title and format are the parts of its file name before and after the first ".".
struct BookName
{
    QString title;
    QString format;
};

BookName splitBookName(const QString &fileName);

// A file or shelf name as the user sees it: the file system's bytes read as UTF-8. Only for
// showing: the bytes themselves name the file.
QString shownName(const QByteArray &name);

// True when a name is readable text: its bytes are valid UTF-8, so that the text shown names the
// file again. A name that is not cannot be marked, and its tooltip says how to mend it.
bool readableName(const QByteArray &name);

// Text that shows as it is where Qt may read markup or mnemonics (a tooltip, a label of
// automatic format): escaped, its line breaks kept.
QString asPlainText(const QString &text);

// "Version 1.5.3": major, minor and revision as plain decimals.
QString versionText(int major, int minor, int revision);

// True when a reader device formatted with FAT or exFAT would refuse the file name: it holds
// one of : * ? " < > | \ or a control character, or ends in a dot or a blank.
bool fatRejectsName(const QString &fileName);
