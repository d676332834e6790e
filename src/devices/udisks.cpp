#include "udisks.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace {

const QString Service = QStringLiteral("org.freedesktop.UDisks2");
const QString Root = QStringLiteral("/org/freedesktop/UDisks2");
const QString FilesystemIface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString BlockIface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString DriveIface = QStringLiteral("org.freedesktop.UDisks2.Drive");

// An `aay` of NUL-ended byte strings (mount points), as paths.
QList<QByteArray> paths(const QVariant &value)
{
    QList<QByteArray> out;
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument a = value.value<QDBusArgument>();
        if (a.currentType() != QDBusArgument::ArrayType)
            return out;
        a.beginArray();
        while (!a.atEnd()) {
            QByteArray bytes;
            a >> bytes;
            out << bytes;
        }
        a.endArray();
    } else {
        out = value.value<QList<QByteArray>>();
    }
    for (QByteArray &p : out) {
        if (p.endsWith('\0'))
            p.chop(1);
    }
    out.removeAll(QByteArray());
    return out;
}

// The interfaces of an object and their properties: a{sa{sv}}.
QMap<QString, QVariantMap> interfaces(const QDBusArgument &a)
{
    QMap<QString, QVariantMap> out;
    if (a.currentType() != QDBusArgument::MapType)
        return out;
    a.beginMap();
    while (!a.atEnd()) {
        QString name;
        QVariantMap properties;
        a.beginMapEntry();
        a >> name >> properties;
        a.endMapEntry();
        out.insert(name, properties);
    }
    a.endMap();
    return out;
}

} // namespace

UDisks::UDisks(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return; // no system bus (a container): no readers, without a word
    const QString objects = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    m_bus.connect(Service, Root, objects, QStringLiteral("InterfacesAdded"), this,
                  SLOT(interfacesAdded(QDBusMessage)));
    m_bus.connect(Service, Root, objects, QStringLiteral("InterfacesRemoved"), this,
                  SLOT(interfacesRemoved(QDBusMessage)));
    // A volume is often mounted a moment after it appears: its MountPoints change then.
    m_bus.connect(Service, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("PropertiesChanged"), this, SLOT(propertiesChanged(QDBusMessage)));
    // UDisks2 that ends takes its volumes with it; one that starts (again) is asked afresh.
    auto *service
        = new QDBusServiceWatcher(Service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(service, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_objects.clear();
        emit changed();
    });
    connect(service, &QDBusServiceWatcher::serviceRegistered, this, &UDisks::askAll);
    askAll();
}

void UDisks::askAll()
{
    auto *call = new QDBusPendingCallWatcher(
        m_bus.asyncCall(QDBusMessage::createMethodCall(
            Service, Root, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
            QStringLiteral("GetManagedObjects"))),
        this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &UDisks::managed);
}

void UDisks::managed(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusMessage reply = call->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return; // no UDisks2 here
    const QDBusArgument all = reply.arguments().first().value<QDBusArgument>();
    if (all.currentType() != QDBusArgument::MapType)
        return;
    all.beginMap();
    while (!all.atEnd()) {
        QDBusObjectPath path;
        all.beginMapEntry();
        all >> path;
        const QMap<QString, QVariantMap> found = interfaces(all);
        all.endMapEntry();
        for (auto it = found.cbegin(); it != found.cend(); ++it)
            take(path.path(), it.value(), it.key());
    }
    all.endMap();
    emit changed();
}

void UDisks::take(const QString &path, const QVariantMap &p, const QString &interface)
{
    Object &o = m_objects[path];
    auto has = [&](const char *name) { return p.contains(QLatin1String(name)); };
    if (interface == FilesystemIface) {
        o.filesystem = true;
        if (has("MountPoints"))
            o.mountPoints = paths(p.value(QStringLiteral("MountPoints")));
    } else if (interface == BlockIface) {
        o.block = true;
        if (has("Drive"))
            o.driveOf = p.value(QStringLiteral("Drive")).value<QDBusObjectPath>().path();
        if (has("HintSystem"))
            o.hintSystem = p.value(QStringLiteral("HintSystem")).toBool();
        if (has("HintIgnore"))
            o.hintIgnore = p.value(QStringLiteral("HintIgnore")).toBool();
        if (has("IdType"))
            o.type = p.value(QStringLiteral("IdType")).toString().toUtf8();
    } else if (interface == DriveIface) {
        o.drive = true;
        if (has("Vendor"))
            o.vendor = p.value(QStringLiteral("Vendor")).toString().trimmed();
        if (has("Model"))
            o.model = p.value(QStringLiteral("Model")).toString().trimmed();
        // Removable by the drive, by its media, or on USB.
        o.removable = o.removable || p.value(QStringLiteral("Removable")).toBool()
            || p.value(QStringLiteral("MediaRemovable")).toBool()
            || p.value(QStringLiteral("ConnectionBus")).toString() == u"usb";
        if (has("CanPowerOff"))
            o.canPowerOff = p.value(QStringLiteral("CanPowerOff")).toBool();
    }
}

void UDisks::interfacesAdded(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    const QString path = args[0].value<QDBusObjectPath>().path();
    const QMap<QString, QVariantMap> found = interfaces(args[1].value<QDBusArgument>());
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        take(path, it.value(), it.key());
    emit changed();
}

void UDisks::interfacesRemoved(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2)
        return;
    const QString path = args[0].value<QDBusObjectPath>().path();
    const auto gone = m_objects.find(path);
    if (gone == m_objects.end())
        return;
    for (const QString &interface : args[1].toStringList()) {
        if (interface == FilesystemIface)
            gone->filesystem = false, gone->mountPoints.clear();
        else if (interface == BlockIface)
            gone->block = false;
        else if (interface == DriveIface)
            gone->drive = false;
    }
    if (!gone->filesystem && !gone->block && !gone->drive)
        m_objects.erase(gone);
    emit changed();
}

void UDisks::propertiesChanged(const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || !message.path().startsWith(Root + u'/'))
        return;
    const QString interface = args[0].toString();
    if (interface != FilesystemIface && interface != BlockIface && interface != DriveIface)
        return;
    take(message.path(), qdbus_cast<QVariantMap>(args[1]), interface);
    emit changed();
}

std::vector<UDisks::Volume> UDisks::volumes() const
{
    std::vector<Volume> out;
    for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it) {
        const Object &o = it.value();
        if (!o.filesystem || !o.block || o.mountPoints.isEmpty() || o.hintSystem || o.hintIgnore)
            continue;
        const auto drive = m_objects.constFind(o.driveOf);
        if (drive == m_objects.cend() || !drive->drive || !drive->removable)
            continue;
        out.push_back({it.key(), o.driveOf, o.mountPoints.first(), o.type, drive->vendor,
                       drive->model, drive->canPowerOff});
    }
    std::sort(out.begin(), out.end(),
              [](const Volume &a, const Volume &b) { return a.mountPoint < b.mountPoint; });
    return out;
}

void UDisks::call(const QString &path, const QString &interface, const QString &method, Done then)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    message << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, 60000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [then](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ErrorMessage)
            then(reply.errorName(), reply.errorMessage());
        else
            then(QString(), QString());
    });
}

void UDisks::eject(const Volume &volume, Done done)
{
    call(volume.object, FilesystemIface, QStringLiteral("Unmount"),
         [this, volume, done](const QString &error, const QString &message) {
             if (!error.isEmpty() || !volume.canPowerOff)
                 return done(error, message);
             call(volume.drive, DriveIface, QStringLiteral("PowerOff"), done);
         });
}
