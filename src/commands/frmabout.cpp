#include "frmabout.h"

#include "appfolder.h"
#include "bookname.h"
#include "prompter.h"
#include "versioninfo.h"
#include "widgets.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QUrl>

namespace {

const char *const Notice = "Quillrack is free to use, copy and share.";
const char *const Disclaimer
    = "QUILLRACK IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, "
      "INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A "
      "PARTICULAR PURPOSE AND NONINFRINGEMENT. KEEP COPIES OF THE BOOKS YOU CARE ABOUT: IN NO "
      "EVENT SHALL THE AUTHORS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY ARISING "
      "FROM THE USE OF THIS PROGRAM.";

QFrame *line(QWidget *parent, int y)
{
    auto *l = new QFrame(parent);
    l->setObjectName(QStringLiteral("Line1"));
    l->setFrameShape(QFrame::HLine);
    l->setFrameShadow(QFrame::Sunken);
    l->setGeometry(12, y, parent->width() - 24, 3);
    return l;
}

} // namespace

frmAbout::frmAbout(Prompter &prompter, QWidget *parent)
    : QDialog(parent)
    , m_prompter(prompter)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + QLatin1String(VersionInfo::Title));
    setFixedSize(420, 290);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(16, 16, 32, 32);
    picIcon->setPixmap(ImageList1::picture(1));

    QFont titleFont = font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle = new QLabel(QLatin1String(VersionInfo::Title), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setFont(titleFont);
    lblTitle->setGeometry(64, 12, 340, 28);
    lblVersion = new QLabel(
        versionText(VersionInfo::Major, VersionInfo::Minor, VersionInfo::Revision), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(64, 42, 340, 18);
    lblDescription = new QLabel(QLatin1String(VersionInfo::Description), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setGeometry(64, 64, 340, 40);
    line(this, 110);
    Label1 = new QLabel(QLatin1String(Notice), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 118, 388, 18);

    RichTextBox1 = new QTextEdit(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setPlainText(QLatin1String(Disclaimer));
    RichTextBox1->setGeometry(16, 142, 388, 86);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    RichTextBox1->setFont(small);
    line(this, 236);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(304, 248, 100, 28);
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(192, 248, 104, 28);
    cmdSysInfo->setAutoDefault(false);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
}

QStringList sysInfoPrograms()
{
    return {QStringLiteral("hardinfo2"),         QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),       QStringLiteral("gnome-system-monitor"),
            QStringLiteral("xfce4-taskmanager"), QStringLiteral("lshw-gtk")};
}

void frmAbout::StartSysInfo()
{
    for (const QString &name : sysInfoPrograms()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (path.isEmpty())
            continue;
        if (QProcess::startDetached(path, {}))
            return;
        break; // found but would not start: that is a failure too
    }
    m_prompter.message(QLatin1String(VersionInfo::Title),
                       QStringLiteral("System Information Is Unavailable At This Time"));
}

QString helpPagePath()
{
    const QString name = QStringLiteral("help/Quillrack_Help.htm");
    const QString beside = QCoreApplication::applicationDirPath() + u'/' + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed
        = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quillrack/") + name;
    if (QFileInfo::exists(installed))
        return QFileInfo(installed).canonicalFilePath();
    return beside;
}

void openHelpPage()
{
    const QString page = helpPagePath();
    if (QFileInfo::exists(page))
        QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}
