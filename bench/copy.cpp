#include "bench.h"

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
    double copyGap = 0;
    auto programCopy = [&] {
        QFile::remove(copyTo);
        auto last = Clock::now();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            copyGap
                = std::max(copyGap, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        ticker.start(10);
        windows.runJob(bigBook, [&](JobProgress &job) {
            struct Report : CopyProgress
            {
                JobProgress &job;
                explicit Report(JobProgress &j)
                    : job(j)
                { }
                bool advance(qint64 done) override
                {
                    return job.report(QStringLiteral("Atlas.pdf"), done);
                }
            } report(job);
            FileSys().CopyFile(copyFrom, copyTo, false, &report);
        });
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
              1.2, quick ? 3 : 7, programCopy, rawCopy,
              QStringLiteral("cp of the same file, then fsync of the copy"));
    QFile::remove(copyTo);
    b.results.push_back({QStringLiteral("P13"),
                         QStringLiteral("longest gap of a 10 ms timer while P12 copies"), copyGap,
                         100.0, 1.0, QStringLiteral("100 ms"), false});
}
