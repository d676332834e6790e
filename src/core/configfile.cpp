#include "configfile.h"

#include <QStringList>

QStringList splitTextLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

ConfigValues parseConfig(const QByteArray &bytes)
{
    ConfigValues values;
    const QStringList lines = splitTextLines(QString::fromUtf8(bytes));
    for (const QString &line : lines) {
        const QString key = line.left(4);
        // The fifth character is dropped unseen; it may take two UTF-16 units. A line of
        // exactly four characters has nothing after its key: its value is empty.
        qsizetype start = 5;
        if (line.size() > 5 && line.at(4).isHighSurrogate() && line.at(5).isLowSurrogate())
            start = 6;
        const QString value = line.size() > start ? line.mid(start) : QString();
        if (key == u"book")
            values.book = value;
        else if (key == u"read")
            values.read = value;
    }
    return values;
}

bool fitsConfigLine(const QString &path)
{
    return !path.contains(u'\r') && !path.contains(u'\n');
}

QByteArray formatConfig(const QString &book, const QString &read)
{
    return "book=" + book.toUtf8() + "\r\nread=" + read.toUtf8() + "\r\n";
}
