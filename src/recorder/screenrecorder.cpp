#include "screenrecorder.h"

#include "pictureconverter.h"

#include <QDir>
#include <QLoggingCategory>
#include <QMutexLocker>

#include <algorithm>
#include <chrono>

Q_LOGGING_CATEGORY(lcRecorder, "zintora.recorder")

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The sequence end code that closes an MPEG video elementary stream.
constexpr char sequenceEndCode[4] = {0x00, 0x00, 0x01, char(0xB7)};

// Slice threads of the MPEG-2 encoder. Every macroblock row starts a slice
// anyway, so threads change nothing in the stream. Above 1080p one thread
// cannot encode a picture within the 33 ms of a capture interval, so the
// encoder gets up to 4. Up to 1080p one thread keeps up with CPU to spare,
// and stays cheaper: with more than one slice context FFmpeg (5.1) sizes
// and zero-fills its packet buffer for the worst case, about 26 MB at
// 1080p and 100 MB at 4K, and the threads add synchronisation work.
int encoderThreadCount(int width, int height)
{
    if (qint64(width) * height <= 1920 * 1088)
        return 1;
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

} // namespace

ScreenRecorder::ScreenRecorder(QObject *parent) : QThread(parent) {}

ScreenRecorder::~ScreenRecorder()
{
    // Destroying a running QThread aborts the program; finish the file instead.
    if (isRunning()) {
        stopRecording();
        wait();
    }
    // The source was made in the recorder thread, which has ended.
    source.reset();
}

void ScreenRecorder::start(Priority priority)
{
    if (isRunning())
        return;
    {
        QMutexLocker locker(&mutex);
        stopRequested = false;
        paused = false;
        finishErrorText.clear();
        times = StageTimes();
    }
    QThread::start(priority);
}

void ScreenRecorder::stopRecording()
{
    if (stopRequested)
        return;
    lockForControl();
    stopRequested = true;
    paused = false;
    mutex.unlock();
}

void ScreenRecorder::togglePause()
{
    lockForControl();
    paused = !paused;
    mutex.unlock();
}

// The frame loop takes the mutex again right after it lets it go; QMutex is
// not fair, so without this a pause or stop could wait many pictures. The
// loop steps aside while a control request is waiting.
void ScreenRecorder::lockForControl()
{
    ++controlWaiting;
    mutex.lock();
    --controlWaiting;
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
        source = createCaptureSource();
    // Without the mutex: the desktop may ask the user which screen to share
    // and wait minutes for the answer, and a stop or pause meanwhile must not
    // block the window. A stop ends that wait through the flag.
    const CaptureSource::OpenResult opened = source->open(request, stopRequested);
    if (opened == CaptureSource::OpenResult::Refused) {
        // A stop before sharing began is what the user asked for: no message.
        const QString message = stopRequested ? QString() : source->errorText();
        source->close();
        qCWarning(lcRecorder).noquote() << "Screen capture refused:" << message;
        emit captureRefused(message);
        return;
    }

    QMutexLocker locker(&mutex);
    if (opened != CaptureSource::OpenResult::Opened) {
        finishErrorText = failure(InputError, QStringLiteral("the screen could not be captured"),
                                  source->errorText());
        return crash(locker, InputError);
    }
    // The file is made only once the input and the encoder stand, so a
    // refused or failed capture leaves none behind.
    if (openEncoder() != 0 || openOutputFile() != 0 || setUpConversion() != 0)
        return crash(locker, OutputError);
    locker.unlock();

    // A stop asked for before the first picture still records that one
    // picture. Each picture is taken without the mutex, since the wait for
    // the next capture instant can last a whole period (a second at x30) and
    // a pause must not wait that long; whether it is kept is decided under
    // the mutex. stopRecording() clears the pause, so a picture taken while
    // a stop arrived is thrown away rather than let into the video.
    for (bool first = true;; first = false) {
        const int grabbed = grabPicture();
        while (controlWaiting > 0)
            QThread::yieldCurrentThread();
        locker.relock();
        if (stopRequested && !first) {
            av_frame_unref(capturedFrame.get());
            break;
        }
        const int recorded = recordNextFrame(grabbed);
        if (recorded == captureLost) {
            // The screen went away (the X server ended, the desktop stopped
            // sharing) but what was recorded is whole: finish it as a stop
            // would, so it plays to its end. The capture's reason comes
            // first; a finish that failed too is said after it.
            const QString reason = finishErrorText;
            const bool finished = finishRecording() == 0;
            finishErrorText = finished ? reason : reason + QLatin1Char(' ') + finishErrorText;
        }
        if (recorded != 0)
            return crash(locker, FrameError);
        const qint64 frames = frameCount;
        const qint64 size = bytesWritten;
        locker.unlock();
        emit progressUpdated(frames, size);
    }

    finishRecording();
    releaseRecording();
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
// what was written so far (no drain), frees the mutex, then reports.
// Emitting with the mutex free lets even a direct receiver call
// stopRecording or togglePause.
void ScreenRecorder::crash(QMutexLocker &locker, RecorderCrashCode code)
{
    releaseRecording();
    locker.unlock();
    emit recorderCrashed(code);
}

// The flags are cleared by start(), before the thread runs, so that a
// request made right after start() is not lost here.
CaptureRequest ScreenRecorder::prepareRecording()
{
    frameCount = 0;
    bytesWritten = 0;
    picturesEncoded = 0;
    writeErrorText.clear();
    fileDamaged = false;
    releaseRecording();

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
    const QString what = QStringLiteral("the video encoder refused %1x%2 pictures at %3 bit/s")
                             .arg(outputWidth)
                             .arg(outputHeight)
                             .arg(bitRate);

    const AVCodec *encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!encoder) {
        qCCritical(lcRecorder) << "Codec not found!";
        finishErrorText =
            failure(OutputError, QStringLiteral("this FFmpeg has no MPEG-2 encoder"), QString());
        return -1;
    }
    encoderContext.reset(avcodec_alloc_context3(encoder));
    outputPacket.reset(av_packet_alloc());
    if (!encoderContext || !outputPacket) {
        qCCritical(lcRecorder) << "Could not allocate video codec context!";
        finishErrorText = failure(OutputError, what, ffmpeg::errorText(AVERROR(ENOMEM)));
        return -1;
    }

    AVCodecContext *context = encoderContext.get();
    context->bit_rate = bitRate;
    context->width = outputWidth;
    context->height = outputHeight;
    context->time_base = AVRational{1, frameRate};
    context->framerate = AVRational{frameRate, 1};
    context->gop_size = 10;
    context->max_b_frames = 1;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->thread_type = FF_THREAD_SLICE;
    context->thread_count = encoderThreadCount(outputWidth, outputHeight);

    const int result = avcodec_open2(context, encoder, nullptr);
    if (result < 0) {
        qCCritical(lcRecorder) << "Could not open codec!";
        finishErrorText = failure(OutputError, what, ffmpeg::errorText(result));
        return -1;
    }
    return 0;
}

int ScreenRecorder::openOutputFile()
{
    outputFile.setFileName(outputFileName);
    // Create-new-only: a file another program made under this name since the
    // window picked it is never truncated. Unbuffered: every packet goes to
    // the file system as it is written, so a killed process leaves a file
    // that holds all of them.
    if (!outputFile.open(QIODevice::NewOnly | QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCCritical(lcRecorder).noquote() << "Could not open file: " + outputFileName;
        finishErrorText =
            QStringLiteral("Could not create file %1: %2")
                .arg(QDir::toNativeSeparators(outputFileName), outputFile.errorString());
        return -1;
    }
    return 0;
}

int ScreenRecorder::setUpConversion()
{
    capturedFrame.reset(av_frame_alloc());
    scaledFrame.reset(av_frame_alloc());
    converter = PictureConverter::create(source->width(), source->height(), source->pixelFormat(),
                                         encoderContext->width, encoderContext->height);
    if (!capturedFrame || !scaledFrame || !converter) {
        const QString what =
            QStringLiteral("the captured %1x%2 %3 pictures cannot be converted to %4x%5")
                .arg(source->width())
                .arg(source->height())
                .arg(QString::fromLatin1(av_get_pix_fmt_name(source->pixelFormat())))
                .arg(encoderContext->width)
                .arg(encoderContext->height);
        qCCritical(lcRecorder).noquote() << "Could not set up the conversion: " + what;
        finishErrorText = failure(OutputError, what, QString());
        return -1;
    }
    return 0;
}

int ScreenRecorder::grabPicture()
{
    const Clock::time_point start = Clock::now();
    const double preparedBefore = source->preparationMilliseconds();
    const int result = source->nextPicture(capturedFrame.get());
    const double prepared = source->preparationMilliseconds() - preparedBefore;
    times.decodeMs += prepared;
    times.grabWaitMs += millisecondsSince(start) - prepared;
    return result;
}

int ScreenRecorder::recordNextFrame(int grabbed)
{
    // While paused the picture is taken all the same and thrown away, so
    // that the capture keeps its pace and nothing from the paused time is
    // kept.
    if (grabbed == AVERROR(EAGAIN))
        return 0;
    if (grabbed < 0) {
        finishErrorText = failure(FrameError, QStringLiteral("the screen could not be captured"),
                                  source->errorText());
        return captureLost;
    }
    ++times.reads;
    if (paused) {
        av_frame_unref(capturedFrame.get());
        return 0;
    }

    const Clock::time_point start = Clock::now();
    const int result = converter->convert(capturedFrame.get(), scaledFrame.get());
    // Hand the grabbed buffer back to the capture at once.
    av_frame_unref(capturedFrame.get());
    times.convertMs += millisecondsSince(start);
    if (result < 0) {
        qCCritical(lcRecorder).noquote()
            << QStringLiteral("Could not convert a captured picture: ") + ffmpeg::errorText(result);
        finishErrorText = failure(FrameError, QStringLiteral("a picture could not be converted"),
                                  ffmpeg::errorText(result));
        return -1;
    }

    // The encoder needs a running timestamp; one tick of 1/frameRate per
    // picture, so a pause leaves no gap in the stream.
    scaledFrame->pts = picturesEncoded++;
    ++times.pictures;
    return encodePicture();
}

// Hands the encoder one picture (none: drain it) and writes every packet it
// delivers. Returns the encoder's last result, AVERROR(EAGAIN) or AVERROR_EOF
// when all went well, or writeFailed when a packet did not reach the file.
int ScreenRecorder::encodeAndWrite(const AVFrame *picture)
{
    Clock::time_point start = Clock::now();
    int result = avcodec_send_frame(encoderContext.get(), picture);
    while (result >= 0) {
        result = avcodec_receive_packet(encoderContext.get(), outputPacket.get());
        if (result < 0)
            break;
        times.encodeMs += millisecondsSince(start);
        const int written = writePacket(outputPacket.get());
        av_packet_unref(outputPacket.get());
        if (written != 0)
            return writeFailed;
        start = Clock::now();
    }
    times.encodeMs += millisecondsSince(start);
    return result;
}

int ScreenRecorder::encodePicture()
{
    const int result = encodeAndWrite(scaledFrame.get());
    // Our reference goes; the encoder keeps its own while it reorders.
    av_frame_unref(scaledFrame.get());
    if (result == writeFailed) {
        finishErrorText = QStringLiteral("Could not write file %1: %2")
                              .arg(QDir::toNativeSeparators(outputFileName), writeErrorText);
        qCCritical(lcRecorder).noquote() << finishErrorText;
        // What was kept plays to its last picture; the pictures the encoder
        // still holds would not fit anyway.
        writeEndCodeIfItFits();
        return -1;
    }
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
        return 0;
    qCCritical(lcRecorder) << "Error encoding frame";
    finishErrorText = failure(FrameError, QStringLiteral("a picture could not be encoded"),
                              ffmpeg::errorText(result));
    return -1;
}

// A short write leaves part of a packet in the file: a damaged last picture.
// Writes the rest until the file system says why it cannot, then cuts the
// file back to the packets written whole.
int ScreenRecorder::writePacket(const AVPacket *packet)
{
    const qint64 number = frameCount;
    qCDebug(lcRecorder, "Write frame %3lld (size=%5d)", static_cast<long long>(number),
            packet->size);
    const Clock::time_point start = Clock::now();
    const char *data = reinterpret_cast<const char *>(packet->data);
    qint64 done = 0;
    qint64 written = 0;
    while (done < packet->size &&
           (written = outputFile.write(data + done, packet->size - done)) > 0)
        done += written;
    times.writeMs += millisecondsSince(start);
    if (done != packet->size) {
        writeErrorText =
            written < 0 ? outputFile.errorString()
                        : QStringLiteral("only %1 of %2 bytes written").arg(done).arg(packet->size);
        cutBackToWholePackets();
        return -1;
    }
    ++frameCount;
    bytesWritten += packet->size;
    return 0;
}

void ScreenRecorder::cutBackToWholePackets()
{
    if (fileDamaged || outputFile.size() == bytesWritten)
        return;
    if (!outputFile.resize(bytesWritten)) {
        // The partial packet stays; say so, and count what is in the file.
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

    // Drain whatever the last encode left behind: the encoder holds pictures
    // back for reordering, and they belong in the file.
    const int result = encodeAndWrite(nullptr);
    if (result == writeFailed)
        failure = QStringLiteral("Could not write file %1: %2").arg(fileName, writeErrorText);
    else if (result != AVERROR_EOF)
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

// Frees every FFmpeg object of the recording, closes the capture and the
// file. What the capture lent (grabbed buffers) goes back before it closes.
void ScreenRecorder::releaseRecording()
{
    converter.reset();
    scaledFrame.reset();
    outputPacket.reset();
    encoderContext.reset();
    capturedFrame.reset();
    if (source)
        source->close();
    if (outputFile.isOpen())
        outputFile.close();
}
