// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopscreens.h"

#include <QGuiApplication>
#include <QScreen>

#include <climits>
#include <cmath>

namespace {

int scaled(int offset, double ratio)
{
    return static_cast<int>(std::lround(offset * ratio));
}

// Squared distance from a point to a rectangle; 0 inside it.
qint64 distanceSquared(const QRect &rect, QPoint p)
{
    const qint64 dx = p.x() < rect.left()    ? rect.left() - p.x()
                      : p.x() > rect.right() ? p.x() - rect.right()
                                             : 0;
    const qint64 dy = p.y() < rect.top()      ? rect.top() - p.y()
                      : p.y() > rect.bottom() ? p.y() - rect.bottom()
                                              : 0;
    return dx * dx + dy * dy;
}

template <typename GeometryOf>
int nearestScreen(int count, int fallback, QPoint p, GeometryOf geometryOf)
{
    int best = fallback;
    qint64 bestDistance = LLONG_MAX;
    for (int i = 0; i < count; ++i) {
        const qint64 d = distanceSquared(geometryOf(i), p);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

QRect DesktopScreens::toDevice(int screen, const QRect &logical) const
{
    const QPoint origin = logicalGeometry(screen).topLeft();
    const double ratio = devicePixelRatio(screen);
    const QPoint topLeft = origin + QPoint(scaled(logical.x() - origin.x(), ratio),
                                           scaled(logical.y() - origin.y(), ratio));
    return QRect(topLeft, QSize(scaled(logical.width(), ratio), scaled(logical.height(), ratio)));
}

QRect DesktopScreens::geometry(int screen) const
{
    return toDevice(screen, logicalGeometry(screen));
}

QRect DesktopScreens::availableGeometry(int screen) const
{
    return toDevice(screen, logicalAvailableGeometry(screen));
}

QVector<QRect> DesktopScreens::geometries() const
{
    QVector<QRect> all;
    for (int i = 0; i < count(); ++i)
        all.append(geometry(i));
    return all;
}

int DesktopScreens::screenAtLogical(QPoint logical) const
{
    return nearestScreen(count(), primary(), logical, [this](int i) { return logicalGeometry(i); });
}

int DesktopScreens::screenAtDevice(QPoint device) const
{
    return nearestScreen(count(), primary(), device, [this](int i) { return geometry(i); });
}

QPoint DesktopScreens::toDevice(QPoint logical) const
{
    const int screen = screenAtLogical(logical);
    if (screen < 0)
        return logical;
    const QPoint origin = logicalGeometry(screen).topLeft();
    const double ratio = devicePixelRatio(screen);
    return origin +
           QPoint(scaled(logical.x() - origin.x(), ratio), scaled(logical.y() - origin.y(), ratio));
}

QPoint DesktopScreens::toLogical(QPoint device) const
{
    const int screen = screenAtDevice(device);
    if (screen < 0)
        return device;
    const QPoint origin = logicalGeometry(screen).topLeft();
    const double inverse = 1.0 / devicePixelRatio(screen);
    return origin + QPoint(scaled(device.x() - origin.x(), inverse),
                           scaled(device.y() - origin.y(), inverse));
}

QRect DesktopScreens::toLogical(const QRect &device) const
{
    const int screen = screenAtDevice(device.topLeft());
    if (screen < 0)
        return device;
    const double inverse = 1.0 / devicePixelRatio(screen);
    return QRect(toLogical(device.topLeft()),
                 QSize(scaled(device.width(), inverse), scaled(device.height(), inverse)));
}

int QtDesktopScreens::count() const
{
    return QGuiApplication::screens().size();
}

int QtDesktopScreens::primary() const
{
    return QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen());
}

QRect QtDesktopScreens::logicalGeometry(int screen) const
{
    const auto screens = QGuiApplication::screens();
    return screen >= 0 && screen < screens.size() ? screens.at(screen)->geometry() : QRect();
}

QRect QtDesktopScreens::logicalAvailableGeometry(int screen) const
{
    const auto screens = QGuiApplication::screens();
    return screen >= 0 && screen < screens.size() ? screens.at(screen)->availableGeometry()
                                                  : QRect();
}

double QtDesktopScreens::devicePixelRatio(int screen) const
{
    const auto screens = QGuiApplication::screens();
    return screen >= 0 && screen < screens.size() ? screens.at(screen)->devicePixelRatio() : 1.0;
}
