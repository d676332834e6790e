#include "support.h"

#include "appfolder.h"
#include "diskexecutor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace {
template<typename T> T takeFront(std::deque<T> &queue, T otherwise = T())
{
    if (queue.empty())
        return otherwise;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

// A test program ends as the program does: the disk's threads end while Qt is still whole.
const bool endsLikeTheProgram = [] {
    qAddPostRoutine([] {
        DiskExecutor::shared().end();
        (void)DiskExecutor::shared().waitForThreads(std::chrono::seconds(10));
    });
    return true;
}();
} // namespace

Prompter::Answer ScriptedPrompter::message(const QString &title, const QString &text,
                                           Buttons buttons)
{
    asked.append({title, text});
    if (const auto fn = takeFront(onMessage))
        fn();
    return takeFront(answers,
                     buttons == Buttons::Ok             ? Answer::Ok
                         : buttons == Buttons::OkCancel ? Answer::Cancel
                                                        : Answer::No);
}

QString ScriptedPrompter::input(const QString &prompt, const QString &title,
                                const QString &proposed)
{
    asked.append({title, proposed.isEmpty() ? prompt : prompt + " [" + proposed + "]"});
    const QString typed = takeFront(inputs);
    return typed == Proposed ? proposed : typed;
}

QStringList ScriptedPrompter::titles() const
{
    QStringList out;
    for (const auto &[title, text] : asked)
        out << title;
    return out;
}

bool ScriptedPrompter::told(const QString &needle) const
{
    return std::any_of(asked.begin(), asked.end(),
                       [&](auto &a) { return a.second.contains(needle); });
}

TempTree::~TempTree()
{
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
}

QString TempTree::mkdir(const QString &relative)
{
    QDir().mkpath(path(relative));
    return path(relative);
}

QString TempTree::write(const QString &relative, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path(relative)).path());
    QFile f(path(relative));
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return path(relative);
}

void TempTree::writeBytes(const QByteArray &relative, const QByteArray &content)
{
    std::ofstream(QFile::encodeName(path()).toStdString() + '/' + relative.toStdString())
        << content.toStdString();
}

QByteArray TempTree::readBytes(const QByteArray &relative) const
{
    const std::string file = QFile::encodeName(path()).toStdString() + '/' + relative.toStdString();
    std::ifstream f(file, std::ios::binary);
    if (!std::filesystem::is_regular_file(file) || !f)
        return "<missing>";
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(f), {}));
}

QStringList TempTree::entries(const QString &relative) const
{
    QStringList names; // every name, undecodable bytes too; none when there is no folder
    std::error_code none;
    const std::string folder = QFile::encodeName(path(relative)).toStdString();
    for (const auto &e : std::filesystem::directory_iterator(folder, none))
        names << QFile::decodeName(QByteArray::fromStdString(e.path().filename().string()));
    names.sort();
    return names;
}

FileSizeLimit::FileSizeLimit(unsigned long bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit l;
    getrlimit(RLIMIT_FSIZE, &l);
    m_old = l.rlim_cur;
    l.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &l);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit l;
    getrlimit(RLIMIT_FSIZE, &l);
    l.rlim_cur = m_old;
    setrlimit(RLIMIT_FSIZE, &l);
}

void later(std::function<void()> fn, int ms)
{
    QTimer::singleShot(ms, std::move(fn));
}

Library::Library(int shelves, int books, const QByteArray &marks)
{
    for (int i = 1; i <= shelves; ++i)
        tree.mkdir(QStringLiteral("lib/Shelf %1").arg(i));
    for (int i = 0; i < books; ++i)
        tree.write(QStringLiteral("lib/Shelf 1/Book %1.txt").arg(i));
    tree.mkdir("app");
    tree.mkdir("reader");
    if (!marks.isNull())
        tree.write("app/marked.dat", marks);
    AppFolder::setOverride(tree.path("app"));
    g.prompter = &prompter;
}

void Library::load()
{
    g.BookFolder = tree.path("lib");
    g.RootFolder = g.FileSys.GetFolder(g.BookFolder);
    g.ShelfFolders = g.RootFolder;
    model = std::make_unique<Bookcase>(g);
    QObject::connect(model.get(), &Bookcase::reported, [this](const Notice &n) {
        prompter.message(n.title, n.text, Prompter::Buttons::Ok);
    });
    commands = std::make_unique<Commands>(g, *model);
    model->load();
}

int Library::slotOf(const QByteArray &file) const
{
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        if (model->bookSlot(i).file == file)
            return i;
    }
    return -1;
}

QStringList Library::page() const
{
    QStringList out;
    for (int i = 0; i < Bookcase::BookSlots && !model->bookSlot(i).file.isEmpty(); ++i)
        out << QString::fromUtf8(model->bookSlot(i).file);
    return out;
}
