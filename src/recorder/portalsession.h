// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <optional>

// One screen cast of the desktop portal (org.freedesktop.portal.ScreenCast)
// over QtDBus: asks the desktop to share a monitor and hands out the PipeWire
// node and remote that carry its pictures.
//
// Runs in the recorder thread, which has no running event loop: each step
// spins a local one until the portal answers, so the desktop's own sharing
// dialog can take as long as the user needs while stopRequested is watched.
class PortalSession
{
public:
    // The bus connection outlives the session: the portal ties the permission
    // behind a restore token to the connection that received it.
    explicit PortalSession(const QDBusConnection &connection);
    ~PortalSession();
    PortalSession(const PortalSession &) = delete;
    PortalSession &operator=(const PortalSession &) = delete;

    // CreateSession, SelectSources (one monitor) and Start. restoreToken is
    // the token of the previous cast of this run, or empty; it is replaced by
    // the new one. False with errorText() set when the user cancelled, the
    // portal failed or is missing, or stopRequested became true.
    bool start(bool drawMouse, QString &restoreToken, const std::atomic<bool> &stopRequested);

    // After start(): the PipeWire node of the shared monitor, where the
    // monitor is in the compositor's layout and its size, as far as the
    // portal said (both are optional in the portal's answer).
    quint32 node() const { return streamNode; }
    std::optional<QPoint> position() const { return streamPosition; }
    QSize size() const { return streamSize; } // empty when not said

    // A new descriptor of the PipeWire remote that can see the node, owned by
    // the caller; -1 with errorText() set on failure.
    int openPipeWireRemote(const std::atomic<bool> &stopRequested);

    // Ends the cast; harmless when none was started.
    void close();

    QString errorText() const { return error; }

private:
    // Calls a portal method and waits for its reply; false with error set.
    bool call(QDBusMessage message, QDBusMessage &reply, const std::atomic<bool> &stopRequested);
    // Calls a ScreenCast method that answers through a Request object and
    // waits for the Request's Response; false with error set unless it
    // succeeded.
    bool request(const QString &method, QVariantList arguments, QVariantMap options,
                 QVariantMap &results, const std::atomic<bool> &stopRequested);
    bool portalIsThere(uint &cursorModes, const std::atomic<bool> &stopRequested);
    bool takeStream(const QVariantMap &results);

    QDBusConnection bus;
    QString sessionPath;
    quint32 streamNode = 0;
    std::optional<QPoint> streamPosition;
    QSize streamSize;
    QString error;
};
