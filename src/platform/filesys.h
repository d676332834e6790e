#pragma once

#include "naturalsort.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The outcome of a file-system operation: on failure, a message naming the file and the
// system's reason, ready to show to the user.
struct FsResult
{
    bool ok = true;
    QString error;

    static FsResult success() { return {}; }
    static FsResult failure(const QString &message) { return {false, message}; }
    explicit operator bool() const { return ok; }
};

// Names read from one folder, sorted naturally and without regard to letter case.
struct Listing
{
    std::vector<QString> names;
    bool ok = true;
    QString error;
};

// The file-system object through which every folder and file operation goes. Paths are plain
// strings joined with "/"; names that are not valid UTF-8 are left out of listings, so that no
// later operation can reach another file than the one shown.
class FileSys
{
public:
    class Folder
    {
    public:
        explicit Folder(const QString &path)
            : m_path(path)
        { }
        QString Path() const { return m_path; }
        QString Name() const;
        // Each call reads the folder as it is on disk at that moment.
        Listing SubFolders() const;
        Listing Files() const;
        // The same names, put in order only as far as they are looked at.
        NameList folderNames(QString *error = nullptr) const;
        NameList fileNames(QString *error = nullptr) const;
        // True when at least one file lies directly in the folder (stops at the first one).
        bool hasAnyFile() const;
        // True when nothing at all lies in the folder, hidden or not, file or folder.
        bool isEmpty() const;

    private:
        QString m_path;
    };

    // The folder at path, or nothing (with the reason in *error) when it cannot be opened.
    std::optional<Folder> GetFolder(const QString &path, QString *error = nullptr) const;
    bool FileExists(const QString &path) const;
    bool FolderExists(const QString &path) const;
    // True when both paths name one existing file (same path, a hard link, a case variant on a
    // file system that ignores case).
    bool sameFile(const QString &a, const QString &b) const;

    // Copies a file. With overwrite, an existing target is replaced only once the copy is
    // complete; without it, an existing target is an error.
    FsResult CopyFile(const QString &source, const QString &target, bool overwrite = false) const;
    // Moves a file; across file systems it copies, checks the copy, and only then removes the
    // source. The overwrite rules are those of CopyFile.
    FsResult MoveFile(const QString &source, const QString &target, bool overwrite = false) const;
    // Renames a file within its folder. A name that differs only in letter case renames the
    // file even where the file system ignores case; other rules are those of MoveFile.
    FsResult RenameFile(const QString &source, const QString &target, bool overwrite) const;
    FsResult DeleteFile(const QString &path) const;
    FsResult CreateFolder(const QString &path) const;
    // Renames a folder; an existing target is an error.
    FsResult MoveFolder(const QString &source, const QString &target) const;
    // Removes an empty folder; a folder with anything in it is refused.
    FsResult DeleteFolder(const QString &path) const;
    // Writes lines ended by CR LF into a new file that replaces path in one step: a failure or a
    // crash leaves the old file as it was.
    FsResult CreateTextFile(const QString &path, const QStringList &lines) const;
    FsResult writeFileAtomically(const QString &path, const QByteArray &content) const;
    // The whole file, or nothing when it cannot be read; at most maxBytes are read.
    std::optional<QByteArray> readFile(const QString &path, qint64 maxBytes,
                                       QString *error = nullptr) const;
};

// The last part of a path, with trailing separators ignored.
QString lastPathPart(const QString &path);
// The folder part of a path ("." for a bare name).
QString parentPath(const QString &path);
