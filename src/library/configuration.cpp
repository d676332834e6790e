#include "configuration.h"

#include "appfolder.h"
#include "configfile.h"
#include "globalstate.h"
#include "prompter.h"

#include <QDir>

namespace {
// config.ini is two short lines; anything past this is not a configuration file.
constexpr qint64 MaxConfigBytes = 1 << 20;
const QString ClickOk = QStringLiteral("Click 'OK' to continue.");
} // namespace

bool readConfig(GlobalState &g, QString *problem)
{
    QString error;
    const QString ini = AppFolder::file(QStringLiteral("config.ini"));
    const std::optional<QByteArray> bytes = g.FileSys.readFile(ini, MaxConfigBytes, &error);
    if (!bytes) {
        *problem = QStringLiteral("The configuration file could not be read:\r\n") + error;
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
    g.RootFolder = g.FileSys.GetFolder(g.BookFolder, &error);
    if (!g.RootFolder) {
        *problem = QStringLiteral("The Main Book Folder cannot be opened:\r\n") + error;
        return false;
    }
    g.ShelfFolders = g.RootFolder;
    return true;
}

bool checkFolders(Prompter &prompter, const FileSys &fs, QString &book, QString &read)
{
    // "~/" means the home folder; any other path must be a full one: a relative path names
    // another folder, or none, whenever the program starts from elsewhere.
    for (QString *path : {&book, &read}) {
        if (*path == u'~' || path->startsWith(QStringLiteral("~/")))
            *path = QDir::homePath() + path->mid(1);
        if (!path->isEmpty() && !path->startsWith(u'/')) {
            prompter.message(QStringLiteral("Folder Not Allowed"),
                             *path
                                 + QStringLiteral("\r\nis not a full path (one that begins "
                                                  "with /), so it names no fixed folder. Please "
                                                  "select another folder.\r\n")
                                 + ClickOk);
            return false;
        }
    }
    if (book.isEmpty()) {
        prompter.message(QStringLiteral("Main Book Folder not identified."),
                         QStringLiteral("You must indicate the location of the Main Book "
                                        "Folder.\r\n")
                             + ClickOk);
        return false;
    }
    for (const QString &path : {book, read}) {
        if (!fitsConfigLine(path)) {
            QString shown = path;
            shown.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
            prompter.message(QStringLiteral("Folder Not Allowed"),
                             shown
                                 + QStringLiteral("\r\nholds a line break, which the "
                                                  "configuration file cannot keep. Please "
                                                  "select another folder.\r\n")
                                 + ClickOk);
            return false;
        }
    }
    if (!fs.FolderExists(book)) {
        prompter.message(QStringLiteral("Folder Does Not Exist."),
                         book
                             + QStringLiteral("\r\nDoes not exist. Please select another "
                                              "folder for the Main Book Folder.\r\n")
                             + ClickOk);
        return false;
    }
    if (!read.isEmpty() && !fs.FolderExists(read)) {
        prompter.message(QStringLiteral("Folder Does Not Exist."),
                         read
                             + QStringLiteral("\r\nDoes not exist. Please select another "
                                              "folder or no folder for the Reader Content "
                                              "Folder.\r\n")
                             + ClickOk);
        return false;
    }
    return true;
}

FsResult saveConfig(const FileSys &fs, const QString &book, const QString &read)
{
    const QString ini = AppFolder::file(QStringLiteral("config.ini"));
    if (fs.FileExists(ini)) {
        const FsResult backup
            = fs.CopyFile(ini, AppFolder::file(QStringLiteral("config.bak")), true);
        if (!backup)
            return backup;
    }
    return fs.writeFileAtomically(ini, formatConfig(book, read));
}
