// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>

// A private Xvfb server on a free display number, for tests that need a
// screen of a given size or need to end the server themselves. Stopped when
// the object goes.
class XvfbServer
{
public:
    explicit XvfbServer(const QString &screen = QStringLiteral("1920x1080x24"));
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool isRunning() const { return process.state() == QProcess::Running && !name.isEmpty(); }
    // ":N", for DISPLAY.
    QString display() const { return name; }
    void kill();

private:
    QProcess process;
    QString name;
};
