// SPDX-License-Identifier: GPL-3.0-or-later
#include "transparentwindow.h"

#include "areaselectlog.h"
#include "desktopscreens.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScreen>
#include <QWindow>

Q_LOGGING_CATEGORY(lcAreaSelect, "zintora.areaselect")

TransparentWindow::TransparentWindow(QWidget *parent, const DesktopScreens *desktopScreens,
                                     bool placeableWindows)
    : QDialog(parent), screens(desktopScreens), placeable(placeableWindows)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("TransparentWindow"));
    resize(400, 300);
    setCursor(Qt::CrossCursor);
    // Nearly, not fully, transparent: some systems let clicks through a fully
    // transparent window.
    setWindowOpacity(0.01);
    // Wayland ignores window opacity: there the window is drawn see-through
    // instead (paintEvent).
    if (!placeable)
        setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QCoreApplication::translate("TransparentWindow", "Dialog"));
    setMouseTracking(true);
    setMinimumSize(360, 360);
}

TransparentWindow::~TransparentWindow() = default;

void TransparentWindow::cover(const QRect &screen)
{
    covered = screen;
    setGeometry(screen);
    if (placeable) {
        show();
        return;
    }
    // The compositor places windows; a full-screen window on the right
    // screen is the one way to cover it.
    if (QScreen *target = QGuiApplication::screenAt(screen.center())) {
        winId(); // the native window, to put on the screen
        windowHandle()->setScreen(target);
    }
    showFullScreen();
}

QPoint TransparentWindow::origin() const
{
    // A Wayland window does not know where it is; it covers the screen.
    return placeable ? geometry().topLeft() : covered.topLeft();
}

QPoint TransparentWindow::globalPosition(const QMouseEvent *event) const
{
    return origin() + event->pos();
}

void TransparentWindow::placeBand(const QRect &global)
{
    rubberBand->setGeometry(rubberBand->parentWidget() ? global.translated(-origin()) : global);
}

bool TransparentWindow::dragging() const
{
    return rubberBand && rubberBand->isVisible();
}

void TransparentWindow::mousePressEvent(QMouseEvent *event)
{
    selectionStart = globalPosition(event);
    if (!rubberBand)
        rubberBand =
            std::make_unique<QRubberBand>(QRubberBand::Rectangle, placeable ? nullptr : this);
    placeBand(QRect(selectionStart, QSize()));
    rubberBand->show();
}

void TransparentWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging())
        return;
    // Corners sorted, both included, so the band follows the pointer in every
    // direction from the press point.
    const QPoint p = globalPosition(event);
    placeBand(QRect(QPoint(qMin(p.x(), selectionStart.x()), qMin(p.y(), selectionStart.y())),
                    QPoint(qMax(p.x(), selectionStart.x()), qMax(p.y(), selectionStart.y()))));
}

void TransparentWindow::mouseReleaseEvent(QMouseEvent *event)
{
    // A release without a press in this showing (the button was still held
    // when the window was dismissed or opened) is no drag.
    if (!dragging())
        return;
    rubberBand->hide();
    const QPoint end = globalPosition(event);
    // Hidden first, so that a receiver that refuses the area can show the
    // window again for the next try.
    hide();
    // Reported in device pixels: the recording area and its size rules are
    // in the grabber's pixels, not the toolkit's scaled ones.
    emit areaSelected(screens->toDevice(selectionStart), screens->toDevice(end));
}

void TransparentWindow::hideEvent(QHideEvent *event)
{
    // The band is a window of its own; without this, Escape or a close during
    // a drag would leave it on the screen.
    if (rubberBand)
        rubberBand->hide();
    QDialog::hideEvent(event);
}

void TransparentWindow::paintEvent(QPaintEvent *event)
{
    // Faint rather than empty: a compositor may pass clicks on fully
    // transparent pixels through to the window below.
    if (testAttribute(Qt::WA_TranslucentBackground))
        QPainter(this).fillRect(rect(), QColor(0, 0, 0, 24));
    QDialog::paintEvent(event);
}
