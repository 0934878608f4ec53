// SPDX-License-Identifier: GPL-3.0-or-later
#include "captureroute.h"

#include <QCoreApplication>
#include <QVariant>
#include <QtGlobal>

CaptureSession currentCaptureSession()
{
    CaptureSession session;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // The platform through the application object's property, so that the
    // engine needs no GUI library; empty before the application exists.
    const QCoreApplication *app = QCoreApplication::instance();
    const QString platform = app ? app->property("platformName").toString() : QString();
    session.waylandWindows = platform.startsWith(QLatin1String("wayland"));
    // Also a program that itself runs under XWayland, with DISPLAY set.
    session.wayland = session.waylandWindows || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
#ifdef ZINTORA_HAVE_PORTAL
    session.screenCastBuilt = true;
#endif
    return session;
}

CaptureRoute captureRoute(const CaptureSession &session)
{
    CaptureRoute route;
    route.placesWindows = !session.waylandWindows;
    if (!session.wayland)
        return route;
    if (session.screenCastBuilt) {
        route.kind = CaptureRoute::ScreenCast;
        return route;
    }
    route.kind = CaptureRoute::None;
    route.refusal = QCoreApplication::translate(
        "CaptureRoute",
        "This build of Zintora cannot record a Wayland desktop: it was built without the "
        "desktop's screen sharing (PipeWire and Qt D-Bus), and an X11 grab there records "
        "only black.\n\nInstall libpipewire-0.3-dev and Qt's D-Bus module (qtbase5-dev) and "
        "build Zintora again, or log in to an X11 session to record.");
    return route;
}
