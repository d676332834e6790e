#include "modmain.h"
#include "signalwatcher.h"
#include "widgetprompter.h"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
    const int code = QApplication::exec();
    // The windows go at once, whatever holds the process: the system keeps a process whose
    // thread waits on a share that does not answer until the share takes the call back.
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    QApplication::processEvents();
    // The marks are saved. A thread stuck on a folder that does not answer must not hold the
    // end: what is left of it has a moment, then the program ends without it.
    std::thread([code] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        std::fflush(nullptr);
        std::_Exit(code);
    }).detach();
    return code;
}
