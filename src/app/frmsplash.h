#pragma once

#include <QFrame>
#include <QWidget>

class QLabel;

// The window shown while the library loads, over the main window (or centred on the screen
// when it has none). A key press or a click on its frame closes it.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QFrame *Frame1;
    QLabel *imgLogo;
    QLabel *lblCompanyProduct;
    QLabel *lblProductName;
    QLabel *lblPlatform;
    QLabel *lblVersion;
    QLabel *lblCopyright;
    QLabel *Label1;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void centre();
};
