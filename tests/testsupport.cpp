#include "testsupport.h"

#include "appfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

Prompter::Answer ScriptedPrompter::message(const QString &title, const QString &text,
                                           Buttons buttons)
{
    asked.append({title, text});
    if (!onMessage.empty()) {
        auto fn = std::move(onMessage.front());
        onMessage.pop_front();
        if (fn)
            fn();
    }
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

QString ScriptedPrompter::input(const QString &prompt, const QString &title)
{
    asked.append({title, prompt});
    if (inputs.empty())
        return {};
    const QString s = inputs.front();
    inputs.pop_front();
    return s;
}

TempTree::TempTree() = default;

QString TempTree::path(const QString &relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.path() + u'/' + relative;
}

QString TempTree::mkdir(const QString &relative)
{
    QDir().mkpath(path(relative));
    return path(relative);
}

QString TempTree::write(const QString &relative, const QByteArray &content)
{
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return p;
}

QByteArray TempTree::read(const QString &relative) const
{
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TempTree::exists(const QString &relative) const
{
    return QFileInfo::exists(path(relative));
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

ShelfFixture::ShelfFixture(int shelves, int books, const QByteArray &marks)
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

void ShelfFixture::load()
{
    g.BookFolder = bookFolder.isEmpty() ? tree.path("lib") : bookFolder;
    g.RootFolder = g.FileSys.GetFolder(g.BookFolder);
    g.ShelfFolders = g.RootFolder;
    w = std::make_unique<frmShelf>(g);
    w->setHost(&host);
    w->Form_Load();
    w->show();
    (void)QTest::qWaitForWindowExposed(w.get());
}

int ShelfFixture::shownShelves() const
{
    int n = 0;
    for (auto *l : w->lblShelf)
        n += l->isVisible();
    return n;
}

int ShelfFixture::shownBooks() const
{
    int n = 0;
    for (auto *l : w->lblBook)
        n += l->isVisible();
    return n;
}

int ShelfFixture::slotOf(const QString &fileName) const
{
    for (int i = 0; i < frmShelf::BookSlots; ++i) {
        if (w->Book[i]->isVisible() && w->Book[i]->toolTip() == fileName)
            return i;
    }
    return -1;
}
