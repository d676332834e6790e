#include "diskexecutor.h"
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
    int code = 0;
    {
        modMain program(prompter);
        SignalWatcher watcher;
        QObject::connect(&watcher, &SignalWatcher::terminationRequested, &program,
                         &modMain::Shutdown);
        if (program.Main())
            code = QApplication::exec();
        // The marks are saved. A call stuck on a share that does not answer is left in the
        // system's hands: nothing waits for it, and the process ends when the system lets it.
        DiskExecutor::shared().end();
    } // the windows go here, with the program
    return code;
}
