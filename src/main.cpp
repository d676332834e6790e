#include "diskexecutor.h"
#include "modmain.h"
#include "signalwatcher.h"
#include "widgetprompter.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

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
        // The marks are saved; no work starts from here on.
        DiskExecutor::shared().end();
    } // the windows go here, with the program
    // The disk's threads end before anything of the program is taken down under them. One held
    // by a call that a share that stopped answering has taken cannot be waited for: then the
    // process ends without taking anything down, as soon as the system lets that call go.
    if (!DiskExecutor::shared().waitForThreads(std::chrono::seconds(1))) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
