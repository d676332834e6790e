#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTextEdit;
class Prompter;

// The About box: the program's icon, title, version and description, a notice and a
// disclaimer, and a button that starts the desktop's system-information program.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(Prompter &prompter, QWidget *parent = nullptr);

    QLabel *picIcon;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;
    QLabel *Label1;
    QTextEdit *RichTextBox1;
    QPushButton *cmdOK;
    QPushButton *cmdSysInfo;

    // Starts the first system-information program found on PATH, without waiting for it.
    void StartSysInfo();

private:
    Prompter &m_prompter;
};

// Opens the help page in the desktop's default program and returns at once; reports nothing.
void openHelpPage();
// Where the help page lies: beside the program, or in the installed share folder.
QString helpPagePath();
// The system-information programs looked for, in order.
QStringList sysInfoPrograms();
