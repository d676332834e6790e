#pragma once

#include "naturalsort.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <thread>

// Reads what the first view of a library shows (its shelves, the books of the first shelf and
// the marks file) on a second thread while the windows are being built. Each result is handed
// out once and only for the very path it was read from; whatever could not be read is not
// handed out at all, so the caller reads it again itself and reports the failure as usual.
class ReadAhead
{
public:
    ReadAhead() = default;
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;
    ~ReadAhead();

    // bookFolder's shelves, the books of its first shelf in natural order, and marksFile.
    void start(const QString &bookFolder, const QString &marksFile);

    // Each waits for the reading to finish.
    std::optional<NameList> takeFolderNames(const QString &folder);
    std::optional<NameList> takeFileNames(const QString &folder);
    std::optional<QByteArray> takeFile(const QString &path);

private:
    struct Names
    {
        QString folder;
        std::optional<NameList> names;
    };
    void run();
    void wait();
    static std::optional<NameList> take(Names &from, const QString &folder);

    std::thread m_thread;
    QString m_bookFolder;
    QString m_marksFile;
    Names m_shelves;
    Names m_books;
    std::optional<QByteArray> m_marks;
};
