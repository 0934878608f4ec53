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
    QMutexLocker locker(&mutex);
    prepareCaptureOptions();
    if (openInput() != 0)
        return crash(locker, InputError);
    if (openEncoder() != 0)
        return crash(locker, OutputError);
    if (openOutputFile() != 0)
        return crash(locker, OutputError);
    if (setUpConversion() != 0)
        return crash(locker, OutputError);
    locker.unlock();

    // A stop asked for before the first picture still records that one
    // picture. Later the stop is tested under the mutex, before the next
    // grab: stopRecording() clears the pause, so a test outside it would let
    // one picture taken after a stop while paused into the video.
    for (bool first = true;; first = false) {
        while (controlWaiting > 0)
            QThread::yieldCurrentThread();
        locker.relock();
        if (stopRequested && !first)
            break;
        if (recordNextFrame() != 0)
            return crash(locker, FrameError);
        const qint64 frames = frameCount;
        const qint64 size = bytesWritten;
        locker.unlock();
        emit progressUpdated(frames, size);
    }

    finishRecording();
    releaseRecording();
}

// Ends a recording that failed: frees what it made, closes the file with
// what was written so far (no drain, no end code), frees the mutex, then
// reports. Emitting with the mutex free lets even a direct receiver call
// stopRecording or togglePause.
void ScreenRecorder::crash(QMutexLocker &locker, RecorderCrashCode code)
{
    if (finishErrorText.isEmpty()) {
        const QString fileName = QDir::toNativeSeparators(outputFileName);
        switch (code) {
        case InputError:
            finishErrorText = QStringLiteral("Could not record %1: the screen could not be "
                                             "captured")
                                  .arg(fileName);
            break;
        case OutputError:
            finishErrorText =
                QStringLiteral("Could not record %1: the encoder or the file could not be opened")
                    .arg(fileName);
            break;
        case FrameError:
            finishErrorText =
                QStringLiteral("Recording %1 ended early: a picture could not be captured or "
                               "encoded")
                    .arg(fileName);
            break;
        }
    }
    releaseRecording();
    locker.unlock();
    emit recorderCrashed(code);
}

void ScreenRecorder::prepareCaptureOptions()
{
    // The flags are cleared by start(), before the thread runs, so that a
    // request made right after start() is not lost here.
    frameCount = 0;
    bytesWritten = 0;
    picturesEncoded = 0;
    writeErrorText.clear();
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
    captureDevice = nativeCaptureDevice(request);
    captureOptions = makeOptionDictionary(captureDevice);
    inputFormat = captureDevice.formatName.isEmpty()
                      ? nullptr
                      : av_find_input_format(captureDevice.formatName.constData());
}

int ScreenRecorder::openInput()
{
    if (!captureDevice.isUsable() || !inputFormat) {
        qCDebug(lcRecorder) << "Couldn't open input stream.";
        return -1;
    }
    AVFormatContext *context = avformat_alloc_context();
    if (!context) {
        qCDebug(lcRecorder) << "Couldn't open input stream.";
        return -1;
    }
    // The device states its rate; without this the stream probe would grab
    // 20 pictures to measure it, 20 seconds at one picture per second.
    context->fps_probe_size = 0;
    AVDictionary *options = captureOptions.release();
    int result =
        avformat_open_input(&context, captureDevice.url.constData(), inputFormat, &options);
    // The device consumed the options it knows; the rest is not looked at.
    captureOptions.reset(options);
    if (result != 0) {
        qCDebug(lcRecorder) << "Couldn't open input stream.";
        return -1;
    }
    inputContext.reset(context);

    if (avformat_find_stream_info(inputContext.get(), nullptr) < 0) {
        qCDebug(lcRecorder) << "Couldn't find stream information.\n";
        return -1;
    }

    videoStreamIndex = -1;
    for (unsigned i = 0; i < inputContext->nb_streams; ++i) {
        if (inputContext->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            videoStreamIndex = int(i);
            break;
        }
    }
    if (videoStreamIndex < 0) {
        qCDebug(lcRecorder) << "Didn't find a video stream.\n";
        return -1;
    }

    const AVCodecParameters *parameters = inputContext->streams[videoStreamIndex]->codecpar;
    const AVCodec *decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder) {
        qCDebug(lcRecorder) << "Codec not found.\n";
        return -1;
    }
    decoderContext.reset(avcodec_alloc_context3(decoder));
    if (!decoderContext || avcodec_parameters_to_context(decoderContext.get(), parameters) < 0 ||
        avcodec_open2(decoderContext.get(), decoder, nullptr) < 0) {
        qCDebug(lcRecorder) << "Could not open codec.";
        return -1;
    }

    decodedFrame.reset(av_frame_alloc());
    inputPacket.reset(av_packet_alloc());
    if (!decodedFrame || !inputPacket) {
        qCDebug(lcRecorder) << "Could not open codec.";
        return -1;
    }

    av_dump_format(inputContext.get(), 0, nullptr, 0);
    return 0;
}

int ScreenRecorder::openEncoder()
{
    encoderContext.reset();
    qCDebug(lcRecorder).noquote() << "Encode video file: " + outputFileName;

    const AVCodec *encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!encoder) {
        qCCritical(lcRecorder) << "Codec not found!";
        return -1;
    }
    encoderContext.reset(avcodec_alloc_context3(encoder));
    outputPacket.reset(av_packet_alloc());
    if (!encoderContext || !outputPacket) {
        qCCritical(lcRecorder) << "Could not allocate video codec context!";
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

    if (avcodec_open2(context, encoder, nullptr) < 0) {
        qCCritical(lcRecorder) << "Could not open codec!";
        return -1;
    }
    return 0;
}

int ScreenRecorder::openOutputFile()
{
    outputFile.setFileName(outputFileName);
    // Unbuffered: every packet goes to the file system as it is written, so
    // a killed process leaves a file that holds all of them.
    if (!outputFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        qCCritical(lcRecorder).noquote() << "Could not open file: " + outputFileName;
        return -1;
    }
    return 0;
}

int ScreenRecorder::setUpConversion()
{
    scaledFrame.reset(av_frame_alloc());
    converter = PictureConverter::create(decoderContext->width, decoderContext->height,
                                         decoderContext->pix_fmt, encoderContext->width,
                                         encoderContext->height);
    if (!scaledFrame || !converter) {
        qCCritical(lcRecorder).noquote()
            << QStringLiteral("Could not set up the conversion from %1x%2 %3 to %4x%5")
                   .arg(decoderContext->width)
                   .arg(decoderContext->height)
                   .arg(QString::fromLatin1(av_get_pix_fmt_name(decoderContext->pix_fmt)))
                   .arg(encoderContext->width)
                   .arg(encoderContext->height);
        return -1;
    }
    return 0;
}

int ScreenRecorder::recordNextFrame()
{
    Clock::time_point start = Clock::now();
    int result = av_read_frame(inputContext.get(), inputPacket.get());
    times.grabWaitMs += millisecondsSince(start);
    if (result < 0)
        return -1;
    ++times.reads;

    if (inputPacket->stream_index != videoStreamIndex || paused) {
        av_packet_unref(inputPacket.get());
        return 0;
    }

    start = Clock::now();
    result = avcodec_send_packet(decoderContext.get(), inputPacket.get());
    // The decoded picture holds its own reference to the grabbed data.
    av_packet_unref(inputPacket.get());
    if (result >= 0)
        result = avcodec_receive_frame(decoderContext.get(), decodedFrame.get());
    times.decodeMs += millisecondsSince(start);
    if (result == AVERROR(EAGAIN))
        return 0;
    if (result < 0) {
        qCDebug(lcRecorder) << "Decode Error.";
        return -1;
    }

    start = Clock::now();
    result = converter->convert(decodedFrame.get(), scaledFrame.get());
    // Hand the grabbed buffer back to the capture device at once.
    av_frame_unref(decodedFrame.get());
    times.convertMs += millisecondsSince(start);
    if (result < 0) {
        qCCritical(lcRecorder).noquote()
            << QStringLiteral("Could not convert a captured picture: ") + ffmpeg::errorText(result);
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
        const QString reason = QStringLiteral("Could not write file %1: %2")
                                   .arg(QDir::toNativeSeparators(outputFileName), writeErrorText);
        qCCritical(lcRecorder).noquote() << reason;
        finishErrorText = reason;
        return -1;
    }
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
        return 0;
    qCCritical(lcRecorder) << "Error encoding frame";
    return -1;
}

int ScreenRecorder::writePacket(const AVPacket *packet)
{
    const qint64 number = frameCount;
    qCDebug(lcRecorder, "Write frame %3lld (size=%5d)", static_cast<long long>(number),
            packet->size);
    const Clock::time_point start = Clock::now();
    const qint64 written =
        outputFile.write(reinterpret_cast<const char *>(packet->data), packet->size);
    times.writeMs += millisecondsSince(start);
    if (written != packet->size) {
        writeErrorText =
            written < 0
                ? outputFile.errorString()
                : QStringLiteral("only %1 of %2 bytes written").arg(written).arg(packet->size);
        return -1;
    }
    ++frameCount;
    bytesWritten += packet->size;
    return 0;
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

    if (failure.isEmpty()) {
        const qint64 written = outputFile.write(sequenceEndCode, sizeof sequenceEndCode);
        if (written != qint64(sizeof sequenceEndCode))
            failure = QStringLiteral("Could not write file %1: %2")
                          .arg(fileName, outputFile.errorString());
    }

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

// Frees every FFmpeg object of the recording and closes the file. What the
// capture device lent (grabbed buffers) goes back before the device closes.
void ScreenRecorder::releaseRecording()
{
    converter.reset();
    scaledFrame.reset();
    outputPacket.reset();
    encoderContext.reset();
    decodedFrame.reset();
    inputPacket.reset();
    decoderContext.reset();
    inputContext.reset();
    captureOptions.reset();
    inputFormat = nullptr;
    videoStreamIndex = -1;
    if (outputFile.isOpen())
        outputFile.close();
}
