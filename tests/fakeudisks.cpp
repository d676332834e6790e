#include "fakeudisks.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <csignal>
#include <unistd.h>

namespace {

using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QDBusObjectPath, Interfaces>;

const QString Root = QStringLiteral("/org/freedesktop/UDisks2");
const QString Manager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString FilesystemIface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString BlockIface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString DriveIface = QStringLiteral("org.freedesktop.UDisks2.Drive");

void registerTypes()
{
    qDBusRegisterMetaType<QList<QByteArray>>();
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<Objects>();
}

// Runs a program to its end; its output when it ended well, else nothing.
std::optional<QByteArray> run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput().trimmed();
}

} // namespace

bool writeKoboDatabase(const QString &file, const QList<std::tuple<QString, int, int, int>> &rows)
{
    bool written = false;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("kobo"));
        db.setDatabaseName(file);
        QSqlQuery q(db);
        written = db.open()
            && q.exec(QStringLiteral("CREATE TABLE content (ContentID TEXT NOT NULL, ContentType "
                                     "TEXT NOT NULL, ReadStatus INT, ___PercentRead INT)"));
        for (const auto &[path, type, status, percent] : rows) {
            q.prepare(QStringLiteral("INSERT INTO content VALUES (?, ?, ?, ?)"));
            q.addBindValue(QStringLiteral("file:///mnt/onboard/") + path);
            q.addBindValue(QString::number(type));
            q.addBindValue(status);
            q.addBindValue(percent);
            written = written && q.exec();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("kobo"));
    return written;
}

ReaderVolume::ReaderVolume(const QString &at)
    : path(QFile::encodeName(at))
{
    QDir().mkpath(at);
    QFile image(at + QStringLiteral(".img"));
    if (::geteuid() != 0) {
        why = QStringLiteral("a loop device needs root");
        return;
    }
    if (!image.open(QIODevice::WriteOnly) || !image.resize(16 << 20)
        || !run(QStringLiteral("mkfs.exfat"), {image.fileName()})) {
        why = QStringLiteral("mkfs.exfat (exfatprogs) is missing");
        return;
    }
    const auto loop = run(QStringLiteral("losetup"), {"-f", "--show", image.fileName()});
    if (!loop || loop->isEmpty()) {
        why = QStringLiteral("no loop device here");
        return;
    }
    m_loop = QString::fromUtf8(*loop);
    if (!run(QStringLiteral("mount.exfat-fuse"), {m_loop, at}))
        why = QStringLiteral("exfat-fuse cannot mount here (/dev/fuse)");
}

ReaderVolume::~ReaderVolume()
{
    const QString at = QFile::decodeName(path);
    if (why.isEmpty() && !run(QStringLiteral("umount"), {at}))
        run(QStringLiteral("umount"), {"-l", at}); // busy a moment longer: detached now
    if (!m_loop.isEmpty())
        run(QStringLiteral("losetup"), {"-d", m_loop});
    QFile::remove(at + QStringLiteral(".img"));
}

PrivateBus::PrivateBus()
{
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly))
        return;
    file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\"><busconfig>"
               "<type>session</type><listen>unix:dir="
               + QFile::encodeName(m_dir.path())
               + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
                 "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
                 "own=\"*\"/></policy></busconfig>");
    file.close();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config, QStringLiteral("--fork"),
                  QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    if (!daemon.waitForFinished(5000) || daemon.exitCode() != 0)
        return;
    const QList<QByteArray> lines = daemon.readAllStandardOutput().trimmed().split('\n');
    if (lines.size() < 2)
        return;
    address = QString::fromUtf8(lines[0].trimmed());
    m_pid = lines[1].trimmed().toLongLong();
}

PrivateBus::~PrivateBus()
{
    if (m_pid <= 0)
        return;
    ::kill(pid_t(m_pid), SIGTERM);
    // Gone before its folder is removed: it removes its socket as it ends.
    for (int i = 0; i < 200 && ::kill(pid_t(m_pid), 0) == 0; ++i)
        ::usleep(10000);
}

FakeUDisks::FakeUDisks(const QString &address)
    : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("fake-udisks")))
{
    registerTypes();
    m_up = m_bus.isConnected() && m_bus.registerVirtualObject(Root, this, QDBusConnection::SubPath)
        && m_bus.registerService(QStringLiteral("org.freedesktop.UDisks2"));
}

FakeUDisks::~FakeUDisks()
{
    m_bus.unregisterService(QStringLiteral("org.freedesktop.UDisks2"));
    m_bus.unregisterObject(Root, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-udisks"));
}

QString FakeUDisks::blockPath(int disk) const
{
    return Root + QStringLiteral("/block_devices/sd%1").arg(QChar(u'b' + disk));
}

QString FakeUDisks::drivePath(int disk) const
{
    return Root + QStringLiteral("/drives/Reader_%1").arg(disk);
}

QVariantMap FakeUDisks::blockProperties(int disk) const
{
    const Disk &d = *m_disks[size_t(disk)];
    return {{QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(drivePath(disk)))},
            {QStringLiteral("HintSystem"), d.hintSystem},
            {QStringLiteral("HintIgnore"), d.hintIgnore},
            {QStringLiteral("IdType"), QString::fromUtf8(d.type)}};
}

QVariantMap FakeUDisks::filesystemProperties(int disk) const
{
    const Disk &d = *m_disks[size_t(disk)];
    QList<QByteArray> points;
    if (!d.mountPoint.isEmpty())
        points << d.mountPoint + '\0';
    return {{QStringLiteral("MountPoints"), QVariant::fromValue(points)}};
}

QVariantMap FakeUDisks::driveProperties(int disk) const
{
    const Disk &d = *m_disks[size_t(disk)];
    return {{QStringLiteral("Vendor"), d.vendor},
            {QStringLiteral("Model"), d.model},
            {QStringLiteral("Removable"), d.removable},
            {QStringLiteral("CanPowerOff"), d.canPowerOff}};
}

int FakeUDisks::plug(const Disk &disk)
{
    const int n = int(m_disks.size());
    m_disks.push_back(disk);
    for (const auto &[path, interfaces] :
         {std::pair(drivePath(n), Interfaces {{DriveIface, driveProperties(n)}}),
          std::pair(blockPath(n),
                    Interfaces {{BlockIface, blockProperties(n)},
                                {FilesystemIface, filesystemProperties(n)}})}) {
        QDBusMessage added
            = QDBusMessage::createSignal(Root, Manager, QStringLiteral("InterfacesAdded"));
        added << QVariant::fromValue(QDBusObjectPath(path)) << QVariant::fromValue(interfaces);
        m_bus.send(added);
    }
    return n;
}

void FakeUDisks::unplug(int disk)
{
    if (disk < 0 || size_t(disk) >= m_disks.size() || !m_disks[size_t(disk)])
        return;
    m_disks[size_t(disk)].reset();
    for (const auto &[path, interfaces] :
         {std::pair(blockPath(disk), QStringList {BlockIface, FilesystemIface}),
          std::pair(drivePath(disk), QStringList {DriveIface})}) {
        QDBusMessage removed
            = QDBusMessage::createSignal(Root, Manager, QStringLiteral("InterfacesRemoved"));
        removed << QVariant::fromValue(QDBusObjectPath(path)) << interfaces;
        m_bus.send(removed);
    }
}

void FakeUDisks::mount(int disk, const QByteArray &mountPoint)
{
    if (disk < 0 || size_t(disk) >= m_disks.size() || !m_disks[size_t(disk)])
        return;
    m_disks[size_t(disk)]->mountPoint = mountPoint;
    QDBusMessage changed = QDBusMessage::createSignal(
        blockPath(disk), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    changed << FilesystemIface << filesystemProperties(disk) << QStringList();
    m_bus.send(changed);
}

bool FakeUDisks::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString member = message.member();
    if (member == u"GetManagedObjects" && message.path() == Root) {
        Objects objects;
        for (int n = 0; n < int(m_disks.size()); ++n) {
            if (!m_disks[size_t(n)])
                continue;
            objects.insert(QDBusObjectPath(drivePath(n)), {{DriveIface, driveProperties(n)}});
            objects.insert(
                QDBusObjectPath(blockPath(n)),
                {{BlockIface, blockProperties(n)}, {FilesystemIface, filesystemProperties(n)}});
        }
        connection.send(message.createReply(QVariant::fromValue(objects)));
        return true;
    }
    int disk = -1;
    for (int n = 0; n < int(m_disks.size()); ++n) {
        if (message.path() == blockPath(n) || message.path() == drivePath(n))
            disk = n;
    }
    if (disk < 0 || (member != u"Unmount" && member != u"PowerOff"))
        return false;
    calls << member + u' ' + QString::number(disk);
    if (onCall)
        onCall(calls.last());
    if (member == u"Unmount" && busy) {
        connection.send(
            message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                     QStringLiteral("Error unmounting: target is busy")));
        return true;
    }
    connection.send(message.createReply());
    if (member == u"Unmount")
        mount(disk, QByteArray());
    else
        unplug(disk);
    return true;
}

QString FakeUDisks::introspect(const QString &) const
{
    return {};
}
