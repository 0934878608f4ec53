// SPDX-License-Identifier: GPL-3.0-or-later
#include "screenrecorder.h"

#include "pictureconverter.h"
#include "timeline.h"
#include "videoencoder.h"
#include "videostream.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLoggingCategory>
#include <QMutexLocker>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <set>

Q_LOGGING_CATEGORY(lcRecorder, "zintora.recorder")

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The sequence end code that closes an MPEG video elementary stream.
constexpr char sequenceEndCode[4] = {0x00, 0x00, 0x01, char(0xB7)};

// Captured pictures the hand-over may hold: two at 4K, four (the most) at
// 1080p. More would only make the pictures older when the encoder is behind.
constexpr qint64 handoverBytes = 64 * 1024 * 1024;
constexpr int handoverMost = 4;

// Recorders whose recording may run. A process that ends through exit()
// (Qt's xcb platform does, within a fraction of a second, when the X server
// goes away) destroys static objects before it ends: this one finishes the
// recordings first, so that their files end with the end code and hold
// every whole picture.
class RunningRecorders
{
public:
    ~RunningRecorders()
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (ScreenRecorder *recorder : recorders) {
            recorder->stopRecording();
            recorder->wait(QDeadlineTimer(30000));
        }
    }
    void add(ScreenRecorder *recorder)
    {
        std::lock_guard<std::mutex> lock(mutex);
        recorders.insert(recorder);
    }
    void remove(ScreenRecorder *recorder)
    {
        std::lock_guard<std::mutex> lock(mutex);
        recorders.erase(recorder);
    }

private:
    std::mutex mutex;
    std::set<ScreenRecorder *> recorders;
};

RunningRecorders &runningRecorders()
{
    static RunningRecorders recorders;
    return recorders;
}

} // namespace

ScreenRecorder::ScreenRecorder(QObject *parent) : QThread(parent)
{
    runningRecorders().add(this);
}

ScreenRecorder::~ScreenRecorder()
{
    // Destroying a running QThread aborts the program; finish the file instead.
    if (isRunning()) {
        stopRecording();
        wait();
    }
    runningRecorders().remove(this);
    // The source was made in the recorder thread, which has ended.
    source.reset();
}

void ScreenRecorder::setCaptureSourceFactory(
    std::function<std::unique_ptr<CaptureSource>()> factory)
{
    sourceFactory = std::move(factory);
    source.reset();
}

void ScreenRecorder::stopRecording()
{
    // QThread keeps this for the recording that runs or that start() has
    // just begun, and drops it when none runs; run() takes its stop flag
    // from it, so a stop is never left over for the next recording.
    requestInterruption();
    QMutexLocker locker(&mutex);
    stopRequested = true;
    paused = false;
    ++controlEpoch;
    changed.wakeAll();
}

void ScreenRecorder::togglePause()
{
    QMutexLocker locker(&mutex);
    if (!isRunning())
        return;
    paused = !paused;
    ++controlEpoch;
    changed.wakeAll();
}

bool ScreenRecorder::isPaused() const
{
    return paused;
}

QString ScreenRecorder::finishError() const
{
    return finishErrorText;
}

ScreenRecorder::StageTimes ScreenRecorder::stageTimes() const
{
    return times;
}

qint64 ScreenRecorder::recordedFrames() const
{
    return frameCount;
}

qint64 ScreenRecorder::recordedBytes() const
{
    return bytesWritten;
}

void ScreenRecorder::run()
{
    const CaptureRequest request = prepareRecording();
    if (!source)
        source = sourceFactory ? sourceFactory() : createCaptureSource();
    // The desktop may ask the user which screen to share and wait minutes
    // for the answer; a stop meanwhile ends that wait through the flag.
    const CaptureSource::OpenResult opened = source->open(request, stopRequested);
    if (opened == CaptureSource::OpenResult::Refused) {
        // A stop before sharing began is what the user asked for: no message.
        const QString message = stopRequested ? QString() : source->errorText();
        releaseRecording(false);
        qCWarning(lcRecorder).noquote() << "Screen capture refused:" << message;
        emit captureRefused(message);
        return;
    }
    if (opened != CaptureSource::OpenResult::Opened) {
        finishErrorText = failure(InputError, QStringLiteral("the screen could not be captured"),
                                  source->errorText());
        return crash(InputError);
    }
    if (openEncoder() != 0)
        return crash(OutputError);

    captureThread = std::thread([this] { capture(); });
    const int crashed = encodeLoop();
    stopCapture();
    if (crashed >= 0)
        return crash(RecorderCrashCode(crashed));
    if (captureResult != 0) {
        // The screen went away (the X server ended, the desktop stopped
        // sharing): what was recorded is finished as a stop would, so it
        // plays to its end. The capture's reason comes first.
        const RecorderCrashCode code = fileCreated ? FrameError : InputError;
        QString reason =
            failure(code, QStringLiteral("the screen could not be captured"), captureError);
        if (fileCreated && finishRecording() != 0)
            reason += QLatin1Char(' ') + finishErrorText;
        finishErrorText = reason;
        return crash(code);
    }
    // Stopped while waiting for the first picture: no file, nothing to say.
    if (fileCreated)
        finishRecording();
    releaseRecording(false);
}

// The window shows this after "Recorder crashed", so it names the file and
// the cause in the user's terms.
QString ScreenRecorder::failure(RecorderCrashCode code, const QString &what,
                                const QString &reason) const
{
    const QString fileName = QDir::toNativeSeparators(outputFileName);
    const QString text = code == FrameError
                             ? QStringLiteral("Recording %1 ended early: %2").arg(fileName, what)
                             : QStringLiteral("Could not record %1: %2").arg(fileName, what);
    return reason.isEmpty() ? text : text + QStringLiteral(": ") + reason;
}

// Ends a recording that failed: frees what it made, closes the file with
// what was written so far, then reports. Emitted with the mutex free, so
// that even a direct receiver may call stopRecording or togglePause.
void ScreenRecorder::crash(RecorderCrashCode code)
{
    releaseRecording(true);
    emit recorderCrashed(code);
}

CaptureRequest ScreenRecorder::prepareRecording()
{
    {
        QMutexLocker locker(&mutex);
        stopRequested = isInterruptionRequested();
        handover.clear();
        covered = -1;
        captureEnded = captureQuit = false;
        captureResult = 0;
        captureError.clear();
    }
    finishErrorText.clear();
    times = StageTimes();
    frameCount = 0;
    bytesWritten = 0;
    repeatedUntil = -1;
    fileCreated = false;
    waited = false;
    writeErrorText.clear();
    fileDamaged = false;
    const qint64 pictureBytes = qint64(qMax(captureWidth, 1)) * qMax(captureHeight, 1) * 4;
    handoverCapacity = int(std::clamp<qint64>(handoverBytes / pictureBytes, 1, handoverMost));

    CaptureRequest request;
    request.offsetX = captureOffsetX;
    request.offsetY = captureOffsetY;
    request.width = captureWidth;
    request.height = captureHeight;
    request.frameRate = frameRate;
    request.speedFactor = speedFactor;
    request.drawMouse = drawMouse;
    request.showRegion = showRegion;
    request.screens = screenGeometries;
    return request;
}

int ScreenRecorder::openEncoder()
{
    qCDebug(lcRecorder).noquote() << "Encode video file: " + outputFileName;
    QString reason;
    encoderContext = openVideoEncoder(outputWidth, outputHeight, frameRate, bitRate, reason);
    if (!encoderContext) {
        qCCritical(lcRecorder) << "Could not open codec!";
        finishErrorText =
            failure(OutputError,
                    QStringLiteral("the video encoder refused %1x%2 pictures at %3 bit/s")
                        .arg(outputWidth)
                        .arg(outputHeight)
                        .arg(bitRate),
                    reason);
        return -1;
    }
    return 0;
}

int ScreenRecorder::openOutputFile()
{
    outputFile.setFileName(outputFileName);
    // Create-new-only: a file another program made under this name since the
    // window picked it is never truncated. Unbuffered: every picture goes to
    // the file system as it is written, so a killed process leaves a file
    // that holds all of them.
    if (!outputFile.open(QIODevice::NewOnly | QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCCritical(lcRecorder).noquote() << "Could not open file: " + outputFileName;
        finishErrorText =
            QStringLiteral("Could not create file %1: %2")
                .arg(QDir::toNativeSeparators(outputFileName), outputFile.errorString());
        return -1;
    }
    fileCreated = true;
    return 0;
}

// With the first picture the conversion is set up (the picture says what
// the capture delivers) and only then the file made, so that a recording
// that never gets a picture, or cannot convert it, leaves no file.
int ScreenRecorder::startOutput(const AVFrame *first)
{
    const auto format = AVPixelFormat(first->format);
    converter = PictureConverter::create(first->width, first->height, format, encoderContext->width,
                                         encoderContext->height);
    if (!converter) {
        const QString what =
            QStringLiteral("the captured %1x%2 %3 pictures cannot be converted to %4x%5")
                .arg(first->width)
                .arg(first->height)
                .arg(QString::fromLatin1(av_get_pix_fmt_name(format)))
                .arg(encoderContext->width)
                .arg(encoderContext->height);
        qCCritical(lcRecorder).noquote() << "Could not set up the conversion: " + what;
        finishErrorText = failure(OutputError, what, QString());
        return OutputError;
    }
    if (openOutputFile() != 0)
        return OutputError;
    // A still screen gets an encoded picture about once a second of real
    // time; see VideoStream.
    const int repeatEvery = int(std::lround(av_q2d(captureRate(frameRate, speedFactor))));
    stream = std::make_unique<VideoStream>(
        encoderContext.get(),
        [this](const uint8_t *data, int size) { return writePacket(data, size); }, repeatEvery);
    if (waited)
        emit waitingForFirstPicture(false);
    return -1;
}

// Takes what the capture thread hands over until it has ended and
// everything is in the stream. Returns -1, or the crash code of a failure.
int ScreenRecorder::encodeLoop()
{
    qint64 reportedFrames = -1;
    qint64 reportedBytes = -1;
    for (;;) {
        Grab grab;
        qint64 until = -1;
        {
            QMutexLocker locker(&mutex);
            while (handover.empty() && covered <= repeatedUntil && !captureEnded)
                changed.wait(&mutex);
            if (!handover.empty()) {
                grab = std::move(handover.front());
                handover.pop_front();
                changed.wakeAll(); // room, for a source that waits for it
            } else if (covered > repeatedUntil) {
                until = covered;
            } else {
                return -1;
            }
        }
        int crashed = -1;
        if (grab.picture) {
            crashed = recordPicture(std::move(grab));
        } else {
            repeatedUntil = until;
            if (stream)
                crashed = streamFailed(stream->repeatUntil(until));
        }
        if (crashed >= 0)
            return crashed;
        if (frameCount != reportedFrames || bytesWritten != reportedBytes) {
            reportedFrames = frameCount;
            reportedBytes = bytesWritten;
            emit progressUpdated(frameCount, bytesWritten);
        }
    }
}

int ScreenRecorder::recordPicture(Grab grab)
{
    if (!fileCreated) {
        const int crashed = startOutput(grab.picture.get());
        if (crashed >= 0)
            return crashed;
    }
    const Clock::time_point start = Clock::now();
    ffmpeg::FramePtr converted(av_frame_alloc());
    const int result =
        converted ? converter->convert(grab.picture.get(), converted.get()) : AVERROR(ENOMEM);
    grab.picture.reset(); // the grabbed buffer goes back to the capture at once
    times.convertMs += millisecondsSince(start);
    if (result < 0) {
        qCCritical(lcRecorder).noquote()
            << QStringLiteral("Could not convert a captured picture: ") + ffmpeg::errorText(result);
        finishErrorText = failure(FrameError, QStringLiteral("a picture could not be converted"),
                                  ffmpeg::errorText(result));
        return FrameError;
    }
    repeatedUntil = grab.instant;
    return streamFailed(stream->addPicture(std::move(converted), grab.instant));
}

// -1 for a stream call that went well, otherwise FrameError with why.
int ScreenRecorder::streamFailed(int result)
{
    if (result == 0)
        return -1;
    if (result == VideoStream::writeFailed) {
        finishErrorText = QStringLiteral("Could not write file %1: %2")
                              .arg(QDir::toNativeSeparators(outputFileName), writeErrorText);
        qCCritical(lcRecorder).noquote() << finishErrorText;
        // What was kept plays to its last picture; the pictures the encoder
        // still holds would not fit anyway.
        writeEndCodeIfItFits();
    } else {
        qCCritical(lcRecorder) << "Error encoding frame";
        finishErrorText = failure(FrameError, QStringLiteral("a picture could not be encoded"),
                                  ffmpeg::errorText(result));
    }
    return FrameError;
}

// A short write leaves part of a picture in the file: a damaged last
// picture. Writes the rest until the file system says why it cannot, then
// cuts the file back to the pictures written whole.
int ScreenRecorder::writePacket(const uint8_t *data, int size)
{
    qCDebug(lcRecorder, "Write frame %3lld (size=%5d)", static_cast<long long>(frameCount), size);
    const Clock::time_point start = Clock::now();
    qint64 done = 0;
    qint64 written = 0;
    while (done < size && (written = outputFile.write(reinterpret_cast<const char *>(data) + done,
                                                      size - done)) > 0)
        done += written;
    times.writeMs += millisecondsSince(start);
    if (done != size) {
        writeErrorText = written < 0
                             ? outputFile.errorString()
                             : QStringLiteral("only %1 of %2 bytes written").arg(done).arg(size);
        cutBackToWholePackets();
        return -1;
    }
    ++frameCount;
    bytesWritten += size;
    return 0;
}

void ScreenRecorder::cutBackToWholePackets()
{
    if (fileDamaged || outputFile.size() == bytesWritten)
        return;
    if (!outputFile.resize(bytesWritten)) {
        // The partial picture stays; say so, and count what is in the file.
        writeErrorText += QStringLiteral(" (the damaged end could not be cut off: %1)")
                              .arg(outputFile.errorString());
        bytesWritten = outputFile.size();
        fileDamaged = true;
    }
}

// After a failed write the file system may still have room for the four
// bytes (cutting back made some); without them the file still plays.
QString ScreenRecorder::writeEndCodeIfItFits()
{
    if (fileDamaged)
        return QString();
    const qint64 written = outputFile.write(sequenceEndCode, sizeof sequenceEndCode);
    if (written == qint64(sizeof sequenceEndCode))
        return QString();
    const QString reason =
        written < 0 ? outputFile.errorString() : QStringLiteral("no room for its end");
    cutBackToWholePackets();
    return reason;
}

int ScreenRecorder::finishRecording()
{
    const QString fileName = QDir::toNativeSeparators(outputFileName);
    QString failure;

    // The encoder holds pictures back for reordering, and repeats may be
    // owed after them: they belong in the file.
    const int result = stream->finish();
    if (result == VideoStream::writeFailed)
        failure = QStringLiteral("Could not write file %1: %2").arg(fileName, writeErrorText);
    else if (result != 0)
        failure = QStringLiteral("Could not write the last pictures to %1: %2")
                      .arg(fileName, ffmpeg::errorText(result));

    const QString endMissing = writeEndCodeIfItFits();
    if (failure.isEmpty() && !endMissing.isEmpty())
        failure = QStringLiteral("Could not write file %1: %2").arg(fileName, endMissing);

    outputFile.close();
    if (failure.isEmpty() && outputFile.error() != QFileDevice::NoError)
        failure =
            QStringLiteral("Could not close file %1: %2").arg(fileName, outputFile.errorString());

    if (!failure.isEmpty()) {
        qCCritical(lcRecorder).noquote() << failure;
        finishErrorText = failure;
        return -1;
    }
    return 0;
}

void ScreenRecorder::stopCapture()
{
    {
        QMutexLocker locker(&mutex);
        captureQuit = true;
        changed.wakeAll();
    }
    if (captureThread.joinable())
        captureThread.join();
}

// Frees every FFmpeg object of the recording, closes the capture and the
// file. A failed recording that wrote nothing leaves no file of its own
// behind.
void ScreenRecorder::releaseRecording(bool failed)
{
    stopCapture();
    if (stream) {
        times.pictures = stream->newPictures();
        times.repeats = stream->repeatedPictures();
        times.encodeMs = stream->encodeMilliseconds();
    }
    times.decodeMs = source ? source->preparationMilliseconds() : 0;
    stream.reset();
    converter.reset();
    encoderContext.reset();
    {
        QMutexLocker locker(&mutex);
        handover.clear(); // what the capture lent goes back before it closes
        paused = false;
    }
    if (source)
        source->close();
    if (outputFile.isOpen())
        outputFile.close();
    if (failed && fileCreated && bytesWritten == 0 && !fileDamaged)
        outputFile.remove();
}

// The capture thread: takes a picture at every capture instant, on the
// steady clock, and hands it over with the instant it belongs to.
void ScreenRecorder::capture()
{
    Timeline timeline(av_inv_q(captureRate(frameRate, speedFactor)));
    // Until the first picture (and after a resume) the source is asked this
    // often whether it has one.
    const Clock::duration poll =
        std::min<Clock::duration>(timeline.offset(1), std::chrono::milliseconds(50));
    Clock::time_point due = Clock::now();
    ffmpeg::FramePtr picture(av_frame_alloc());
    int result = picture ? 0 : AVERROR(ENOMEM);
    bool waitingSaid = false;

    QMutexLocker locker(&mutex);
    while (result == 0 && !captureQuit) {
        const Clock::time_point waitStart = Clock::now();
        while (!stopRequested && !captureQuit && (paused || Clock::now() < due)) {
            if (paused) {
                changed.wait(&mutex);
                timeline.resume(Clock::now());
            } else {
                changed.wait(&mutex, QDeadlineTimer(due, Qt::PreciseTimer));
            }
        }
        times.grabWaitMs += millisecondsSince(waitStart);
        // A stop before the first picture still lets the grab devices take
        // one (they need no wait); a screen cast still without one ends.
        const bool first = !timeline.started();
        if (captureQuit || (stopRequested && !first))
            break;
        const quint64 epoch = controlEpoch;
        locker.unlock();
        Clock::time_point taken;
        result = source->nextPicture(picture.get(), taken);
        if (result == AVERROR(EAGAIN) && first && !waitingSaid) {
            waitingSaid = waited = true;
            emit waitingForFirstPicture(true);
        }
        locker.relock();

        if (result == AVERROR(EAGAIN)) {
            result = 0;
            if (first && stopRequested)
                break;
            const qint64 instant = timeline.cover(taken);
            if (instant > covered) {
                covered = instant;
                changed.wakeAll();
            }
        } else if (result == 0) {
            ++times.reads;
            // Taken while a pause or stop arrived: not what the user wants.
            const bool keep = epoch == controlEpoch || (first && stopRequested);
            const qint64 instant = keep ? timeline.place(taken) : -1;
            if (instant >= 0) {
                if (first)
                    times.firstTaken = timeline.at(0);
                handOver(std::move(picture), instant);
                picture.reset(av_frame_alloc());
                if (!picture)
                    result = AVERROR(ENOMEM);
            } else {
                av_frame_unref(picture.get());
            }
        }
        due = timeline.rebasing() ? Clock::now() + poll : timeline.at(timeline.last() + 1);
    }
    if (result != 0) {
        captureResult = result;
        captureError = source->errorText();
    }
    captureEnded = true;
    changed.wakeAll();
}

// With the mutex held. When the encoder is behind and the hand-over full,
// the newest picture takes the place of the newest one waiting; the
// instant of that one then repeats the picture before it.
void ScreenRecorder::handOver(ffmpeg::FramePtr picture, qint64 instant)
{
    if (!source->isLive()) {
        while (int(handover.size()) >= handoverCapacity && !captureQuit)
            changed.wait(&mutex);
    }
    if (int(handover.size()) >= handoverCapacity)
        handover.back() = Grab{std::move(picture), instant};
    else
        handover.push_back(Grab{std::move(picture), instant});
    covered = instant;
    times.handoverPeak = qMax(times.handoverPeak, int(handover.size()));
    changed.wakeAll();
}
