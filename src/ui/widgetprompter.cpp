#include "widgetprompter.h"

#include "bookname.h"
#include "job.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

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

// The program's own main window, for a job's window to lie over.
QWidget *ownerWindow()
{
    QWidget *window = QApplication::activeWindow();
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!window && w->isVisible() && qobject_cast<QMainWindow *>(w))
            window = w;
    }
    return window;
}

// A job's window: shown once the job has waited half a second (never while it asks), it says
// which folder the job waits for, or how far its copy has come; after three seconds without a
// step it says the folder is not answering. Its button (Esc too) stops the job. It keeps one
// size from the moment it shows, large enough for each of its texts whole: a press on its
// button lands where the button was.
class JobWindow : public QDialog
{
public:
    explicit JobWindow(Job &job)
        : QDialog(ownerWindow())
        , m_job(job)
    {
        setObjectName(QStringLiteral("dlgJob"));
        m_text = new QLabel(this);
        m_text->setObjectName(QStringLiteral("lblJob"));
        m_text->setTextFormat(Qt::PlainText); // it names books and folders
        m_text->setWordWrap(true);
        m_bar = new QProgressBar(this);
        m_bar->setRange(0, 1000);
        m_buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
        m_stop = m_buttons->button(QDialogButtonBox::Cancel);
        m_stop->setObjectName(QStringLiteral("cmdStopJob"));
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(m_text);
        layout->addWidget(m_bar);
        layout->addWidget(m_buttons);
        connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(this, &QDialog::rejected, &job, &Job::stop);
        connect(&job, &Job::ending, this, [this] {
            m_tick.stop();
            hide();
            deleteLater();
        });
        connect(&m_tick, &QTimer::timeout, this, &JobWindow::look);
        m_clock.start();
        m_tick.start(100);
    }

private:
    static QString folderText(const QString &folder)
    {
        // A folder of one long run of letters gets places to wrap: it shows whole.
        QString text = folder;
        for (qsizetype i = 0, run = 0; i < text.size(); ++i) {
            run = text.at(i).isSpace() || text.at(i) == u'/' ? 0 : run + 1;
            if (run == 50)
                text.insert(++i, QChar(0x200B)), run = 0;
        }
        return text;
    }
    QString notAnswering() const
    {
        return QStringLiteral("The folder is not answering:\n%1\n\nIf it lies on a network "
                              "share or a disk that sleeps, it may answer again. Stop ends the "
                              "command.")
            .arg(folderText(m_job.folder()));
    }
    void look()
    {
        const Job::State s = m_job.state();
        if (s.asking || m_clock.elapsed() < 500) {
            hide(); // a question of the job's own is shown meanwhile
            return;
        }
        const bool copying = s.total > 0;
        if (!isVisible()) {
            setWindowTitle(copying ? QStringLiteral("Copying Books")
                                   : QStringLiteral("Waiting for the Folder"));
            m_bar->setVisible(copying);
            // One size, from the longest text it will show.
            const int width = qMax(460, sizeHint().width());
            m_text->setText(notAnswering());
            const int extra = sizeHint().height() - m_text->sizeHint().height();
            setFixedSize(width, extra + m_text->heightForWidth(width - 24));
            show();
            raise();
            activateWindow();
        }
        QString text;
        if (s.stillMs >= 3000) {
            text = notAnswering();
            m_stop->setText(QStringLiteral("&Stop"));
        } else if (copying) {
            const QLocale locale;
            text = QStringLiteral("%1\n%2 of %3")
                       .arg(m_text->fontMetrics().elidedText(s.item, Qt::ElideMiddle,
                                                             m_text->width()),
                            locale.formattedDataSize(s.done), locale.formattedDataSize(s.total));
            if (s.done > 0 && m_clock.elapsed() > 1000)
                text += QStringLiteral(", about %1 s left")
                            .arg(qMax<qint64>(
                                1, m_clock.elapsed() * (s.total - s.done) / s.done / 1000));
            m_bar->setValue(int(1000 * s.done / s.total));
            m_stop->setText(QStringLiteral("Cancel"));
        } else {
            text = QStringLiteral("Waiting for the folder:\n%1").arg(folderText(m_job.folder()));
            m_stop->setText(QStringLiteral("&Stop"));
        }
        if (m_text->text() != text)
            m_text->setText(text);
    }

    Job &m_job;
    QLabel *m_text;
    QProgressBar *m_bar;
    QDialogButtonBox *m_buttons;
    QPushButton *m_stop;
    QTimer m_tick;
    QElapsedTimer m_clock;
};

} // namespace

void WidgetPrompter::watch(Job &job)
{
    new JobWindow(job); // closes, and goes, when the job ends
}
