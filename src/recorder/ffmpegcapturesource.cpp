// SPDX-License-Identifier: GPL-3.0-or-later
#include "ffmpegcapturesource.h"

#include <chrono>

CaptureSource::OpenResult FfmpegCaptureSource::fail(const char *logLine, const QString &reason)
{
    qCDebug(lcRecorder) << logLine;
    error = reason;
    close();
    return OpenResult::Failed;
}

// Opening a grab device takes a moment and asks nobody, so a stop meanwhile
// is left to the frame loop, which records one picture and drains.
CaptureSource::OpenResult FfmpegCaptureSource::open(const CaptureRequest &request,
                                                    const std::atomic<bool> &)
{
    close();
    error.clear();
    decodeMs = 0;
    const CaptureDevice device = nativeCaptureDevice(request);
    const char *openFailed = "Couldn't open input stream.";
    if (device.captureRate.num <= 0)
        return fail(openFailed, QStringLiteral("the speed factor must be at least 1"));
    if (device.formatName.isEmpty())
        return fail(openFailed, QStringLiteral("this system has no screen-grabbing device"));
    if (device.url.isEmpty())
        return fail(openFailed, QStringLiteral("no X display is set (DISPLAY is empty)"));
    const AVInputFormat *format = av_find_input_format(device.formatName.constData());
    if (!format)
        return fail(openFailed, QStringLiteral("this FFmpeg has no %1 input device")
                                    .arg(QString::fromLatin1(device.formatName)));

    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return fail(openFailed, ffmpeg::errorText(AVERROR(ENOMEM)));
    // The device states its rate; without this the stream probe would grab
    // 20 pictures to measure it, 20 seconds at one picture per second.
    context->fps_probe_size = 0;
    ffmpeg::DictionaryPtr options = makeOptionDictionary(device);
    AVDictionary *optionList = options.release();
    // Frees the context when it fails.
    int result = avformat_open_input(&context, device.url.constData(), format, &optionList);
    options.reset(optionList); // what the device did not take
    if (result != 0)
        return fail(openFailed, QStringLiteral("%1 could not grab %2x%3 at %4,%5 on %6: %7")
                                    .arg(QString::fromLatin1(device.formatName))
                                    .arg(request.width)
                                    .arg(request.height)
                                    .arg(request.offsetX)
                                    .arg(request.offsetY)
                                    .arg(QString::fromLocal8Bit(device.url))
                                    .arg(ffmpeg::errorText(result)));
    input.reset(context);

    const QString noPictures = QStringLiteral("the screen's pictures cannot be read");
    result = avformat_find_stream_info(input.get(), nullptr);
    if (result < 0)
        return fail("Couldn't find stream information.\n",
                    noPictures + QStringLiteral(": ") + ffmpeg::errorText(result));
    videoStreamIndex = -1;
    for (unsigned i = 0; i < input->nb_streams && videoStreamIndex < 0; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            videoStreamIndex = int(i);
    }
    if (videoStreamIndex < 0)
        return fail("Didn't find a video stream.\n", noPictures);

    const AVCodecParameters *parameters = input->streams[videoStreamIndex]->codecpar;
    const AVCodec *codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return fail("Codec not found.\n", noPictures);
    decoder.reset(avcodec_alloc_context3(codec));
    packet.reset(av_packet_alloc());
    result = decoder && packet ? avcodec_parameters_to_context(decoder.get(), parameters)
                               : AVERROR(ENOMEM);
    if (result >= 0)
        result = avcodec_open2(decoder.get(), codec, nullptr);
    if (result < 0)
        return fail("Could not open codec.",
                    noPictures + QStringLiteral(": ") + ffmpeg::errorText(result));

    av_dump_format(input.get(), 0, nullptr, 0);
    // The probe above grabbed a picture and keeps it; every picture must be
    // taken when the recorder asks for it.
    avformat_flush(input.get());
    return OpenResult::Opened;
}

int FfmpegCaptureSource::nextPicture(AVFrame *picture, std::chrono::steady_clock::time_point &taken)
{
    if (!input) {
        error = QStringLiteral("the screen capture is not open");
        return AVERROR(EINVAL);
    }
    // The device grabs as soon as it is asked (as it stamps its packets).
    taken = std::chrono::steady_clock::now();
    int result = av_read_frame(input.get(), packet.get());
    if (result < 0) {
        error = QStringLiteral("the grab device stopped: %1").arg(ffmpeg::errorText(result));
        return result;
    }
    if (packet->stream_index != videoStreamIndex) {
        av_packet_unref(packet.get());
        return AVERROR(EAGAIN);
    }

    const auto start = std::chrono::steady_clock::now();
    result = avcodec_send_packet(decoder.get(), packet.get());
    // The decoded picture holds its own reference to the grabbed data.
    av_packet_unref(packet.get());
    if (result >= 0)
        result = avcodec_receive_frame(decoder.get(), picture);
    decodeMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (result < 0 && result != AVERROR(EAGAIN)) {
        qCDebug(lcRecorder) << "Decode Error.";
        error = QStringLiteral("a grabbed picture could not be decoded: %1")
                    .arg(ffmpeg::errorText(result));
    }
    return result;
}

void FfmpegCaptureSource::close()
{
    packet.reset();
    decoder.reset();
    input.reset();
    videoStreamIndex = -1;
}

QString FfmpegCaptureSource::errorText() const
{
    return error;
}

double FfmpegCaptureSource::preparationMilliseconds() const
{
    return decodeMs;
}
