#include "appfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace {
QString &overridden()
{
    static QString folder;
    return folder;
}
} // namespace

namespace AppFolder {

QString path()
{
    if (!overridden().isEmpty())
        return overridden();
    const QString exeDir = QCoreApplication::applicationDirPath();
    // An installed program (its share folder beside its bin folder) keeps its files per user,
    // even when its folder happens to be writable; a build tree or a portable copy keeps them
    // beside itself.
    const bool installed = QFileInfo(exeDir + QStringLiteral("/../share/quillrack")).isDir();
    if (!installed && ::access(QFile::encodeName(exeDir).constData(), W_OK) == 0)
        return exeDir;
    QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return config;
}

QString file(const QString &name)
{
    return path() + u'/' + name;
}

void setOverride(const QString &folder)
{
    overridden() = folder;
}

} // namespace AppFolder
