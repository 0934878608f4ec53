// SPDX-License-Identifier: GPL-3.0-or-later
#include "portalcapturesource.h"

#include "pipewirestream.h"
#include "portalsession.h"

#include <QDBusConnection>

#include <algorithm>
#include <optional>

namespace {

// Where the shared screen's top-left corner is in the area's coordinates;
// empty when it cannot be the screen of the area. A portal may leave out the
// screen's position, and xdg-desktop-portal-wlr 0.7 says 0,0 for every
// output: then the screen that holds the area is taken if it has the shared
// screen's size. Any other position is the portal's word.
std::optional<QPoint> placeSharedScreen(const QRect &area, const QVector<QRect> &screens,
                                        std::optional<QPoint> position, QSize size)
{
    const auto holder = std::find_if(screens.begin(), screens.end(),
                                     [&](const QRect &screen) { return screen.contains(area); });
    if (holder == screens.end() || (position && !position->isNull()) ||
        position == holder->topLeft())
        return position.value_or(QPoint());
    if (size.isEmpty() || size == holder->size())
        return holder->topLeft();
    return std::nullopt;
}

QString notOnSharedScreen(const QRect &area, const QString &screen)
{
    return QObject::tr("The recording area (%1, %2, %3 x %4) is not inside the shared screen "
                       "(%5), so nothing was recorded. Choose an area on that screen, or share "
                       "the screen that holds the area.")
        .arg(area.x())
        .arg(area.y())
        .arg(area.width())
        .arg(area.height())
        .arg(screen);
}

class PortalCaptureSource : public CaptureSource
{
public:
    PortalCaptureSource() : busName(QStringLiteral("zintora-portal-%1").arg(quintptr(this), 0, 16))
    {
    }
    ~PortalCaptureSource() override
    {
        close();
        QDBusConnection::disconnectFromBus(busName);
    }

    OpenResult open(const CaptureRequest &request, const std::atomic<bool> &stopRequested) override;
    int nextPicture(AVFrame *picture, std::chrono::steady_clock::time_point &taken) override;
    void close() override
    {
        stream.reset();
        session.reset();
    }
    QString errorText() const override { return error; }

private:
    OpenResult refuse(const QString &text)
    {
        error = text;
        close();
        return OpenResult::Refused;
    }

    const QString busName;
    QString restoreToken; // lets the next recording of this run share without asking
    QRect tokenScreen;    // the screen that restoreToken shares, as placed
    QString error;
    QRect area;
    std::unique_ptr<PortalSession> session;
    std::unique_ptr<PipeWireStream> stream;
};

CaptureSource::OpenResult PortalCaptureSource::open(const CaptureRequest &request,
                                                    const std::atomic<bool> &stopRequested)
{
    close();
    error.clear();
    const AVRational rate = captureRate(request.frameRate, request.speedFactor);
    if (rate.num <= 0 || request.width <= 0 || request.height <= 0) {
        error = QObject::tr("Invalid capture rate or area.");
        return OpenResult::Failed;
    }
    area = QRect(request.offsetX, request.offsetY, request.width, request.height);
    // The token shares the same screen again: an area on another screen
    // needs the user's choice, or that other screen would be recorded.
    if (!tokenScreen.contains(area))
        restoreToken.clear();
    tokenScreen = QRect();

    // A connection of our own, kept for the recorder's life: the portal keeps
    // the permission of a restore token only while the connection lives.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, busName);
    if (!bus.isConnected()) { // a bus that went away: try a fresh connection
        QDBusConnection::disconnectFromBus(busName);
        restoreToken.clear();
        bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, busName);
    }
    session = std::make_unique<PortalSession>(bus);
    if (!session->start(request.drawMouse, restoreToken, stopRequested))
        return refuse(session->errorText());
    const std::optional<QPoint> corner =
        placeSharedScreen(area, request.screens, session->position(), session->size());
    if (!corner)
        return refuse(notOnSharedScreen(
            area,
            QStringLiteral("%1 x %2").arg(session->size().width()).arg(session->size().height())));
    qCDebug(lcRecorder) << "Shared screen: PipeWire node" << session->node() << "of size"
                        << session->size() << "placed at" << *corner
                        << (session->position() ? "" : "(the portal gave no position)")
                        << (restoreToken.isEmpty() ? "" : "(may be shared again without asking)");
    tokenScreen = QRect(*corner, session->size());
    const int fd = session->openPipeWireRemote(stopRequested);
    if (fd < 0)
        return refuse(session->errorText());
    stream = std::make_unique<PipeWireStream>();
    if (!stream->connect(fd, session->node(), area.translated(-*corner)))
        return refuse(stream->errorText());

    // Not for its first picture: a still screen may send none for a long
    // time, and the recorder waits for that as long as it takes.
    switch (stream->waitForFormat(stopRequested)) {
    case PipeWireStream::Format::Negotiated:
        return OpenResult::Opened;
    case PipeWireStream::Format::AreaOutside: {
        tokenScreen = QRect();
        const QSize size = stream->frameSize();
        return refuse(notOnSharedScreen(area, QStringLiteral("%1, %2, %3 x %4")
                                                  .arg(corner->x())
                                                  .arg(corner->y())
                                                  .arg(size.width())
                                                  .arg(size.height())));
    }
    case PipeWireStream::Format::Stopped:
        return refuse(QObject::tr("The recording was stopped before the shared screen sent "
                                  "its first picture; nothing was recorded."));
    case PipeWireStream::Format::Failed:
        break;
    }
    error = stream->errorText();
    close();
    return OpenResult::Failed;
}

int PortalCaptureSource::nextPicture(AVFrame *picture, std::chrono::steady_clock::time_point &taken)
{
    taken = std::chrono::steady_clock::now();
    const int result = stream ? stream->takePicture(picture, taken) : AVERROR(EINVAL);
    if (result < 0 && result != AVERROR(EAGAIN))
        error = stream ? stream->errorText() : QObject::tr("The screen cast is not open.");
    return result;
}

} // namespace

std::unique_ptr<CaptureSource> createPortalCaptureSource()
{
    return std::make_unique<PortalCaptureSource>();
}
