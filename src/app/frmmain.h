#pragma once

#include <QMainWindow>
#include <array>
#include <functional>

class QMdiArea;
class QMenu;
class QAction;

// The main window: the menu bar, the two pop-up menus, and the area that holds the shelf
// window. Closing it, in any way, ends the program through the shutdown handler.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);

    QMdiArea *mdiArea;

    QAction *mnuFileLoc;
    QAction *mnuFind;
    QMenu *mnuAboutMain;
    QAction *mnuAbout;
    QAction *mnuHelp;
    QAction *mnuExit;

    QMenu *mnuBookPopUp;
    QAction *mnuBookName;
    std::array<QAction *, 7> mnuMarkBook {}; // items 1 to 6; index 0 is unused
    QAction *mnuUnmark;
    QAction *mnuSendToReader;
    QAction *mnuBookRename;
    QAction *mnuRenameFromDetails;
    QAction *mnuBookDelete;

    QMenu *mnuShelfPopUp;
    QAction *mnuShelfName;
    QAction *mnuAddOutside;
    QAction *cmdShelfRename;
    QAction *mnuShelfDelete;

    // Scrolls the area, when the screen is too small for it, so that a part of a control
    // (in its own coordinates) is in view.
    void scrollIntoView(QWidget *control, const QRect &part);

    // Run on every way out of the window (close box, Alt+F4, the session ending).
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenuBar();
    void buildBookPopUp();
    void buildShelfPopUp();
};
