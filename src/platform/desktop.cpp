#include "desktop.h"

#include "fileuri.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace Desktop {

QByteArray fileUrl(const QByteArray &path)
{
    return fileUri(path.startsWith('/') ? path
                                        : QFile::encodeName(QDir::currentPath()) + '/' + path);
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
