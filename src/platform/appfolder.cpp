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

QString choose(const QString &exeDir)
{
    // An installed program (its share folder beside its bin folder) keeps its files per user,
    // even when its folder happens to be writable; a build tree or a portable copy keeps them
    // beside itself where it can write them, and where its config.ini lies even when it cannot
    // (read-only media): then a save fails and says so, and nothing is written elsewhere.
    const bool installed = QFileInfo(exeDir + QStringLiteral("/../share/quillrack")).isDir();
    if (!installed
        && (::access(QFile::encodeName(exeDir).constData(), W_OK) == 0
            || QFileInfo::exists(exeDir + QStringLiteral("/config.ini"))))
        return exeDir;
    QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return config;
}

QString path()
{
    if (!overridden().isEmpty())
        return overridden();
    static const QString decided = choose(QCoreApplication::applicationDirPath());
    return decided;
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
