#include "transparentwindow.h"

#include "areaselectlog.h"
#include "desktopscreens.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QRubberBand>

Q_LOGGING_CATEGORY(lcAreaSelect, "zintora.areaselect")

TransparentWindow::TransparentWindow(QWidget *parent, const DesktopScreens *desktopScreens)
    : QDialog(parent), screens(desktopScreens)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("TransparentWindow"));
    resize(400, 300);
    setCursor(Qt::CrossCursor);
    // Nearly, not fully, transparent: some systems let clicks through a fully
    // transparent window.
    setWindowOpacity(0.01);
    setWindowTitle(QCoreApplication::translate("TransparentWindow", "Dialog"));
    setMouseTracking(true);
    setMinimumSize(360, 360);
}

TransparentWindow::~TransparentWindow() = default;

QPoint TransparentWindow::globalPosition(const QMouseEvent *event) const
{
    return geometry().topLeft() + event->pos();
}

bool TransparentWindow::dragging() const
{
    return rubberBand && rubberBand->isVisible();
}

void TransparentWindow::mousePressEvent(QMouseEvent *event)
{
    selectionStart = globalPosition(event);
    if (!rubberBand)
        rubberBand = std::make_unique<QRubberBand>(QRubberBand::Rectangle);
    rubberBand->setGeometry(QRect(selectionStart, QSize()));
    rubberBand->show();
}

void TransparentWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging())
        return;
    // Corners sorted, both included, so the band follows the pointer in every
    // direction from the press point.
    const QPoint p = globalPosition(event);
    rubberBand->setGeometry(
        QRect(QPoint(qMin(p.x(), selectionStart.x()), qMin(p.y(), selectionStart.y())),
              QPoint(qMax(p.x(), selectionStart.x()), qMax(p.y(), selectionStart.y()))));
}

void TransparentWindow::mouseReleaseEvent(QMouseEvent *event)
{
    // A release without a press in this showing (the button was still held
    // when the window was dismissed or opened) is no drag.
    if (!dragging())
        return;
    rubberBand->hide();
    // Reported in device pixels: the recording area and its 360-pixel rule
    // are in the grabber's pixels, not the toolkit's scaled ones.
    emit areaSelected(screens->toDevice(selectionStart), screens->toDevice(globalPosition(event)));
    hide();
}

void TransparentWindow::hideEvent(QHideEvent *event)
{
    // The band is a window of its own; without this, Escape or a close during
    // a drag would leave it on the screen.
    if (rubberBand)
        rubberBand->hide();
    QDialog::hideEvent(event);
}
