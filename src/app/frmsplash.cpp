#include "frmsplash.h"

#include "bookname.h"
#include "versioninfo.h"
#include "widgets.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

namespace {

QLabel *label(QWidget *parent, const char *name, int left, int top, int width, int height,
              qreal points, bool bold)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(tw(left), tw(top), tw(width), tw(height));
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    l->setFont(f);
    return l;
}

// A label that sizes itself to its text, keeping its right edge where it is when right-aligned.
void fitText(QLabel *l, bool keepRight)
{
    const int right = l->geometry().right();
    l->adjustSize();
    if (keepRight)
        l->move(right - l->width() + 1, l->y());
}

} // namespace

frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, parent ? Qt::Widget : Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(tw(8430), tw(4245));
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(tw(90), tw(97), tw(8250), tw(4050));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->installEventFilter(this);

    imgLogo = label(Frame1, "imgLogo", 360, 810, 1815, 2205, 8, false);
    imgLogo->setScaledContents(true);
    lblCompanyProduct = label(Frame1, "lblCompanyProduct", 2715, 705, 3060, 435, 18, true);
    lblProductName = label(Frame1, "lblProductName", 2700, 1140, 2430, 765, 32.25, true);
    lblPlatform = label(Frame1, "lblPlatform", 7110, 2340, 960, 360, 15.75, true);
    lblPlatform->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblPlatform->setText(QStringLiteral("for Linux"));
    lblVersion = label(Frame1, "lblVersion", 7200, 2700, 885, 285, 12, true);
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCopyright = label(Frame1, "lblCopyright", 5580, 3150, 2535, 255, 8.25, false);
    Label1 = label(Frame1, "Label1", 1448, 3420, 5595, 465, 13.5, true);
    Label1->setText(QStringLiteral("Loading the Quillrack - Please wait ..."));
    Form_Load();

    centre();
}

void frmSplash::centre()
{
    if (parentWidget()) {
        move(parentWidget()->rect().center() - rect().center());
    } else if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void frmSplash::showEvent(QShowEvent *event)
{
    centre();
    setFocus(); // a key press closes it
    QWidget::showEvent(event);
}

void frmSplash::Form_Load()
{
    lblVersion->setText(versionText(VersionInfo::Major, VersionInfo::Minor, VersionInfo::Revision));
    lblProductName->setText(QLatin1String(VersionInfo::Title));
    lblCopyright->setText(QLatin1String(VersionInfo::Copyright));
    lblCompanyProduct->setText(QLatin1String(VersionInfo::Company));
    imgLogo->setPixmap(ImageList1::picture(1));
    fitText(lblCompanyProduct, false);
    fitText(lblProductName, false);
    fitText(lblPlatform, true);
    fitText(lblVersion, true);
    fitWidth(Label1);
    lblCopyright->adjustSize();
    lblCopyright->move(tw(8115) - lblCopyright->width(), lblCopyright->y());
}

void frmSplash::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    close();
}

bool frmSplash::eventFilter(QObject *watched, QEvent *event)
{
    // A click on the frame itself closes the splash; one on a label or the logo does not.
    if (watched == Frame1 && event->type() == QEvent::MouseButtonRelease
        && !Frame1->childAt(static_cast<QMouseEvent *>(event)->position().toPoint())) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
