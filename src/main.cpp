#include "modmain.h"
#include "prompter.h"
#include "signalwatcher.h"
#include "versioninfo.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillrack"));
    QApplication::setApplicationDisplayName(QLatin1String(VersionInfo::Title));
    WidgetPrompter prompter;
    modMain program(prompter);
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &program, &modMain::Shutdown);
    if (!program.Main())
        return 0;
    return QApplication::exec();
}
