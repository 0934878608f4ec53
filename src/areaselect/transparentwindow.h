// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

#include <memory>

class DesktopScreens;
class QRubberBand;

// The almost invisible window that covers one screen while the user drags
// out the recording area. It knows nothing of the main window: it only
// reports the press and release points of a finished drag.
class TransparentWindow : public QDialog
{
    Q_OBJECT

public:
    // The screens map the window's logical positions to the device pixels the
    // grabber records; they must outlive the window. placeable: the window
    // system lets the program put a window where it likes (X11, Windows);
    // where it does not (Wayland), the window covers the screen as a
    // full-screen window and draws itself see-through.
    TransparentWindow(QWidget *parent, const DesktopScreens *screens, bool placeable);
    ~TransparentWindow() override;

    // Shows the window over the screen with this logical geometry.
    void cover(const QRect &screen);

signals:
    // Once per finished drag: press and release point, virtual-desktop device
    // pixels, as the pointer gave them (not sorted, not clipped).
    void areaSelected(QPoint start, QPoint end);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The window's top-left corner, logical global coordinates.
    QPoint origin() const;
    QPoint globalPosition(const QMouseEvent *event) const;
    bool dragging() const;
    void placeBand(const QRect &global);

    const DesktopScreens *screens;
    const bool placeable;
    // Where windows can be placed a top-level of its own (no parent), since
    // the window's opacity would hide a child; elsewhere a child. Made at the
    // first press, then reused.
    std::unique_ptr<QRubberBand> rubberBand;
    // The logical geometry of the screen last covered.
    QRect covered;
    // Logical global position of the latest press.
    QPoint selectionStart;
};
