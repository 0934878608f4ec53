// SPDX-License-Identifier: GPL-3.0-or-later
#include "videoencoder.h"

#include <QThread>

#include <algorithm>

// Tuned on screen content (bench/encoders.sh): a B-picture's bidirectional
// macroblocks take the forward and backward vectors as found, without a
// second search of the pair, and every macroblock also tries the zero
// vector, which is what most of a screen holds. About a fifth cheaper at
// 1080p and a seventh at 4K than FFmpeg's defaults, at the same PSNR and a
// lower bit rate.
const char *const videoEncoderOptions = "bidir_refine=0:mpv_flags=+mv0";

// Slice threads of the MPEG-2 encoder. Every macroblock row starts a slice
// anyway, so threads change nothing in the stream. Above 1080p one thread
// cannot encode a picture within the 33 ms of a capture interval, so the
// encoder gets up to 4. Up to 1080p one thread keeps up with CPU to spare,
// and stays cheaper: with more than one slice context FFmpeg (5.1) sizes
// and zero-fills its packet buffer for the worst case, about 26 MB at
// 1080p and 100 MB at 4K, and the threads add synchronisation work.
static int encoderThreadCount(int width, int height)
{
    if (qint64(width) * height <= 1920 * 1088)
        return 1;
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

ffmpeg::CodecContextPtr openVideoEncoder(int width, int height, int frameRate, int bitRate,
                                         QString &error, const char *options)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!codec) {
        error = QStringLiteral("this FFmpeg has no MPEG-2 encoder");
        return nullptr;
    }
    ffmpeg::CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) {
        error = ffmpeg::errorText(AVERROR(ENOMEM));
        return nullptr;
    }
    encoder->bit_rate = bitRate;
    encoder->width = width;
    encoder->height = height;
    encoder->time_base = AVRational{1, frameRate};
    encoder->framerate = AVRational{frameRate, 1};
    encoder->gop_size = 10;
    encoder->max_b_frames = 1;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->thread_type = FF_THREAD_SLICE;
    encoder->thread_count = encoderThreadCount(width, height);

    AVDictionary *list = nullptr;
    int result = av_dict_parse_string(&list, options, "=", ":", 0);
    ffmpeg::DictionaryPtr unused(list);
    if (result >= 0) {
        list = unused.release();
        result = avcodec_open2(encoder.get(), codec, &list);
        unused.reset(list);
    }
    if (result < 0) {
        error = ffmpeg::errorText(result);
        return nullptr;
    }
    // An option this FFmpeg does not know is a mistake, not a preference.
    if (const AVDictionaryEntry *unknown =
            av_dict_get(unused.get(), "", nullptr, AV_DICT_IGNORE_SUFFIX)) {
        error = QStringLiteral("unknown encoder option %1").arg(QString::fromUtf8(unknown->key));
        return nullptr;
    }
    return encoder;
}
