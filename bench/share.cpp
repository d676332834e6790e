#include "bench.h"

#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A network share through the system-call seam: each call that reaches the disk waits the
// delay, and none answers while the share is stopped.
class SlowShare : public SysCalls
{
public:
    std::atomic<int> delayMs {0};
    void stop(bool stopped)
    {
        const std::lock_guard hold(m_lock);
        m_stopped = stopped;
        m_resumed.notify_all();
    }
    // Stops the share now and lets it answer again after ms, from a thread of its own: a window
    // that waited for it would stand still that long.
    void stopFor(int ms)
    {
        stop(true);
        std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            stop(false);
        }).detach();
    }
    int stat(const char *path, struct stat *st) const override
    {
        pass();
        return SysCalls::stat(path, st);
    }
    int lstat(const char *path, struct stat *st) const override
    {
        pass();
        return SysCalls::lstat(path, st);
    }
    int renameNoReplace(const char *from, const char *to) const override
    {
        pass();
        return SysCalls::renameNoReplace(from, to);
    }
    int openFolder(const char *path) const override
    {
        pass();
        return SysCalls::openFolder(path);
    }
    long readEntries(int fd, char *buffer, size_t size) const override
    {
        pass();
        return SysCalls::readEntries(fd, buffer, size);
    }

private:
    void pass() const
    {
        if (const int ms = delayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        std::unique_lock hold(m_lock);
        m_resumed.wait(hold, [this] { return !m_stopped; });
    }
    mutable std::mutex m_lock;
    mutable std::condition_variable m_resumed;
    bool m_stopped = false;
};

// Turns the event loop for ms.
void turn(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

void shareGroup(Bench &b)
{
    // P17: the share stops for a second during each command; the window's timer keeps ticking.
    // The library lies outside the app folder, which is local and never waited for.
    QTemporaryDir away;
    const QString library = away.path() + QStringLiteral("/library");
    makeBooks(library + QStringLiteral("/Shelf 0"), 1000);
    for (int i = 1; i < 100; ++i)
        QDir().mkpath(library + QStringLiteral("/Shelf %1").arg(i));
    GlobalState g;
    openLibrary(g, b, library);
    g.offThread = true;
    SlowShare share;
    g.FileSys.setSysCalls(&share);
    // Names typed for the renames, in turn; every question answered with its first button.
    struct Typist : SilentPrompter
    {
        QStringList names {QStringLiteral("Renamed"), QStringLiteral("Moved")};
        int typed = 0;
        QString input(const QString &, const QString &, const QString &) override
        {
            return names[typed++ % 2];
        }
    } prompter;
    g.prompter = &prompter;
    Bookcase model(g);
    Commands commands(g, model);
    frmShelf w(model);
    w.Form_Load();
    w.show();
    turn(300);
    const QString shelf = library + QStringLiteral("/Shelf 0");
    touch(shelf + QStringLiteral("/Moved.txt"));
    model.refresh();
    turn(300);
    auto bookSlot = [&](const QByteArray &name) {
        for (int i = 0; i < Bookcase::BookSlots; ++i) {
            if (model.bookSlot(i).file == name)
                return i;
        }
        return 0;
    };
    auto stopped = [&](const std::function<void()> &command) {
        return longestGap([&] {
            share.stopFor(1000);
            command();
            turn(1200);
        });
    };
    std::vector<double> gaps;
    for (int i = 0; i < (b.quick ? 1 : 3); ++i) {
        gaps.push_back(stopped([&] { model.refresh(); }));
        gaps.push_back(stopped([&] { model.chooseShelf(1 + i); }));
        model.chooseShelf(0);
        turn(300);
        gaps.push_back(stopped([&] { // Rename Book, there and back
            model.aimAtBook(bookSlot("Moved.txt"));
            commands.mnuBookRename_Click();
            model.aimAtBook(bookSlot("Moved.txt"));
            commands.mnuBookRename_Click();
        }));
        gaps.push_back(stopped([&] { // a drop on another shelf
            model.dropBook(1, {"Shelf 0", "Moved.txt"});
        }));
        const Path there(library + QStringLiteral("/Shelf 1/Moved.txt"));
        FileSys().MoveFile(there, Path(shelf + QStringLiteral("/Moved.txt")));
    }
    b.results.push_back({QStringLiteral("P17"),
                         QStringLiteral("longest timer gap, share stopped 1 s in Refresh, shelf, "
                                        "rename, drop"),
                         *std::max_element(gaps.begin(), gaps.end()), 100, 1.0,
                         QStringLiteral("100 ms")});

    // P19: a shelf of 3,000 books on a share that answers each call after 20 ms, to its first
    // page, against reading that folder through the same share.
    const QString slow = b.root + QStringLiteral("/slow");
    makeBooks(slow + QStringLiteral("/Big 1"), 3000);
    makeBooks(slow + QStringLiteral("/Big 2"), 3000);
    GlobalState gs;
    openLibrary(gs, b, slow);
    gs.offThread = true;
    SlowShare late;
    gs.FileSys.setSysCalls(&late);
    Bookcase ms(gs);
    frmShelf ws(ms);
    ws.Form_Load();
    turn(200);
    late.delayMs = 20;
    const QByteArray big = QFile::encodeName(slow + QStringLiteral("/Big 1"));
    int next = 0;
    auto firstPage = [&] {
        while (ms.reading(Grid::Books))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    b.compare(
        QStringLiteral("P19"), QStringLiteral("choosing a 3,000-book shelf, 20 ms a call"), 1.5,
        b.quick ? 2 : 5,
        [&] {
            ms.chooseShelf(next ^= 1); // the other big shelf, to its first page
            firstPage();
        },
        [&] {
            const int fd = late.openFolder(big.constData());
            std::vector<char> buffer(1 << 16);
            while (late.readEntries(fd, buffer.data(), buffer.size()) > 0) { }
            ::close(fd);
        },
        QStringLiteral("open, getdents64 to the end and close of that folder through the share"));
}
