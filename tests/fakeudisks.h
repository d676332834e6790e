#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <vector>

// A D-Bus bus of our own: a dbus-daemon that lives as long as this object.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    bool isUp() const { return !address.isEmpty(); }
    QString address;

private:
    QTemporaryDir m_dir;
    qint64 m_pid = 0;
};

// A Kobo's database of our own making: a content row per book or chapter (its path on the
// reader, ContentType, ReadStatus, ___PercentRead), as a Kobo writes it.
bool writeKoboDatabase(const QString &file, const QList<std::tuple<QString, int, int, int>> &rows);

// Where a fake reader is mounted: a small exFAT image of its own, mounted with exfat-fuse
// through a loop device where the system allows it, else a plain folder (why says why).
class ReaderVolume
{
public:
    explicit ReaderVolume(const QString &at);
    ~ReaderVolume();
    QByteArray path;
    QString why; // empty: an exFAT volume

private:
    QString m_loop;
};

// A UDisks2 of our own on a bus: drives with one file system each, mounted where a test says,
// that answers GetManagedObjects, Unmount and PowerOff, and tells of changes as UDisks2 does.
class FakeUDisks : public QDBusVirtualObject
{
public:
    struct Disk
    {
        QByteArray mountPoint; // empty: not mounted
        QString vendor, model;
        QByteArray type = "exfat";
        bool removable = true, hintSystem = false, hintIgnore = false, canPowerOff = true;
    };
    explicit FakeUDisks(const QString &address);
    ~FakeUDisks() override;
    bool isUp() const { return m_up; }

    int plug(const Disk &disk); // its number
    void unplug(int disk);
    void mount(int disk, const QByteArray &mountPoint); // empty: unmounted
    QStringList calls; // "Unmount 1", "PowerOff 1", in order
    std::function<void(const QString &call)> onCall;
    bool busy = false; // Unmount fails as a file system in use does

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    QString blockPath(int disk) const;
    QString drivePath(int disk) const;
    QVariantMap blockProperties(int disk) const;
    QVariantMap filesystemProperties(int disk) const;
    QVariantMap driveProperties(int disk) const;

    QDBusConnection m_bus;
    bool m_up = false;
    std::vector<std::optional<Disk>> m_disks;
};
