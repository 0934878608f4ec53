#pragma once

#include <QDialog>
#include <QPoint>

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
    // grabber records; they must outlive the window.
    TransparentWindow(QWidget *parent, const DesktopScreens *screens);
    ~TransparentWindow() override;

signals:
    // Once per finished drag: press and release point, virtual-desktop device
    // pixels, as the pointer gave them (not sorted, not clipped).
    void areaSelected(QPoint start, QPoint end);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QPoint globalPosition(const QMouseEvent *event) const;
    bool dragging() const;

    const DesktopScreens *screens;
    // Top-level of its own (no parent), so it can be drawn anywhere on the
    // desktop in global coordinates; made at the first press, then reused.
    std::unique_ptr<QRubberBand> rubberBand;
    // Logical global position of the latest press.
    QPoint selectionStart;
};
