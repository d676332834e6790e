#include "diskjobs.h"

#include <QCoreApplication>

QObject *DiskJobs::mailbox()
{
    // Made on the first call, from the window's thread, and never deleted: a thread that comes
    // back late still finds it.
    static QObject *const box = [] {
        auto *o = new QObject;
        if (QCoreApplication::instance())
            o->moveToThread(QCoreApplication::instance()->thread());
        return o;
    }();
    return box;
}
