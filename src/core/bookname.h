#pragma once

#include <QString>

// A book's title and format are the parts of its file name before and after the first ".".
struct BookName
{
    QString title;
    QString format;
};

BookName splitBookName(const QString &fileName);

// "Version 1.5.3": major, minor and revision as plain decimals.
QString versionText(int major, int minor, int revision);
