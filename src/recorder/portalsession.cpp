// SPDX-License-Identifier: GPL-3.0-or-later
#include "portalsession.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString screenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Values of the ScreenCast interface.
constexpr uint monitorSource = 1;
constexpr uint hiddenCursor = 1;
constexpr uint embeddedCursor = 2;
constexpr uint persistWhileRunning = 1;
constexpr uint responseCancelled = 1;

// Object paths of requests and sessions are made from these tokens: unique
// for the connection, which serves every cast of a recorder.
QString newToken()
{
    static std::atomic<int> count{0};
    return QStringLiteral("zintora%1").arg(++count);
}

QString noPortalText(const QString &detail)
{
    return QObject::tr("This desktop offers no screen sharing (%1), so nothing can be recorded "
                       "on Wayland. Install xdg-desktop-portal together with the portal of your "
                       "desktop (xdg-desktop-portal-gnome, xdg-desktop-portal-kde or "
                       "xdg-desktop-portal-wlr), log in again and press Start.")
        .arg(detail);
}

QString failedText(const QString &detail)
{
    return QObject::tr("The desktop could not share the screen (%1), so nothing was recorded. "
                       "Press Start to try again.")
        .arg(detail);
}

QString stoppedText()
{
    return QObject::tr("The recording was stopped before the desktop shared the screen; "
                       "nothing was recorded.");
}

// Spins a local event loop until done() holds: the replies and signals that
// QtDBus queues to this thread are delivered meanwhile.
void spinUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    if (!done())
        loop.exec();
}

// A D-Bus structure of two ints, such as a stream's position or size.
QPoint intPair(const QVariant &value)
{
    int first = 0;
    int second = 0;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return {first, second};
}

} // namespace

// The Response signal of one portal Request.
class PortalResponse : public QObject
{
    Q_OBJECT

public:
    bool received = false;
    uint code = 0;
    QVariantMap results;

public slots:
    void onResponse(uint response, const QVariantMap &values)
    {
        received = true;
        code = response;
        results = values;
    }
};

PortalSession::PortalSession(const QDBusConnection &connection) : bus(connection) {}

PortalSession::~PortalSession()
{
    close();
}

bool PortalSession::start(bool drawMouse, QString &restoreToken,
                          const std::atomic<bool> &stopRequested)
{
    close();
    uint cursorModes = 0;
    QVariantMap results;
    if (!portalIsThere(cursorModes, stopRequested) ||
        !request(QStringLiteral("CreateSession"), {},
                 {{QStringLiteral("session_handle_token"), newToken()}}, results, stopRequested))
        return false;
    // A string by the interface's description; some portals send an object path.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    sessionPath = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                       : handle.toString();
    QVariantMap options{{QStringLiteral("types"), monitorSource},
                        {QStringLiteral("multiple"), false},
                        {QStringLiteral("cursor_mode"), drawMouse && (cursorModes & embeddedCursor)
                                                            ? embeddedCursor
                                                            : hiddenCursor},
                        {QStringLiteral("persist_mode"), persistWhileRunning}};
    if (!restoreToken.isEmpty())
        options.insert(QStringLiteral("restore_token"), restoreToken);
    const QVariant session = QVariant::fromValue(QDBusObjectPath(sessionPath));
    if (!request(QStringLiteral("SelectSources"), {session}, options, results, stopRequested) ||
        !request(QStringLiteral("Start"), {session, QString()}, {}, results, stopRequested) ||
        !takeStream(results)) {
        close();
        return false;
    }
    // A token serves once; the portal hands out the next one with each cast.
    restoreToken = results.value(QStringLiteral("restore_token")).toString();
    return true;
}

int PortalSession::openPipeWireRemote(const std::atomic<bool> &stopRequested)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        portalService, portalPath, screenCastInterface, QStringLiteral("OpenPipeWireRemote"));
    message.setArguments({QVariant::fromValue(QDBusObjectPath(sessionPath)), QVariantMap()});
    QDBusMessage reply;
    const bool answered = call(message, reply, stopRequested);
    const auto remote = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    const int fd = remote.isValid() ? fcntl(remote.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
    if (answered && fd < 0)
        error = QObject::tr("The desktop shared the screen but handed out no PipeWire "
                            "connection, so nothing was recorded. Make sure PipeWire runs in "
                            "this session (the pipewire and wireplumber packages).");
    return fd;
}

void PortalSession::close()
{
    if (sessionPath.isEmpty())
        return;
    bus.send(QDBusMessage::createMethodCall(portalService, sessionPath,
                                            QStringLiteral("org.freedesktop.portal.Session"),
                                            QStringLiteral("Close")));
    sessionPath.clear();
}

bool PortalSession::call(QDBusMessage message, QDBusMessage &reply,
                         const std::atomic<bool> &stopRequested)
{
    QDBusPendingCall pending = bus.asyncCall(message);
    spinUntil([&] { return pending.isFinished() || stopRequested; });
    if (!pending.isFinished()) {
        error = stoppedText();
        return false;
    }
    reply = pending.reply();
    if (reply.type() != QDBusMessage::ErrorMessage)
        return true;
    error = failedText(reply.errorMessage());
    return false;
}

bool PortalSession::request(const QString &method, QVariantList arguments, QVariantMap options,
                            QVariantMap &results, const std::atomic<bool> &stopRequested)
{
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    // The Response may follow the reply at once: listen on the path the
    // portal makes from our name and the token before calling.
    const QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    QString path = portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    PortalResponse response;
    const auto listen = [&](bool on) {
        const char *slot = SLOT(onResponse(uint, QVariantMap));
        const QString signal = QStringLiteral("Response");
        on ? bus.connect(portalService, path, requestInterface, signal, &response, slot)
           : bus.disconnect(portalService, path, requestInterface, signal, &response, slot);
    };
    listen(true);
    QDBusMessage message =
        QDBusMessage::createMethodCall(portalService, portalPath, screenCastInterface, method);
    message.setArguments(arguments << options);
    QDBusMessage reply;
    bool answered = call(message, reply, stopRequested);
    const QString handle = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (answered && handle != path) { // portals older than the token scheme
        listen(false);
        path = handle;
        listen(true);
    }
    if (answered)
        spinUntil([&] { return response.received || stopRequested; });
    listen(false);
    if (!answered)
        return false;
    if (!response.received) {
        // Takes the desktop's dialog off the screen.
        bus.send(QDBusMessage::createMethodCall(portalService, path, requestInterface,
                                                QStringLiteral("Close")));
        error = stoppedText();
        return false;
    }
    results = response.results;
    if (response.code == 0)
        return true;
    error = response.code == responseCancelled
                ? QObject::tr("Screen sharing was cancelled, so nothing was recorded. Press "
                              "Start again and choose the screen to share.")
                : failedText(QObject::tr("the portal answered %1 with an error").arg(method));
    return false;
}

bool PortalSession::portalIsThere(uint &cursorModes, const std::atomic<bool> &stopRequested)
{
    if (!bus.isConnected()) {
        error = noPortalText(QObject::tr("no session bus"));
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    message.setArguments({screenCastInterface, QStringLiteral("AvailableCursorModes")});
    QDBusMessage reply;
    if (!call(message, reply, stopRequested)) {
        if (reply.type() == QDBusMessage::ErrorMessage)
            error = noPortalText(reply.errorMessage());
        return false;
    }
    cursorModes = reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
    return true;
}

bool PortalSession::takeStream(const QVariantMap &results)
{
    const QDBusArgument streams = results.value(QStringLiteral("streams")).value<QDBusArgument>();
    bool found = false;
    streams.beginArray();
    while (!streams.atEnd()) {
        quint32 node = 0;
        QVariantMap properties;
        streams.beginStructure();
        streams >> node >> properties;
        streams.endStructure();
        if (found) // one monitor was asked for
            continue;
        found = true;
        streamNode = node;
        const auto position = properties.value(QStringLiteral("position"));
        const auto size = properties.value(QStringLiteral("size"));
        streamPosition =
            position.isValid() ? std::optional<QPoint>(intPair(position)) : std::nullopt;
        streamSize = size.isValid() ? QSize(intPair(size).x(), intPair(size).y()) : QSize();
    }
    streams.endArray();
    if (!found)
        error = failedText(QObject::tr("the portal shared no screen"));
    return found;
}

#include "portalsession.moc"
