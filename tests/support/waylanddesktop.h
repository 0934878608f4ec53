// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QString>

// A private headless Wayland desktop that shares its screen through the
// desktop portal and PipeWire (waylanddesktop.sh), for the tests of the
// Wayland route. Its environment (WAYLAND_DISPLAY, the session bus, ...) is
// set in this process while it runs. Ends with the object, or with this
// process however it ends. Its output HEADLESS-1 is at 0,0; the optional
// HEADLESS-2 is to the right of it.
class WaylandDesktop
{
public:
    explicit WaylandDesktop(const QString &size = QStringLiteral("1280x720"),
                            const QString &secondSize = QString());
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop &) = delete;
    WaylandDesktop &operator=(const WaylandDesktop &) = delete;

    bool isRunning() const { return ready && process.state() == QProcess::Running; }
    // What went wrong when it is not running.
    QString errorText() const { return error; }

    // Runs swaymsg with these arguments; true when sway accepted them.
    bool sway(const QStringList &arguments) const;
    bool setBackground(const QColor &colour,
                       const QString &output = QStringLiteral("HEADLESS-1")) const;
    // Stretched over the whole output.
    bool setBackground(const QImage &image,
                       const QString &output = QStringLiteral("HEADLESS-1")) const;
    // Whether the desktop's screen chooser shares HEADLESS-1 or cancels.
    void setSharing(bool share) const;
    // What the chooser answers from now on: an output's name, "" to cancel,
    // or "wait" to leave its dialog open until the next answer is set.
    void setChooser(const QString &answer) const;
    bool chooserIsAsking() const;
    // Moves the pointer ("move X Y", in layout pixels) or presses or releases
    // its first button ("press", "release").
    bool pointer(const QString &command) const;
    // Ends one service: sway, dbus, pipewire, wireplumber, wlr-portal, portal.
    bool stop(const QString &service);

private:
    QProcess process;
    QString chooserFile;
    QString pointerFifo;
    QString error;
    bool ready = false;
};
