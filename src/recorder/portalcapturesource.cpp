#include "portalcapturesource.h"

#include "pipewirestream.h"
#include "portalsession.h"

#include <QDBusConnection>

namespace {

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
    const QRect shared = session->logicalGeometry();
    qCDebug(lcRecorder) << "Shared screen: PipeWire node" << session->node() << "at" << shared
                        << (restoreToken.isEmpty() ? "" : "(may be shared again without asking)");
    const int fd = session->openPipeWireRemote(stopRequested);
    if (fd < 0)
        return refuse(session->errorText());
    stream = std::make_unique<PipeWireStream>();
    if (!stream->connect(fd, session->node(), area.translated(-shared.topLeft())))
        return refuse(stream->errorText());

    // Not for its first picture: a still screen may send none for a long
    // time, and the recorder waits for that as long as it takes.
    switch (stream->waitForFormat(stopRequested)) {
    case PipeWireStream::Format::Negotiated:
        return OpenResult::Opened;
    case PipeWireStream::Format::AreaOutside: {
        const QRect screen(shared.topLeft(), stream->frameSize());
        return refuse(
            QObject::tr("The recording area (%1, %2, %3 x %4) is not inside the shared screen "
                        "(%5, %6, %7 x %8), so nothing was recorded. Choose an area on that "
                        "screen, or share the screen that holds the area.")
                .arg(area.x())
                .arg(area.y())
                .arg(area.width())
                .arg(area.height())
                .arg(screen.x())
                .arg(screen.y())
                .arg(screen.width())
                .arg(screen.height()));
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
