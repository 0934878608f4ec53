// SPDX-License-Identifier: GPL-3.0-or-later
#include "waylanddesktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

WaylandDesktop::WaylandDesktop(const QString &size, const QString &secondSize)
{
    // Its standard input stays open while this process lives: the desktop
    // tears itself down when it closes, after a crash too.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(
        QStringLiteral(WAYLAND_DESKTOP_SCRIPT),
        {QStringLiteral(XDPW_SHIM_PATH), QStringLiteral(VIRTUAL_POINTER_PATH), size, secondSize});
    QDeadlineTimer deadline(120000);
    while (!ready && !deadline.hasExpired() && process.waitForReadyRead(deadline.remainingTime())) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
            const QString value = line.section(QLatin1Char(' '), 1);
            if (line.startsWith(QLatin1String("env ")))
                qputenv(value.section(QLatin1Char('='), 0, 0).toLocal8Bit(),
                        value.section(QLatin1Char('='), 1).toLocal8Bit());
            else if (line.startsWith(QLatin1String("chooser ")))
                chooserFile = value;
            else if (line.startsWith(QLatin1String("pointer ")))
                pointerFifo = value;
            else if (line.startsWith(QLatin1String("failed: ")))
                error = line;
            ready = ready || line == QLatin1String("ready");
        }
    }
    if (!ready && error.isEmpty())
        error = QStringLiteral("the Wayland desktop did not start: ") + process.errorString();
}

WaylandDesktop::~WaylandDesktop()
{
    process.closeWriteChannel();
    if (!process.waitForFinished(30000))
        process.kill();
    for (const char *name : {"WAYLAND_DISPLAY", "SWAYSOCK", "DBUS_SESSION_BUS_ADDRESS"})
        qunsetenv(name);
}

bool WaylandDesktop::sway(const QStringList &arguments) const
{
    QProcess swaymsg;
    swaymsg.setStandardOutputFile(QProcess::nullDevice());
    swaymsg.start(QStringLiteral("swaymsg"), arguments);
    return swaymsg.waitForFinished(30000) && swaymsg.exitStatus() == QProcess::NormalExit &&
           swaymsg.exitCode() == 0;
}

bool WaylandDesktop::setBackground(const QColor &colour, const QString &output) const
{
    return sway({QStringLiteral("output"), output, QStringLiteral("bg"), colour.name(),
                 QStringLiteral("solid_color")});
}

bool WaylandDesktop::setBackground(const QImage &image, const QString &output) const
{
    // Beside the chooser's file, where the compositor's user can read it.
    const QString path = QFileInfo(chooserFile).dir().filePath(output + QStringLiteral(".png"));
    return image.save(path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther) &&
           sway({QStringLiteral("output"), output, QStringLiteral("bg"), path,
                 QStringLiteral("stretch")});
}

bool WaylandDesktop::pointer(const QString &command) const
{
    QFile fifo(pointerFifo);
    return fifo.open(QIODevice::WriteOnly) && fifo.write(command.toLatin1() + '\n') > 0;
}

void WaylandDesktop::setSharing(bool share) const
{
    setChooser(share ? QStringLiteral("HEADLESS-1") : QString());
}

void WaylandDesktop::setChooser(const QString &answer) const
{
    // Replaced in one step: a waiting chooser reads it meanwhile.
    QSaveFile file(chooserFile);
    if (file.open(QIODevice::WriteOnly) && file.write(answer.toLocal8Bit() + '\n') > 0)
        file.commit();
}

bool WaylandDesktop::chooserIsAsking() const
{
    return QFile::exists(chooserFile + QStringLiteral(".asking"));
}

bool WaylandDesktop::stop(const QString &service)
{
    process.write(QStringLiteral("stop %1\n").arg(service).toLocal8Bit());
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && process.waitForReadyRead(deadline.remainingTime())) {
        if (process.readAll().contains("done stop"))
            return true;
    }
    return false;
}
