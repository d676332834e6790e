#pragma once

#include "widgets.h"

#include <optional>

struct GlobalState;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The folder list: the open folder with its ancestors above it and its sub-folders below.
// A click highlights an entry; a double-click or Enter opens it.
class DirList : public QWidget
{
    Q_OBJECT
public:
    DirList(const GlobalState &g, QWidget *parent);
    QString Path() const { return m_path; }
    // Opens a folder once it has been read; nothing changes when it cannot be read.
    void setPath(const QString &path);
    QListWidget *list() const { return m_list; }

signals:
    // A folder was read and is shown.
    void pathChanged(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openItem(QListWidgetItem *item);
    void show(const QString &path, const QStringList &children);
    const GlobalState &g;
    QListWidget *m_list;
    QString m_path;
    int m_asked = 0; // the latest folder asked for: an earlier answer is dropped
};

// The file list: the files of one folder, listed as a shelf is; several may be selected.
class FileList : public QWidget
{
    Q_OBJECT
public:
    FileList(const GlobalState &g, QWidget *parent);
    QString Path() const { return m_path; }
    void setPath(const QString &path);
    void Refresh();
    // The selected files' bare names as bytes (Shift, Ctrl and Ctrl+A choose several), in list
    // order.
    QList<QByteArray> FileNames() const;
    void setFileNames(const QList<QByteArray> &names);
    QListWidget *list() const { return m_list; }

private:
    const GlobalState &g;
    QListWidget *m_list;
    QString m_path;
    int m_asked = 0;
};

// The directory picker: a drive list, a folder list and a file list. Its caller sets the
// caption, the height and which buttons show: OK and Cancel to choose a folder, Copy, Move and
// Done to add books to a shelf.
class frmDirSelect : public FormDialog
{
    Q_OBJECT
public:
    // The folders are read off the window's thread: one that does not answer never holds it.
    frmDirSelect(const GlobalState &g, QWidget *parent);

    // Outer height in twips, title bar and borders included, as the callers give it.
    void setWindowHeightTwips(int twips);
    // Folder choosing (OK, Cancel) or adding books (Move, Copy, Done).
    void useForChoosingFolder(const QString &caption);
    void useForAddingBooks(const QString &caption);
    // Points the three lists at a folder, once it has been read.
    void pointAt(const QString &folder);
    // Shows the picker for choosing a folder, opened on startAt when that is a folder, and
    // returns the folder chosen with OK; nothing after Cancel.
    std::optional<QString> chooseFolder(const QString &caption, const QString &startAt);

    QComboBox *Drive1;
    DirList *Dir1;
    FileList *File1;
    QPushButton *cmdOK;
    QPushButton *cmdMove;
    QPushButton *cmdCancel;
    QPushButton *cmdCopy;
    QPushButton *cmdDone;

signals:
    // The adding use's Copy and Move: the files chosen in a folder, for the shelf commands
    // (the file list is read again once they are done).
    void booksChosen(const QString &folder, const QList<QByteArray> &names, bool move);

protected:
    void escapePressed() override;

private:
    // The mounted volumes, listed without touching them; one that does not answer a moment
    // later is marked as such.
    void fillDrives();
    void Drive1_Change();
    void Dir1_Change();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdDone_Click();
    void selectDriveOf(const QString &path);

    const GlobalState &g;
    int m_drivesRound = 0;
    std::optional<QString> m_picked;
    enum class Use { ChoosingFolder, AddingBooks } m_use = Use::ChoosingFolder;
};
