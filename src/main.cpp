#include "modmain.h"
#include "signalwatcher.h"
#include "widgetprompter.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillrack"));
    // No display name: Qt would add it to every window title. The desktop file name lets the
    // desktop match the windows to their entry.
    QApplication::setDesktopFileName(QStringLiteral("org.quillrack.Quillrack"));
    WidgetPrompter prompter;
    modMain program(prompter);
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &program, &modMain::Shutdown);
    if (!program.Main())
        return 0;
    return QApplication::exec();
}
