#include "support.h"

#include "appfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <csignal>
#include <filesystem>
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

QString ScriptedPrompter::input(const QString &prompt, const QString &title)
{
    asked.append({title, prompt});
    return takeFront(inputs);
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

QByteArray TempTree::read(const QString &relative) const
{
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList TempTree::entries(const QString &relative) const
{
    return QDir(path(relative))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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

void later(std::function<void()> fn)
{
    QTimer::singleShot(0, std::move(fn));
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
    g.BookFolder = bookFolder.isEmpty() ? tree.path("lib") : bookFolder;
    g.RootFolder = g.FileSys.GetFolder(g.BookFolder);
    g.ShelfFolders = g.RootFolder;
    model = std::make_unique<Bookcase>(g);
    commands = std::make_unique<Commands>(g, *model);
    model->load();
}

int Library::slotOf(const QString &file) const
{
    for (int i = 0; i < Bookcase::BookSlots; ++i) {
        if (model->bookSlot(i).file == file.toUtf8())
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
