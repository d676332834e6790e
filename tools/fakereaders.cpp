// A fake UDisks2 on a bus of its own, with a Kobo and a Kindle to plug in and pull out: to try
// the program's reader devices on a machine without one (not installed).
//
//   quillrack_fakeudisks FOLDER [FINISHED_BOOK [READING_BOOK]]
//
// makes the readers in FOLDER (small exFAT volumes of 16 MB where it runs as root, else plain
// folders), copies the books given onto the Kobo with a database that says the first was
// finished and the second is 45% read, and prints the line to start the program with. Then it
// reads commands, one a line:
//   kobo, kindle   plug that reader in, mounted
//   pull N         pull reader N out (0 is the first plugged)
//   busy, free     make an unmount fail as a reader in use does, or not
//   quit
#include "fakeudisks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs("usage: quillrack_fakeudisks FOLDER [FINISHED_BOOK [READING_BOOK]]\n", stderr);
        return 2;
    }
    const QString folder = QDir(args[0]).absolutePath();
    PrivateBus bus;
    if (!bus.isUp()) {
        std::fputs("dbus-daemon could not be started\n", stderr);
        return 1;
    }
    FakeUDisks udisks(bus.address);
    ReaderVolume kobo(folder + QStringLiteral("/KOBOeReader"));
    ReaderVolume kindle(folder + QStringLiteral("/Kindle"));
    if (!kobo.why.isEmpty())
        std::printf("The readers are plain folders: %s.\n", qPrintable(kobo.why));
    QDir(QFile::decodeName(kobo.path)).mkpath(QStringLiteral(".kobo"));
    QDir(QFile::decodeName(kindle.path)).mkpath(QStringLiteral("documents"));
    QDir(QFile::decodeName(kindle.path)).mkpath(QStringLiteral("system"));
    QList<std::tuple<QString, int, int, int>> rows;
    for (int i = 1; i < args.size() && i <= 2; ++i) {
        const QString name = QFileInfo(args[i]).fileName();
        QFile::copy(args[i], QFile::decodeName(kobo.path) + u'/' + name);
        rows.append({name, 6, i == 1 ? 2 : 1, i == 1 ? 100 : 45});
    }
    writeKoboDatabase(QFile::decodeName(kobo.path) + QStringLiteral("/.kobo/KoboReader.sqlite"),
                      rows);
    udisks.onCall = [](const QString &call) {
        std::printf("%s\n", qPrintable(call));
        std::fflush(stdout);
    };
    std::printf("Start the program with:\n  DBUS_SYSTEM_BUS_ADDRESS='%s' ./run\n"
                "Commands: kobo, kindle, pull N, busy, free, quit\n",
                qPrintable(bus.address));
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[256];
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0)
            return app.quit();
        const QStringList words = QString::fromUtf8(line, n).simplified().split(u' ');
        const QString &command = words.first();
        if (command == u"kobo")
            std::printf("reader %d: a Kobo at %s\n",
                        udisks.plug({kobo.path, QStringLiteral("Kobo"), QStringLiteral("eReader")}),
                        kobo.path.constData());
        else if (command == u"kindle")
            std::printf(
                "reader %d: a Kindle at %s\n",
                udisks.plug({kindle.path, QStringLiteral("Amazon"), QStringLiteral("Kindle")}),
                kindle.path.constData());
        else if (command == u"pull" && words.size() > 1)
            udisks.unplug(words[1].toInt());
        else if (command == u"busy" || command == u"free")
            udisks.busy = command == u"busy";
        else if (command == u"quit")
            app.quit();
        else if (!command.isEmpty())
            std::printf("Commands: kobo, kindle, pull N, busy, free, quit\n");
        std::fflush(stdout);
    });
    return app.exec();
}
