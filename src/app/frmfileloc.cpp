#include "frmfileloc.h"

#include "configuration.h"
#include "frmdirselect.h"
#include "globalstate.h"
#include "prompter.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

frmFileLoc::frmFileLoc(GlobalState &state, frmDirSelect &picker, QWidget *parent)
    : FormDialog(parent)
    , g(state)
    , m_picker(picker)
{
    setObjectName(QStringLiteral("frmFileLoc"));
    setWindowTitle(QStringLiteral("Update System Configuration"));
    setFixedSize(tw(8415), tw(3450));
    QFont base = font();
    base.setPointSizeF(9.75);
    setFont(base);

    auto *title = new QLabel(QStringLiteral("Update File Locations"), this);
    title->setObjectName(QStringLiteral("Label1"));
    QFont big = base;
    big.setPointSizeF(24);
    big.setBold(true);
    title->setFont(big);
    title->adjustSize();
    title->move((width() - title->width()) / 2, tw(300));

    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(tw(60), tw(960) - 1, tw(8220), 3);

    auto *label2 = new QLabel(QStringLiteral("Location of Main Book Folder:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(tw(270), tw(1170), tw(3555), tw(255));
    txtBook = new QLineEdit(this);
    txtBook->setObjectName(QStringLiteral("txtBook"));
    txtBook->setGeometry(tw(270), tw(1440), tw(7035), tw(360));
    label2->setBuddy(txtBook);
    fitWidth(label2);

    auto *label3 = new QLabel(QStringLiteral("Location of eBook Reader Content Folder:"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setGeometry(tw(270), tw(1890), tw(3795), tw(285));
    txtRead = new QLineEdit(this);
    txtRead->setObjectName(QStringLiteral("txtRead"));
    txtRead->setGeometry(tw(270), tw(2160), tw(7035), tw(360));
    label3->setBuddy(txtRead);
    fitWidth(label3);

    auto button = [&](const QString &text, const char *name, int left, int top, int width,
                      int height, bool bold) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(tw(left), tw(top), tw(width), tw(height));
        b->setAutoDefault(false); // no button answers Enter or Esc
        if (bold) {
            QFont f = base;
            f.setPointSizeF(12);
            f.setBold(true);
            b->setFont(f);
        }
        return b;
    };
    cmdBrowseBook = button(QStringLiteral("Browse"), "cmdBrowseBook", 7290, 1440, 915, 375, false);
    cmdBrowseReader
        = button(QStringLiteral("Browse"), "cmdBrowseReader", 7290, 2160, 915, 375, false);
    cmdSave = button(QStringLiteral("Save"), "cmdSave", 3060, 2790, 1095, 465, true);
    cmdAbort = button(QStringLiteral("Abort"), "cmdAbort", 4290, 2790, 1095, 465, true);

    setTabOrder(txtBook, cmdSave);
    setTabOrder(cmdSave, cmdBrowseBook);
    setTabOrder(cmdBrowseBook, txtRead);
    setTabOrder(txtRead, cmdBrowseReader);
    setTabOrder(cmdBrowseReader, cmdAbort);

    connect(cmdBrowseBook, &QPushButton::clicked, this, &frmFileLoc::cmdBrowseBook_Click);
    connect(cmdBrowseReader, &QPushButton::clicked, this, &frmFileLoc::cmdBrowseReader_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmFileLoc::cmdSave_Click);
    connect(cmdAbort, &QPushButton::clicked, this, &frmFileLoc::cmdAbort_Click);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Form_Load();
}

void frmFileLoc::Form_Load()
{
    SavedBook = g.BookFolder;
    SavedRead = g.ReaderFolder;
    txtBook->setText(g.BookFolder);
    txtRead->setText(g.ReaderFolder);
}

void frmFileLoc::browse(QLineEdit *box, const QString &caption)
{
    if (const std::optional<QString> folder = m_picker.chooseFolder(caption, box->text()))
        box->setText(*folder);
}

void frmFileLoc::cmdBrowseBook_Click()
{
    browse(txtBook, QStringLiteral("Select Main Book Folder"));
}

void frmFileLoc::cmdBrowseReader_Click()
{
    browse(txtRead, QStringLiteral("Select Reader Content Folder"));
}

void frmFileLoc::cmdSave_Click()
{
    // The folders are looked at off the window's thread: Save waits for the answer, Abort
    // does not.
    struct Checked
    {
        QString book, read;
        Notice refused;
    };
    const int asked = ++m_asked;
    cmdSave->setEnabled(false);
    g.askDisk<Checked>(
        QFile::encodeName(txtBook->text()), this,
        [fs = g.FileSys, book = txtBook->text(), read = txtRead->text()] {
            Checked c {book, read, {}};
            c.refused = checkFolders(fs, c.book, c.read);
            return c;
        },
        [this, asked](Checked c) {
            if (asked != m_asked)
                return; // aborted meanwhile
            cmdSave->setEnabled(true);
            if (c.refused)
                return (void)g.prompter->message(c.refused.title, c.refused.text);
            save(c.book, c.read);
        });
}

void frmFileLoc::save(const QString &book, const QString &read)
{
    txtBook->setText(book); // as saved, "~/" written out
    txtRead->setText(read);
    const Result<> result = saveConfig(g.FileSys, book, read);
    if (!result) {
        g.prompter->message(QStringLiteral("Configuration Not Saved"),
                            QStringLiteral("The folder locations could not be saved.\r\n\r\n")
                                + result.error());
        return;
    }
    const bool bookChanged = book != g.BookFolder, readerChanged = read != g.ReaderFolder;
    SavedBook = book;
    SavedRead = read;
    g.BookFolder = book;
    g.ReaderFolder = read;
    hide();
    if (bookChanged)
        emit bookFolderChanged();
    if (readerChanged)
        emit readerFolderChanged();
}

void frmFileLoc::cmdAbort_Click()
{
    ++m_asked; // a check under way is not waited for
    cmdSave->setEnabled(true);
    txtBook->setText(SavedBook);
    txtRead->setText(SavedRead);
    hide();
}
