#include "fileuri.h"

#include <QUrl>

QByteArray fileUri(const QByteArray &path)
{
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(path.toPercentEncoding("!$&'()*+,-./:=@_~")),
                QUrl::TolerantMode);
    return url.toEncoded();
}
