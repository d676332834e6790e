#include "configuration.h"

#include "appfolder.h"
#include "configfile.h"
#include "diskexecutor.h"
#include "globalstate.h"
#include "prompter.h"

#include <QDir>
#include <QFile>

namespace {
// config.ini is two short lines; anything past this is not a configuration file.
constexpr qint64 MaxConfigBytes = 1 << 20;
const QString ClickOk = QStringLiteral("Click 'OK' to continue.");
} // namespace

namespace {

// The Main Book Folder, opened; off the window's thread, a folder that has not answered within
// a moment is taken as it is, and the bookcase says when it does not answer.
Result<FileSys::Folder> opened(const GlobalState &g)
{
    if (!g.offThread)
        return g.FileSys.GetFolder(g.BookFolder);
    const auto answer = DiskExecutor::shared().within<Result<FileSys::Folder>>(
        QFile::encodeName(g.BookFolder), 10,
        [fs = g.FileSys, path = Path(g.BookFolder)] { return fs.GetFolder(path); });
    return answer ? *answer : FileSys::Folder(g.BookFolder);
}

} // namespace

bool readConfig(GlobalState &g, QString *problem)
{
    const QString ini = AppFolder::file(QStringLiteral("config.ini"));
    const Result<QByteArray> bytes = g.FileSys.readFile(ini, MaxConfigBytes);
    if (!bytes) {
        *problem = QStringLiteral("The configuration file could not be read:\r\n") + bytes.error();
        return false;
    }
    const ConfigValues values = parseConfig(*bytes);
    if (values.book)
        g.BookFolder = *values.book;
    if (values.read)
        g.ReaderFolder = *values.read;
    if (g.BookFolder.isEmpty()) {
        *problem = QStringLiteral("The configuration file names no Main Book Folder.");
        return false;
    }
    const Result<FileSys::Folder> root = opened(g);
    if (!root) {
        *problem = QStringLiteral("The Main Book Folder cannot be opened:\r\n") + root.error();
        return false;
    }
    g.RootFolder = root;
    g.ShelfFolders = g.RootFolder;
    return true;
}

Notice checkFolders(const FileSys &fs, QString &book, QString &read)
{
    auto refuse = [](const QString &title, const QString &text) {
        return Notice {title, text + QStringLiteral("\r\n") + ClickOk};
    };
    // "~/" means the home folder.
    for (QString *path : {&book, &read}) {
        if (*path == u'~' || path->startsWith(QStringLiteral("~/")))
            *path = QDir::homePath() + path->mid(1);
    }
    if (book.isEmpty())
        return refuse(QStringLiteral("Main Book Folder not identified."),
                      QStringLiteral("You must indicate the location of the Main Book Folder."));
    if (!fs.FolderExists(book))
        return refuse(QStringLiteral("Folder Does Not Exist."),
                      book
                          + QStringLiteral("\r\nDoes not exist. Please select another folder for "
                                           "the Main Book Folder."));
    if (!read.isEmpty() && !fs.FolderExists(read))
        return refuse(QStringLiteral("Folder Does Not Exist."),
                      read
                          + QStringLiteral("\r\nDoes not exist. Please select another folder or "
                                           "no folder for the Reader Content Folder."));
    // A relative path names another folder, or none, whenever the program starts from
    // elsewhere; a line break cannot be kept in a line of config.ini.
    for (const QString &path : {book, read}) {
        if (!path.isEmpty() && !path.startsWith(u'/'))
            return refuse(QStringLiteral("Folder Not Allowed"),
                          path
                              + QStringLiteral("\r\nis not a full path (one that begins with /), "
                                               "so it names no fixed folder. Please select "
                                               "another folder."));
    }
    for (const QString &path : {book, read}) {
        if (!fitsConfigLine(path)) {
            QString shown = path;
            shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
            return refuse(QStringLiteral("Folder Not Allowed"),
                          shown
                              + QStringLiteral("\r\nholds a line break, which the configuration "
                                               "file cannot keep. Please select another folder."));
        }
    }
    return {};
}

Result<> saveConfig(const FileSys &fs, const QString &book, const QString &read)
{
    const QString ini = AppFolder::file(QStringLiteral("config.ini"));
    if (fs.FileExists(ini)) {
        const Result<> backup
            = fs.CopyFile(ini, AppFolder::file(QStringLiteral("config.bak")), true);
        if (!backup)
            return backup;
    }
    return fs.writeFileAtomically(ini, formatConfig(book, read));
}
