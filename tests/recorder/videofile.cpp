#include "videofile.h"

#include "ffmpeg.h"

#include <QFile>
#include <QMutex>

#include <cmath>
#include <cstdio>

namespace {

// Error lines that FFmpeg logs while we decode (the decoder reports damaged
// slices this way even when it goes on decoding).
QMutex logMutex;
int logErrors = 0;
QString firstLogError;

void countErrors(void *, int level, const char *format, va_list arguments)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    vsnprintf(line, sizeof line, format, arguments);
    QMutexLocker locker(&logMutex);
    if (logErrors++ == 0)
        firstLogError = QString::fromLocal8Bit(line).trimmed();
}

QColor meanColour(const AVFrame *frame)
{
    // The middle half of the picture, every 4th pixel.
    const int x0 = frame->width / 4, x1 = frame->width * 3 / 4;
    const int y0 = frame->height / 4, y1 = frame->height * 3 / 4;
    double y = 0, u = 0, v = 0;
    int n = 0;
    for (int row = y0; row < y1; row += 4) {
        for (int column = x0; column < x1; column += 4) {
            y += frame->data[0][row * frame->linesize[0] + column];
            u += frame->data[1][(row / 2) * frame->linesize[1] + column / 2];
            v += frame->data[2][(row / 2) * frame->linesize[2] + column / 2];
            ++n;
        }
    }
    if (n == 0)
        return QColor();
    y = y / n - 16;
    u = u / n - 128;
    v = v / n - 128;
    // BT.601, limited range.
    auto clamp = [](double value) { return qBound(0, int(std::lround(value)), 255); };
    return QColor(clamp(1.164 * y + 1.596 * v), clamp(1.164 * y - 0.392 * u - 0.813 * v),
                  clamp(1.164 * y + 2.017 * u));
}

} // namespace

DecodedVideo decodeVideoFile(const QString &path)
{
    DecodedVideo video;
    {
        QMutexLocker locker(&logMutex);
        logErrors = 0;
        firstLogError.clear();
    }
    av_log_set_callback(countErrors);

    auto fail = [&video](const QString &text) {
        ++video.errors;
        if (video.firstError.isEmpty())
            video.firstError = text;
    };

    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, name.constData(), av_find_input_format("mpegvideo"), nullptr) !=
        0) {
        av_log_set_callback(av_log_default_callback);
        return video;
    }
    ffmpeg::InputContextPtr input(raw);
    video.opened = true;

    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    // Damage is an error. (Not AV_EF_BITSTREAM: it also flags the zero
    // stuffing that the encoder's rate control may put at the end of a
    // slice, which the stream syntax allows.)
    decoder->err_recognition = AV_EF_EXPLODE;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        fail(QStringLiteral("cannot open the decoder"));
        av_log_set_callback(av_log_default_callback);
        return video;
    }
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());

    auto receive = [&]() {
        for (;;) {
            const int result = avcodec_receive_frame(decoder.get(), frame.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return;
            if (result < 0) {
                fail(QStringLiteral("receive: ") + ffmpeg::errorText(result));
                return;
            }
            if (frame->flags & AV_FRAME_FLAG_CORRUPT)
                fail(QStringLiteral("corrupt picture %1").arg(video.frames));
            ++video.frames;
            video.width = frame->width;
            video.height = frame->height;
            video.colours.append(meanColour(frame.get()));
            av_frame_unref(frame.get());
        }
    };

    int result;
    while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
        const int sent = avcodec_send_packet(decoder.get(), packet.get());
        if (sent < 0)
            fail(QStringLiteral("send: %1 (packet of %2 bytes at %3)")
                     .arg(ffmpeg::errorText(sent))
                     .arg(packet->size)
                     .arg(packet->pos));
        av_packet_unref(packet.get());
        receive();
    }
    if (result != AVERROR_EOF)
        fail(QStringLiteral("read: ") + ffmpeg::errorText(result));
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    video.frameRateNum = decoder->framerate.num;
    video.frameRateDen = decoder->framerate.den;

    av_log_set_callback(av_log_default_callback);
    QMutexLocker locker(&logMutex);
    if (logErrors > 0) {
        video.errors += logErrors;
        if (video.firstError.isEmpty())
            video.firstError = firstLogError;
    }
    return video;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool colourNear(const QColor &actual, const QColor &expected, int tolerance)
{
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}
