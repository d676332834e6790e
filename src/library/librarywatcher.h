#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

// Follows the folders the window shows (the Main Book Folder and the current shelf) for changes
// by other programs, and says so once per burst: a thousand files copied in are one change.
class LibraryWatcher : public QObject
{
    Q_OBJECT
public:
    explicit LibraryWatcher(QObject *parent = nullptr);

    // The folders to follow from now on; set up once the event loop turns, so that the first
    // screen does not wait for it. A folder that is not there is not followed.
    void follow(const QStringList &folders);
    // Says changed() again shortly: a change that came while it could not be taken.
    void later();
    // On a network share the system tells of no change another computer makes: then nothing
    // is followed and pollDue() comes every few seconds instead.
    void poll(bool on);
    // The folders followed now.
    QStringList followed() const { return m_watcher.directories(); }

signals:
    void changed();
    void pollDue();

private:
    void watch();

    QFileSystemWatcher m_watcher;
    QStringList m_wanted;
    QTimer m_burst;
    QTimer m_soon;
    QTimer m_poll;
};
