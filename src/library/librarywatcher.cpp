#include "librarywatcher.h"

#include "diskexecutor.h"

#include <QFile>
#include <QFileInfo>

LibraryWatcher::LibraryWatcher(QObject *parent)
    : QObject(parent)
{
    // One reading follows each burst, within a second.
    m_burst.setSingleShot(true);
    m_burst.setInterval(300);
    connect(&m_burst, &QTimer::timeout, this, &LibraryWatcher::changed);
    m_soon.setSingleShot(true);
    m_soon.setInterval(0);
    connect(&m_soon, &QTimer::timeout, this, &LibraryWatcher::watch);
    m_poll.setInterval(3000);
    connect(&m_poll, &QTimer::timeout, this, &LibraryWatcher::pollDue);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_burst.isActive())
            m_burst.start();
    });
}

void LibraryWatcher::follow(const QStringList &folders)
{
    m_wanted = folders;
    if (!m_soon.isActive())
        m_soon.start();
}

void LibraryWatcher::later()
{
    m_burst.start();
}

void LibraryWatcher::watch()
{
    // A folder removed drops out by itself.
    const QStringList watched = m_watcher.directories();
    for (const QString &path : watched) {
        if (!m_wanted.contains(path))
            m_watcher.removePath(path);
    }
    // The folders are looked at off the window's thread; those that are there are followed.
    QStringList added;
    for (const QString &path : m_wanted) {
        if (!watched.contains(path))
            added << path;
    }
    if (added.isEmpty())
        return;
    DiskExecutor::shared().ask<QStringList>(
        QFile::encodeName(added.first()), this,
        [added] {
            QStringList there;
            for (const QString &path : added) {
                if (QFileInfo(path).isDir())
                    there << path;
            }
            return there;
        },
        [this](QStringList there) {
            for (const QString &path : there) {
                if (m_wanted.contains(path) && !m_watcher.directories().contains(path))
                    m_watcher.addPath(path);
            }
        });
}

void LibraryWatcher::poll(bool on)
{
    if (on == m_poll.isActive())
        return;
    if (on)
        m_poll.start();
    else
        m_poll.stop();
}
