#include "bench.h"
#include "job.h"

void copyGroup(Bench &b)
{
    const bool quick = b.quick;
    const QString root = b.root;
    // A big book copied to another folder of the same file system, as a drop does: the copy
    // routine on its thread, the window's loop running meanwhile; against cp and an fsync.
    const qint64 bigBook = quick ? qint64(128) << 20 : qint64(1) << 30;
    const QString copyFrom = root + QStringLiteral("/big/Atlas.pdf"),
                  copyTo = root + QStringLiteral("/copies/Atlas.pdf");
    QDir().mkpath(root + QStringLiteral("/big"));
    QDir().mkpath(root + QStringLiteral("/copies"));
    {
        QFile f(copyFrom);
        f.open(QIODevice::WriteOnly);
        QByteArray block(8 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 7919 >> 5);
        for (qint64 left = bigBook; left > 0; left -= block.size())
            f.write(block.constData(), qMin<qint64>(left, block.size()));
    }
    WidgetPrompter windows;
    std::vector<double> copyGaps; // the longest of each run
    auto programCopy = [&] {
        QFile::remove(copyTo);
        auto last = Clock::now();
        double gap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            gap = std::max(gap, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        ticker.start(10);
        // As a drop copies: a job on the disk executor, followed by the window.
        Job job(root + QStringLiteral("/copies"), windows);
        bool ended = false;
        QObject::connect(&job, &Job::finished, [&] { ended = true; });
        job.start(QFile::encodeName(copyTo), [&](Job::Context &context) {
            struct Report : CopyProgress
            {
                Job::Context &job;
                qint64 total;
                Report(Job::Context &j, qint64 t)
                    : job(j)
                    , total(t)
                { }
                bool advance(qint64 done) override
                {
                    return job.progress(QStringLiteral("Atlas.pdf"), done, total);
                }
            } report(context, bigBook);
            FileSys().CopyFile(copyFrom, copyTo, false, &report);
            return Notice();
        });
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        copyGaps.push_back(gap);
    };
    auto rawCopy = [&] {
        QFile::remove(copyTo);
        QProcess::execute(QStringLiteral("cp"), {copyFrom, copyTo});
        const int fd = ::open(QFile::encodeName(copyTo).constData(), O_RDONLY);
        ::fsync(fd);
        ::close(fd);
    };
    b.compare(QStringLiteral("P12"),
              QStringLiteral("copying a %1 MiB book, flushed, off the window's thread")
                  .arg(bigBook >> 20),
              1.2, 5, programCopy, rawCopy,
              QStringLiteral("cp of the same file, then fsync of the copy"));
    QFile::remove(copyTo);
    b.results.push_back({QStringLiteral("P13"),
                         QStringLiteral("longest gap of a 10 ms timer while P12 copies (median "
                                        "of the runs)"),
                         median(copyGaps), 16.0, 1.0,
                         QStringLiteral("16 ms, a frame of a 60 Hz screen"), false});
}
