#include "bookname.h"

BookName splitBookName(const QString &fileName)
{
    const qsizetype dot = fileName.indexOf(u'.');
    if (dot < 0)
        return {fileName, QString()};
    return {fileName.left(dot), fileName.mid(dot + 1)};
}

QString shownName(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

QString asPlainText(const QString &text)
{
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped()
        + QStringLiteral("</p>");
}

QString versionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

bool fatRejectsName(const QString &fileName)
{
    for (const QChar c : fileName) {
        if (c.unicode() < 0x20 || QStringView(u":*?\"<>|\\").contains(c))
            return true;
    }
    return fileName.endsWith(u'.') || fileName.endsWith(u' ');
}

bool readableName(const QByteArray &name)
{
    return shownName(name).toUtf8() == name;
}
