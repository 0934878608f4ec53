#pragma once

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QString>

// A private headless Wayland desktop that shares its screen through the
// desktop portal and PipeWire (waylanddesktop.sh), for the tests of the
// Wayland route. Its environment (WAYLAND_DISPLAY, the session bus, ...) is
// set in this process while it runs. Ends with the object, or with this
// process however it ends.
class WaylandDesktop
{
public:
    explicit WaylandDesktop(const QString &size = QStringLiteral("1280x720"));
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop &) = delete;
    WaylandDesktop &operator=(const WaylandDesktop &) = delete;

    bool isRunning() const { return ready && process.state() == QProcess::Running; }
    // What went wrong when it is not running.
    QString errorText() const { return error; }

    // Runs swaymsg with these arguments; true when sway accepted them.
    bool sway(const QStringList &arguments) const;
    bool setBackground(const QColor &colour) const;
    // Stretched over the whole output.
    bool setBackground(const QImage &image) const;
    // Whether the desktop's screen chooser shares the screen or cancels.
    void setSharing(bool share) const;
    // Moves the pointer ("move X Y", in output pixels) or presses or releases
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
