#pragma once

#include "frmshelf.h"
#include "globalstate.h"
#include "readahead.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class Bookcase;
class Commands;
class FormDialog;
class frmAbout;
class frmMain;
class frmShelf;
class frmSplash;
class frmFileLoc;
class frmFind;
class Finder;
class frmDirSelect;
class Prompter;
class Readers;
class UDisks;

// The program: the shared state, its windows, start-up and shutdown.
class modMain : public QObject, public ShelfHost
{
    Q_OBJECT
public:
    explicit modMain(Prompter &prompter);
    ~modMain() override;

    // Start-up: shows the main window and the splash, makes sure config.ini names a Main Book
    // Folder that opens (asking through the File Locations dialog until it does), then shows
    // the shelf window. False when the program was ended during start-up.
    bool Main();

    // Every way out: saves the marks once and ends the program.
    void Shutdown();

    GlobalState g;
    frmMain *mainWindow = nullptr;
    std::unique_ptr<Bookcase> bookcase;
    frmShelf *shelfWindow = nullptr;
    QPointer<frmSplash> splash;
    frmDirSelect *dirSelect = nullptr;
    frmFileLoc *fileLoc = nullptr;
    std::unique_ptr<Commands> commands;
    QPointer<frmAbout> about;
    std::unique_ptr<Finder> finder;
    // The reader devices, followed once the first screen is painted (start-up never waits
    // for the system bus).
    UDisks *udisks = nullptr;
    Readers *readers = nullptr;
    QPointer<frmFind> findWindow;

    int shutdownCount() const { return m_shutdowns; }
    // How the program ends after the marks are saved; tests replace it.
    std::function<void()> endProgram;

    void showShelfPopUp(const QString &title, const QPoint &at) override;
    void showBookPopUp(const QString &title, const QPoint &at) override;
    void run(Command command) override;
    void showFileLocations() override;
    void showReaderPopUp(const QPoint &at) override;
    // Ejects the reader: once the copies to it have ended, flushed, unmounted, powered off.
    void ejectReader();

    // Makes the File Locations dialog and the directory picker, once.
    void ensureDialogs();

private:
    // Shows a dialog modally; false when the program ended while it was open.
    bool showModal(FormDialog *dialog);
    void reopenLibrary();
    void connectCommands();
    void followReaders();
    void mnuAddOutside_Click();
    void mnuAbout_Click();
    void mnuFind_Click();

    ReadAhead m_readAhead;
    bool m_ended = false;
    int m_shutdowns = 0;
};
