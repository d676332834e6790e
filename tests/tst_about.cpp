#include "frmabout.h"
#include "testsupport.h"
#include "versioninfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void showsTitleAndVersion();
    void sysInfoWithoutProgramSaysUnavailable();
    void helpWithoutPageDoesNothing();
};

void TestAbout::showsTitleAndVersion()
{
    ScriptedPrompter prompter;
    frmAbout about(prompter);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Quillrack"));
    QCOMPARE(about.lblTitle->text(), QStringLiteral("Quillrack"));
    // The version comes from the project version, as major.minor.revision.
    QCOMPARE(about.lblVersion->text(),
             QStringLiteral("Version %1.%2.%3")
                 .arg(VersionInfo::Major)
                 .arg(VersionInfo::Minor)
                 .arg(VersionInfo::Revision));
    QVERIFY(!about.lblDescription->text().isEmpty());
    QCOMPARE(about.cmdSysInfo->text(), QStringLiteral("&System Info..."));
    QVERIFY(!about.isModal());
}

void TestAbout::sysInfoWithoutProgramSaysUnavailable()
{
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", "");
    ScriptedPrompter prompter;
    frmAbout about(prompter);
    about.cmdSysInfo->click();
    qputenv("PATH", oldPath);
    QCOMPARE(prompter.asked.size(), 1);
    QCOMPARE(prompter.asked[0].text,
             QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(prompter.asked[0].title, QStringLiteral("Quillrack"));
}

void TestAbout::helpWithoutPageDoesNothing()
{
    // The test program's folder has no help folder: nothing is shown and nothing waits.
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/help"));
    QElapsedTimer timer;
    timer.start();
    openHelpPage();
    QVERIFY(timer.elapsed() < 2000);
    QVERIFY(QApplication::topLevelWidgets().isEmpty() || !QApplication::activeModalWidget());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
