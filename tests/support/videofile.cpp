// SPDX-License-Identifier: GPL-3.0-or-later
#include "videofile.h"

#include "ffmpeg.h"

#include <QFile>

// BT.601 limited range back to RGB.
static QColor colourAt(const AVFrame *frame, QPointF at)
{
    const int x = qBound(0, int(at.x() * frame->width), frame->width - 1);
    const int y = qBound(0, int(at.y() * frame->height), frame->height - 1);
    const double luma = 1.164 * (frame->data[0][y * frame->linesize[0] + x] - 16);
    const int u = frame->data[1][y / 2 * frame->linesize[1] + x / 2] - 128;
    const int v = frame->data[2][y / 2 * frame->linesize[2] + x / 2] - 128;
    auto clamp = [](double value) { return qBound(0, qRound(value), 255); };
    return QColor(clamp(luma + 1.596 * v), clamp(luma - 0.392 * u - 0.813 * v),
                  clamp(luma + 2.017 * u));
}

DecodedVideo decodeVideoFile(const QString &path, QPointF at)
{
    DecodedVideo video;
    QFile file(path);
    video.fileSize = file.size();
    video.endsWithEndCode = file.open(QIODevice::ReadOnly) &&
                            file.readAll().endsWith(QByteArray("\x00\x00\x01\xB7", 4));
    AVFormatContext *opened = nullptr;
    avformat_open_input(&opened, QFile::encodeName(path).constData(),
                        av_find_input_format("mpegvideo"), nullptr);
    ffmpeg::InputContextPtr input(opened);
    ffmpeg::CodecContextPtr decoder(
        avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO)));
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    // Damage is an error instead of being concealed. (AV_EF_BITSTREAM would
    // also flag the zero stuffing at the end of a slice that the syntax allows.)
    decoder->err_recognition = AV_EF_EXPLODE;
    if ((video.errors = !input || avcodec_open2(decoder.get(), nullptr, nullptr) != 0))
        return video;
    auto receive = [&] {
        int result;
        while ((result = avcodec_receive_frame(decoder.get(), frame.get())) >= 0) {
            video.errors += (frame->flags & AV_FRAME_FLAG_CORRUPT) ? 1 : 0;
            video.size = QSize(frame->width, frame->height);
            video.colours.append(colourAt(frame.get(), at));
        }
        video.errors += result != AVERROR(EAGAIN) && result != AVERROR_EOF;
    };
    int result;
    while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
        video.errors += avcodec_send_packet(decoder.get(), packet.get()) < 0;
        av_packet_unref(packet.get());
        receive();
    }
    video.errors += result != AVERROR_EOF;
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    video.frameRate = av_q2d(decoder->framerate);
    return video;
}
