#include "widgetprompter.h"

#include "bookname.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// A text whose lines hold at most a few hundred characters: a path of megabytes (a damaged
// config.ini) keeps its start and its end, and the box lays out at once.
QString shortLines(const QString &text)
{
    constexpr qsizetype Most = 300;
    QStringList lines = text.split(u'\n');
    for (QString &line : lines) {
        if (line.size() > Most)
            line = line.left(Most / 2) + u'…' + line.right(Most / 2 - 1);
        // A run without a place to wrap (a folder name of hundreds of letters) gets some.
        for (qsizetype i = 0, run = 0; i < line.size(); ++i) {
            run = line.at(i).isSpace() ? 0 : run + 1;
            if (run == 60)
                line.insert(++i, QChar(0x200B)), run = 0;
        }
    }
    return lines.join(u'\n');
}

} // namespace

Prompter::Answer WidgetPrompter::message(const QString &title, const QString &text, Buttons buttons)
{
    QMessageBox box(QMessageBox::NoIcon, title, shortLines(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    // A question's safe answer is its default too: a stray Return deletes or replaces nothing.
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    box.setTextFormat(Qt::PlainText);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

QString WidgetPrompter::input(const QString &prompt, const QString &title)
{
    bool ok = false;
    // The prompt may hold a name: shown as it is, never read as markup.
    const QString text
        = QInputDialog::getText(QApplication::activeWindow(), title,
                                asPlainText(shortLines(prompt)), QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}
