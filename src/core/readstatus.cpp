#include "readstatus.h"

#include <QRegularExpression>
#include <cmath>

QString ReadStatus::text() const
{
    if (finished)
        return QStringLiteral("finished");
    return percent > 0 ? QStringLiteral("%1% read").arg(percent) : QString();
}

namespace {

// The value after `["key"] =` (or `key =`), up to the end of its line: a Lua table of one
// level as KOReader writes it. Bounded: a hostile file cannot make the search slow.
QString valueOf(const QString &lua, const QString &key)
{
    const QRegularExpression entry(
        QStringLiteral("(?:\\[\"%1\"\\]|\\b%1)\\s{0,20}=\\s{0,20}([^,\\n\\r}]{1,100})")
            .arg(QRegularExpression::escape(key)));
    const QRegularExpressionMatch m = entry.match(lua);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

} // namespace

ReadStatus sidecarStatus(const QByteArray &lua)
{
    constexpr qsizetype Most = 1 << 20; // a sidecar is a few kilobytes
    const QString text = QString::fromUtf8(lua.left(Most));
    ReadStatus s;
    bool ok = false;
    const double share = valueOf(text, QStringLiteral("percent_finished")).toDouble(&ok);
    if (ok && std::isfinite(share) && share >= 0 && share <= 1)
        s.percent = int(std::lround(share * 100));
    QString status = valueOf(text, QStringLiteral("status"));
    status.remove(u'"').remove(u'\'');
    s.finished = status == u"complete" || status == u"finished" || s.percent == 100;
    return s;
}

ReadStatus koboStatus(int readStatus, int percentRead)
{
    ReadStatus s;
    s.finished = readStatus == 2;
    if (readStatus == 1 && percentRead >= 0 && percentRead <= 100)
        s.percent = percentRead;
    else if (readStatus == 0)
        s.percent = 0;
    return s;
}

QByteArray koboBookPath(const QString &contentId)
{
    const QString prefix = QStringLiteral("file:///mnt/onboard/");
    if (!contentId.startsWith(prefix))
        return {};
    const QByteArray path = contentId.mid(prefix.size()).toUtf8(); // as the reader wrote it
    // Inside the reader only.
    if (path.isEmpty() || path.startsWith('/') || path.contains("/../") || path.startsWith("../"))
        return {};
    return path;
}
