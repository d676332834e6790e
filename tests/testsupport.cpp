#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

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

void later(std::function<void()> fn)
{
    QTimer::singleShot(0, std::move(fn));
}
