#pragma once

#include "finder.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListView;

// The Find Book window: words typed in its box find every book of the library whose file
// name holds them all; Enter or a double-click on a row shows that book in the bookcase. Not
// modal; Esc closes it.
class frmFind : public QDialog
{
    Q_OBJECT
public:
    explicit frmFind(Finder &finder, QWidget *parent = nullptr);

    // Shows the window with its words selected, and has the library read if it is not.
    void showFind();

    QLineEdit *txtFind;
    QListView *lstFound;
    QLabel *lblCount;
    QLabel *lblStatus;

signals:
    void chosen(const BookRef &book);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showStatus();

    Finder &m_finder;
    FindResults m_results;
};
