#include "frmfind.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QVBoxLayout>

frmFind::frmFind(Finder &finder, QWidget *parent)
    : QDialog(parent)
    , m_finder(finder)
    , m_results(finder)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find Book"));
    resize(520, 420);
    auto *prompt = new QLabel(QStringLiteral("&Words of the name, author, title or series:"), this);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setClearButtonEnabled(true);
    txtFind->installEventFilter(this);
    prompt->setBuddy(txtFind);
    lstFound = new QListView(this);
    lstFound->setObjectName(QStringLiteral("lstFound"));
    lstFound->setAccessibleName(QStringLiteral("Books found"));
    lstFound->setUniformItemSizes(true); // a list of 100,000 rows lays out at once
    lstFound->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstFound->setTextElideMode(Qt::ElideMiddle); // the shelf and the format stay in view
    lstFound->setModel(&m_results);
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setTextFormat(Qt::PlainText); // it names shelves
    lblCount->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(this);
    for (QWidget *w :
         std::initializer_list<QWidget *> {prompt, txtFind, lstFound, lblCount, lblStatus})
        layout->addWidget(w);

    connect(txtFind, &QLineEdit::textChanged, &m_results, &FindResults::setQuery);
    connect(lstFound, &QListView::activated, this,
            [this](const QModelIndex &index) { emit chosen(m_results.book(index.row())); });
    connect(&m_results, &QAbstractItemModel::modelReset, this, &frmFind::showStatus);
    connect(&m_results, &QAbstractItemModel::rowsInserted, this, &frmFind::showStatus);
    connect(&finder, &Finder::shelvesAdded, this, &frmFind::showStatus);
    connect(&finder, &Finder::detailsAdded, this, &frmFind::showStatus);
    connect(&finder, &Finder::replaced, this, &frmFind::showStatus);
    connect(&finder, &Finder::forgotten, this, [this] {
        if (isVisible()) // the list follows the library while it is shown
            m_finder.read();
        showStatus();
    });
}

void frmFind::showFind()
{
    m_finder.check(); // another program may have changed the library since it was read
    showStatus();
    show();
    raise();
    activateWindow();
    txtFind->setFocus();
    txtFind->selectAll();
}

bool frmFind::eventFilter(QObject *watched, QEvent *event)
{
    // The arrow keys in the box choose a row of the list, and Enter shows the row chosen.
    if (watched == txtFind && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
            || key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(lstFound, event);
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && lstFound->currentIndex().isValid()) {
            emit chosen(m_results.book(lstFound->currentIndex().row()));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFind::showStatus()
{
    const QLocale locale;
    const int found = m_results.rowCount();
    lblCount->setText(txtFind->text().trimmed().isEmpty() ? QString()
                          : found == 1
                          ? QStringLiteral("1 book found")
                          : QStringLiteral("%1 books found").arg(locale.toString(found)));
    QString status;
    if (m_finder.reading())
        status = QStringLiteral("Reading the library… %1 of %2 shelves read")
                     .arg(locale.toString(m_finder.shelvesRead()),
                          locale.toString(m_finder.shelfTotal()));
    else if (m_finder.readingDetails() && m_finder.detailsToRead() > 0)
        status = QStringLiteral("Reading book details: %1 of %2")
                     .arg(locale.toString(m_finder.detailsRead()),
                          locale.toString(m_finder.detailsToRead()));
    const QStringList &skipped = m_finder.unreadable();
    if (!skipped.isEmpty())
        status += (status.isEmpty() ? QString() : QStringLiteral("\n"))
            + (skipped.size() == 1
                   ? QStringLiteral("1 shelf could not be read: ")
                   : QStringLiteral("%1 shelves could not be read: ").arg(skipped.size()))
            + skipped.join(QStringLiteral(", "));
    lblStatus->setText(status);
}
