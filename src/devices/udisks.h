#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QDBusMessage;
class QDBusPendingCallWatcher;

// The removable volumes the system has mounted, as UDisks2 tells of them on the system bus:
// asked once (GetManagedObjects), then followed as objects come and go and as their mount
// points change; nothing is polled. Without UDisks2 on the bus there are simply none. Nothing
// here waits for the bus.
class UDisks : public QObject
{
    Q_OBJECT
public:
    // A mounted file system on a removable drive that the system neither keeps for itself nor
    // asks to be ignored.
    struct Volume
    {
        QString object; // the file system's object path
        QString drive; // its drive's object path
        QByteArray mountPoint;
        QByteArray type; // as the block device names it: "vfat", "exfat"
        QString vendor, model; // of the drive
        bool canPowerOff = false;
        bool operator==(const Volume &) const = default;
    };

    explicit UDisks(QDBusConnection bus = QDBusConnection::systemBus(), QObject *parent = nullptr);

    std::vector<Volume> volumes() const;

    // Unmounts a file system, then powers its drive off where it can be; done gets an empty
    // text when it went, else the reason (the error's name and UDisks2's message).
    using Done = std::function<void(const QString &errorName, const QString &message)>;
    void eject(const Volume &volume, Done done);

signals:
    // The mounted removable volumes changed.
    void changed();

private slots:
    void interfacesAdded(const QDBusMessage &message);
    void interfacesRemoved(const QDBusMessage &message);
    void propertiesChanged(const QDBusMessage &message);

private:
    struct Object
    {
        bool filesystem = false, block = false, drive = false;
        QList<QByteArray> mountPoints;
        QString driveOf;
        bool hintSystem = false, hintIgnore = false;
        QByteArray type;
        QString vendor, model;
        bool removable = false, canPowerOff = false;
    };
    void take(const QString &path, const QVariantMap &properties, const QString &interface);
    void askAll();
    void managed(QDBusPendingCallWatcher *call);
    void call(const QString &path, const QString &interface, const QString &method, Done then);

    QDBusConnection m_bus;
    QHash<QString, Object> m_objects;
};
