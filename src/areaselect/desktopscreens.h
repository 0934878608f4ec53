// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QVector>
#include <memory>

// The desktop's screens as the program sees them.
//
// Qt's geometries are logical pixels; the screen grabber records device
// pixels. Without high-DPI scaling the two are the same. With scaling, Qt 5
// keeps each screen's top-left corner where it is in device pixels and scales
// positions inside the screen from that corner by the screen's device pixel
// ratio. The recording area is kept in device pixels throughout; only the
// windows that take or show positions on screen map at their edges.
class DesktopScreens
{
public:
    virtual ~DesktopScreens() = default;

    virtual int count() const = 0;
    virtual int primary() const = 0;
    // Logical geometries, as Qt reports them.
    virtual QRect logicalGeometry(int screen) const = 0;
    virtual QRect logicalAvailableGeometry(int screen) const = 0;
    virtual double devicePixelRatio(int screen) const = 0;

    // Device-pixel geometries: the whole screen, and the screen without the
    // task bar and other reserved edges.
    QRect geometry(int screen) const;
    QRect availableGeometry(int screen) const;
    // Every screen's device-pixel geometry, in screen order.
    QVector<QRect> geometries() const;

    // The screen whose logical geometry holds the point; the nearest screen
    // when none does.
    int screenAtLogical(QPoint logical) const;
    // The screen whose device geometry holds the point; likewise.
    int screenAtDevice(QPoint device) const;

    QPoint toDevice(QPoint logical) const;
    QPoint toLogical(QPoint device) const;
    // A device rectangle as logical coordinates, mapped on the screen that
    // holds its top-left corner.
    QRect toLogical(const QRect &device) const;

private:
    QRect toDevice(int screen, const QRect &logical) const;
};

// The real desktop, through QGuiApplication::screens().
class QtDesktopScreens : public DesktopScreens
{
public:
    int count() const override;
    int primary() const override;
    QRect logicalGeometry(int screen) const override;
    QRect logicalAvailableGeometry(int screen) const override;
    double devicePixelRatio(int screen) const override;
};
