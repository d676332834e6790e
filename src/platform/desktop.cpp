#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>

namespace Desktop {

QByteArray fileUrl(const QByteArray &path)
{
    const QByteArray absolute
        = path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path;
    return "file://" + absolute.toPercentEncoding("/");
}

bool onFatVolume(const QString &folder)
{
    const QByteArray type = QStorageInfo(folder).fileSystemType().toLower();
    return type == "vfat" || type == "msdos" || type == "fat" || type == "exfat"
        || type == "fuseblk";
}

void open(QObject *owner, const QString &opener, const QByteArray &url,
          const std::function<void()> &failed)
{
    auto *process = new QProcess(owner);
    QObject::connect(process, &QProcess::errorOccurred, owner,
                     [process, failed](QProcess::ProcessError e) {
                         if (e == QProcess::FailedToStart) {
                             failed();
                             process->deleteLater();
                         }
                     });
    QObject::connect(process, &QProcess::finished, owner,
                     [process, failed](int code, QProcess::ExitStatus status) {
                         if (code != 0 || status != QProcess::NormalExit)
                             failed();
                         process->deleteLater();
                     });
    process->start(opener, {QString::fromLatin1(url)});
}

} // namespace Desktop
