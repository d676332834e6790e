#include "widgetprompter.h"

#include "bookname.h"
#include "diskjobs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

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
    case Buttons::OkCancelToAll:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel
                               | (buttons == Buttons::OkCancelToAll
                                      ? QMessageBox::YesToAll | QMessageBox::NoToAll
                                      : QMessageBox::NoButton));
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
    case QMessageBox::YesToAll:
        return Answer::YesToAll;
    case QMessageBox::NoToAll:
        return Answer::NoToAll;
    default:
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

QString WidgetPrompter::input(const QString &prompt, const QString &title, const QString &proposed)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    // The prompt may hold a name: shown as it is, never read as markup.
    dialog.setLabelText(asPlainText(shortLines(prompt)));
    dialog.setTextValue(proposed);
    // Wide enough for a proposed name to be read whole, within reason.
    const int wanted = dialog.fontMetrics().horizontalAdvance(proposed) + 60;
    if (wanted > dialog.sizeHint().width())
        dialog.resize(qMin(wanted, 700), dialog.sizeHint().height());
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

namespace {

// Over the program's own window even when another program has the focus (a drop from a file
// manager): a dialog without one would block nothing.
QWidget *ownerWindow()
{
    // A modal dialog first: a window behind it could not be answered.
    QWidget *window = QApplication::activeModalWidget();
    if (!window)
        window = QApplication::activeWindow();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!window && w->isVisible() && qobject_cast<QMainWindow *>(w))
            window = w;
    }
    return window;
}

// Keeps the windows painting until done() or the user stops waiting; user input waits until
// the dialog shows, which then blocks the window behind it.
void waitInLoop(const std::function<const QProgressDialog *()> &dialog,
                const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents((dialog() && dialog()->isVisible()
                                             ? QEventLoop::AllEvents
                                             : QEventLoop::ExcludeUserInputEvents)
                                        | QEventLoop::WaitForMoreEvents);
}

QString notAnswering(const QFontMetrics &metrics, const QString &folder, int room)
{
    return QStringLiteral("The folder is not answering:\n%1\n\nStop gives the window back; what "
                          "was under way ends by itself when the folder answers again.")
        .arg(metrics.elidedText(folder, Qt::ElideMiddle, room));
}

} // namespace

bool WidgetPrompter::runJob(qint64 total, const std::function<void(JobProgress &)> &job)
{
    // The job runs on a thread of its own, never waited for once stopped: one stuck on a folder
    // that does not answer goes on alone.
    struct Shared : JobProgress
    {
        std::mutex lock;
        QString item;
        std::atomic<qint64> done {0};
        std::atomic<bool> stop {false};
        bool report(const QString &now, qint64 bytes) override
        {
            const std::lock_guard hold(lock);
            item = now;
            done = bytes;
            return !stop;
        }
    };
    auto shared = std::make_shared<Shared>();
    auto finished = std::make_shared<bool>(false), abandoned = std::make_shared<bool>(false);
    shared->stop = m_stopJobs;
    DiskJobs::run<bool>(
        qApp,
        [shared, job] {
            job(*shared);
            return true;
        },
        [finished, abandoned, late = lateAnswer](bool) {
            *finished = true;
            if (*abandoned && late)
                late();
        });
    QProgressDialog dialog(ownerWindow());
    auto *label = new QLabel(&dialog);
    label->setTextFormat(Qt::PlainText); // the text names books
    dialog.setLabel(label);
    dialog.setWindowTitle(QStringLiteral("Copying Books"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setRange(0, 1000);
    // One size from the start: a dialog that grew with its text would move Cancel away from
    // a press in its first moment. Each line gives way in its middle instead.
    dialog.setLabelText(QStringLiteral("\n\n\n\n"));
    dialog.setFixedSize(qMax(dialog.sizeHint().width(), 460), dialog.sizeHint().height());
    const int room = dialog.width() - 40;
    dialog.setMinimumDuration(500);
    dialog.setAutoReset(false);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&] { shared->stop = true; });
    QElapsedTimer clock, still, stopped;
    clock.start();
    still.start();
    qint64 seen = -1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (m_stopJobs) // the program ends: the temporary file goes, nothing half-copied stays
            shared->stop = true;
        if (shared->stop && !stopped.isValid())
            stopped.start();
        // A stopped job that has not ended in a moment is stuck in a folder: left to itself.
        if (stopped.isValid() && stopped.elapsed() > 300)
            *abandoned = true;
        const qint64 done = shared->done;
        if (done != seen)
            seen = done, still.restart();
        QString item;
        {
            const std::lock_guard hold(shared->lock);
            item = shared->item;
        }
        if (still.elapsed() >= 3000) {
            dialog.setCancelButtonText(QStringLiteral("&Stop"));
            dialog.setLabelText(notAnswering(label->fontMetrics(), item, room));
            return;
        }
        const QLocale locale;
        QString text
            = QStringLiteral("%1\n%2 of %3")
                  .arg(item, locale.formattedDataSize(done), locale.formattedDataSize(total));
        if (done > 0 && clock.elapsed() > 1000)
            text += QStringLiteral(", about %1 s left")
                        .arg(qMax<qint64>(1, clock.elapsed() * (total - done) / done / 1000));
        QStringList lines = text.split(u'\n');
        for (QString &line : lines)
            line = label->fontMetrics().elidedText(line, Qt::ElideMiddle, room);
        dialog.setLabelText(lines.join(u'\n'));
        if (!shared->stop)
            dialog.setValue(total > 0 ? int(1000 * done / total) : 0);
    });
    tick.start(100);
    waitInLoop([&] { return &dialog; }, [&] { return *finished || *abandoned; });
    return *finished;
}

bool WidgetPrompter::waitFor(const QString &folder, const std::function<void()> &work)
{
    // After a stop, the rest of that command does not wait again.
    if (m_stopJobs || m_refusing)
        return false;
    auto finished = std::make_shared<bool>(false), abandoned = std::make_shared<bool>(false);
    DiskJobs::run<bool>(
        qApp,
        [work] {
            work();
            return true;
        },
        [finished, abandoned, late = lateAnswer](bool) {
            *finished = true;
            if (*abandoned && late)
                late();
        });
    std::unique_ptr<QProgressDialog> dialog;
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (m_stopJobs)
            *abandoned = true;
        if (clock.elapsed() < 500 || *abandoned)
            return;
        if (!dialog) {
            dialog = std::make_unique<QProgressDialog>(ownerWindow());
            auto *label = new QLabel(dialog.get());
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            dialog->setLabel(label);
            dialog->setWindowTitle(QStringLiteral("Waiting for the Folder"));
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setRange(0, 0);
            dialog->setCancelButtonText(QStringLiteral("&Stop"));
            dialog->setAutoReset(false);
            dialog->setLabelText(QStringLiteral("\n\n\n\n\n"));
            dialog->setFixedSize(qMax(dialog->sizeHint().width(), 460),
                                 dialog->sizeHint().height());
            QObject::connect(dialog.get(), &QProgressDialog::canceled,
                             [abandoned] { *abandoned = true; });
            dialog->show();
        }
        const int room = dialog->width() - 40;
        const QFontMetrics metrics = dialog->fontMetrics();
        dialog->setLabelText(clock.elapsed() >= 3000
                                 ? notAnswering(metrics, folder, room)
                                 : QStringLiteral("Waiting for the folder:\n%1")
                                       .arg(metrics.elidedText(folder, Qt::ElideMiddle, room)));
    });
    tick.start(100);
    waitInLoop([&] { return dialog.get(); }, [&] { return *finished || *abandoned; });
    if (*finished)
        return true;
    m_refusing = true;
    QTimer::singleShot(0, qApp, [this] { m_refusing = false; });
    return false;
}

void WidgetPrompter::stopJobs()
{
    m_stopJobs = true;
}
