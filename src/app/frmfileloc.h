#pragma once

#include "widgets.h"

class QLineEdit;
class QPushButton;
class frmDirSelect;
struct GlobalState;

// The File Locations dialog: edits the paths of the Main Book Folder and the eBook Reader
// Content Folder and saves them to config.ini (the previous file kept as config.bak).
class frmFileLoc : public FormDialog
{
    Q_OBJECT
public:
    frmFileLoc(GlobalState &g, frmDirSelect &picker, QWidget *parent = nullptr);

    QLineEdit *txtBook;
    QLineEdit *txtRead;
    QPushButton *cmdBrowseBook;
    QPushButton *cmdBrowseReader;
    QPushButton *cmdSave;
    QPushButton *cmdAbort;

    void cmdBrowseBook_Click();
    void cmdBrowseReader_Click();
    void cmdSave_Click();
    void cmdAbort_Click();

signals:
    // A Save changed the Main Book Folder.
    void bookFolderChanged();
    // A Save changed the eBook Reader Content Folder.
    void readerFolderChanged();

private:
    void Form_Load();
    void browse(QLineEdit *box, const QString &caption);
    // Saves folders that were found fit.
    void save(const QString &book, const QString &read);

    GlobalState &g;
    frmDirSelect &m_picker;
    QString SavedBook;
    QString SavedRead;
    int m_asked = 0; // the latest Save's check: an earlier answer is dropped
};
