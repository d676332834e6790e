#include "frmdirselect.h"

#include "bookname.h"
#include "globalstate.h"
#include "volumes.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>

namespace {

constexpr int ShownRole = Qt::UserRole + 1; // the volume's text when it answers
constexpr int AnsweredRole = Qt::UserRole + 2;

// Space the window manager takes for the title bar and borders, in twips.
constexpr int FrameTwips = 405;

// The readable names of a folder's sub-folders; nothing when it cannot be read. Folders are
// opened by their path as text: a name that is not text could not be reached.
std::optional<QStringList> childFolders(const FileSys &fs, const QString &path)
{
    const auto folder = fs.GetFolder(path);
    if (!folder)
        return std::nullopt;
    QStringList names;
    const NameList found = folder->folderNames();
    for (int i = 0; i < found.size(); ++i) {
        if (readableName(found.bytesAt(i)))
            names.append(found.at(i));
    }
    return names;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace

DirList::DirList(const GlobalState &state, QWidget *parent)
    : QWidget(parent)
    , g(state)
{
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("Dir1List"));
    m_list->installEventFilter(this);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &DirList::openItem);
}

void DirList::setPath(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty())
        return;
    const int asked = ++m_asked;
    using Read = std::optional<QStringList>;
    g.askDisk<Read>(
        QFile::encodeName(clean), this, [fs = g.FileSys, clean] { return childFolders(fs, clean); },
        [this, asked, clean](Read children) {
            if (asked == m_asked && children)
                show(clean, *children);
        });
}

void DirList::show(const QString &clean, const QStringList &children)
{
    m_path = clean;
    m_list->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // The ancestors, from the root down to the open folder, each one step further in.
    QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString walked = QStringLiteral("/");
    int depth = 0;
    auto add = [&](const QString &text, const QString &full, const QIcon &icon, int indent) {
        auto *item = new QListWidgetItem(icon, QString(indent * 3, u' ') + text, m_list);
        item->setData(Qt::UserRole, full);
    };
    add(QStringLiteral("/"), walked, open, depth++);
    for (const QString &part : parts) {
        walked = joinPath(walked, part);
        add(part, walked, open, depth++);
    }
    m_list->setCurrentRow(m_list->count() - 1);
    for (const QString &name : children)
        add(name, joinPath(clean, name), closed, depth);
    emit pathChanged(m_path);
}

void DirList::openItem(QListWidgetItem *item)
{
    if (item)
        setPath(item->data(Qt::UserRole).toString());
}

bool DirList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openItem(m_list->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

FileList::FileList(const GlobalState &state, QWidget *parent)
    : QWidget(parent)
    , g(state)
{
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("File1List"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void FileList::setPath(const QString &path)
{
    m_path = path;
    Refresh();
}

void FileList::Refresh()
{
    const int asked = ++m_asked;
    g.askDisk<NameList>(
        QFile::encodeName(m_path), this,
        [fs = g.FileSys, path = m_path] {
            const auto folder = fs.GetFolder(path);
            return folder ? folder->fileNames() : NameList();
        },
        [this, asked](NameList names) {
            if (asked != m_asked)
                return;
            const QList<QByteArray> selected = FileNames();
            m_list->clear();
            // Listed as a shelf is: each item carries the name's bytes, which reach the file.
            for (int i = 0; i < names.size(); ++i)
                (new QListWidgetItem(names.at(i), m_list))->setData(Qt::UserRole, names.bytesAt(i));
            setFileNames(selected);
        });
}

QList<QByteArray> FileList::FileNames() const
{
    QList<QByteArray> names;
    for (int i = 0; i < m_list->count(); ++i) {
        if (m_list->item(i)->isSelected())
            names << m_list->item(i)->data(Qt::UserRole).toByteArray();
    }
    return names;
}

void FileList::setFileNames(const QList<QByteArray> &names)
{
    m_list->clearSelection();
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem *item = m_list->item(i);
        if (names.contains(item->data(Qt::UserRole).toByteArray())) {
            item->setSelected(true);
            m_list->setCurrentItem(item, QItemSelectionModel::Select);
        }
    }
}

frmDirSelect::frmDirSelect(const GlobalState &state, QWidget *parent)
    : FormDialog(parent)
    , g(state)
{
    setObjectName(QStringLiteral("frmDirSelect"));
    setWindowTitle(QStringLiteral("Select Directory"));
    setSizeGripEnabled(true);
    resize(tw(5055), tw(5085));

    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(tw(90), tw(90), tw(3615), tw(315));
    Dir1 = new DirList(g, this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(tw(90), tw(450), tw(3615), tw(2115));
    Dir1->list()->setGeometry(0, 0, tw(3615), tw(2115));
    File1 = new FileList(g, this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(tw(90), tw(2610), tw(3615), tw(2430));
    File1->list()->setGeometry(0, 0, tw(3615), tw(2430));

    QFont bold = font();
    bold.setBold(true);
    bold.setPointSizeF(9.75);
    auto button = [&](const QString &text, const char *name, int top) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(tw(3870), tw(top), tw(1095), tw(465));
        b->setFont(bold);
        b->setAutoDefault(false);
        return b;
    };
    cmdOK = button(QStringLiteral("OK"), "cmdOK", 90);
    cmdOK->setDefault(true);
    cmdMove = button(QStringLiteral("Move"), "cmdMove", 90);
    cmdCancel = button(QStringLiteral("Cancel"), "cmdCancel", 720);
    cmdCopy = button(QStringLiteral("Copy"), "cmdCopy", 720);
    cmdDone = button(QStringLiteral("Done"), "cmdDone", 1350);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, cmdMove);
    setTabOrder(cmdMove, cmdCopy);
    setTabOrder(cmdCopy, Drive1);
    setTabOrder(Drive1, Dir1->list());
    setTabOrder(Dir1->list(), File1->list());
    setTabOrder(File1->list(), cmdDone);

    connect(cmdOK, &QPushButton::clicked, this, &frmDirSelect::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDirSelect::cmdCancel_Click);
    connect(cmdDone, &QPushButton::clicked, this, &frmDirSelect::cmdDone_Click);
    connect(cmdCopy, &QPushButton::clicked, this,
            [this] { emit booksChosen(File1->Path(), File1->FileNames(), false); });
    connect(cmdMove, &QPushButton::clicked, this,
            [this] { emit booksChosen(File1->Path(), File1->FileNames(), true); });
    // The files follow the folder shown, and the volume shown where it lies.
    connect(Dir1, &DirList::pathChanged, this, [this] {
        Dir1_Change();
        selectDriveOf(Dir1->Path());
    });

    // The lists start at the process's current folder.
    pointAt(QDir::currentPath());
    connect(Drive1, &QComboBox::activated, this, &frmDirSelect::Drive1_Change);
    useForChoosingFolder(windowTitle());
}

void frmDirSelect::fillDrives()
{
    Drive1->clear();
    for (const Volumes::Volume &v : Volumes::mounted()) {
        const QString root = QFile::decodeName(v.root);
        const QString text
            = v.label.isEmpty() ? root : root + QStringLiteral("  [%1]").arg(v.label);
        Drive1->addItem(text, root);
        Drive1->setItemData(Drive1->count() - 1, text, ShownRole);
    }
    if (Drive1->findData(QStringLiteral("/")) < 0) {
        Drive1->insertItem(0, QStringLiteral("/"), QStringLiteral("/"));
        Drive1->setItemData(0, QStringLiteral("/"), ShownRole);
    }
    selectDriveOf(Dir1->Path());
    // Each volume is asked whether it answers; one that has not answered a moment later says so
    // until it does.
    const int round = ++m_drivesRound;
    for (int i = 0; i < Drive1->count(); ++i) {
        const QString root = Drive1->itemData(i).toString();
        DiskExecutor::shared().ask<bool>(
            QFile::encodeName(root), this, [root] { return QStorageInfo(root).isValid(); },
            [this, round, root](bool) {
                const int at = Drive1->findData(root);
                if (round != m_drivesRound || at < 0)
                    return;
                Drive1->setItemData(at, true, AnsweredRole);
                Drive1->setItemText(at, Drive1->itemData(at, ShownRole).toString());
            });
    }
    QTimer::singleShot(1000, this, [this, round] {
        for (int i = 0; round == m_drivesRound && i < Drive1->count(); ++i) {
            if (!Drive1->itemData(i, AnsweredRole).toBool())
                Drive1->setItemText(i,
                                    Drive1->itemData(i, ShownRole).toString()
                                        + QStringLiteral("  (not answering)"));
        }
    });
}

void frmDirSelect::selectDriveOf(const QString &path)
{
    // The volume that holds the path: the longest mount point that the path lies under.
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < Drive1->count(); ++i) {
        const QString root = Drive1->itemData(i).toString();
        const bool under = path == root || root == u"/"
            || path.startsWith(root.endsWith(u'/') ? root : root + u'/');
        if (under && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    Drive1->setCurrentIndex(best);
}

void frmDirSelect::Drive1_Change()
{
    // A volume that cannot be opened leaves the list, silently, at the folder still shown.
    Dir1->setPath(Drive1->currentData().toString());
    selectDriveOf(Dir1->Path());
}

void frmDirSelect::Dir1_Change()
{
    File1->setPath(Dir1->Path());
}

void frmDirSelect::pointAt(const QString &folder)
{
    Dir1->setPath(folder);
}

void frmDirSelect::setWindowHeightTwips(int twips)
{
    resize(width(), tw(twips - FrameTwips));
}

void frmDirSelect::useForChoosingFolder(const QString &caption)
{
    m_use = Use::ChoosingFolder;
    fillDrives();
    setWindowTitle(caption);
    setWindowHeightTwips(3000);
    cmdOK->show();
    cmdCancel->show();
    cmdMove->hide();
    cmdCopy->hide();
    cmdDone->hide();
}

void frmDirSelect::useForAddingBooks(const QString &caption)
{
    m_use = Use::AddingBooks;
    fillDrives();
    setWindowTitle(caption);
    setWindowHeightTwips(5490);
    cmdOK->hide();
    cmdCancel->hide();
    cmdMove->show();
    cmdCopy->show();
    cmdDone->show();
}

std::optional<QString> frmDirSelect::chooseFolder(const QString &caption, const QString &startAt)
{
    useForChoosingFolder(caption);
    // The picker opens where it was, and goes to the folder once that has answered.
    if (!startAt.isEmpty())
        pointAt(startAt);
    m_picked.reset();
    showModal();
    return m_picked;
}

void frmDirSelect::cmdOK_Click()
{
    m_picked = Dir1->Path();
    hide();
}

void frmDirSelect::cmdCancel_Click()
{
    m_picked.reset();
    hide();
}

void frmDirSelect::cmdDone_Click()
{
    hide();
}

void frmDirSelect::escapePressed()
{
    if (m_use == Use::AddingBooks) // choosing a folder has no way out but its buttons
        cmdDone_Click();
}
