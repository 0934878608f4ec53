// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictureconverter.h"

#include <QThread>

#include <algorithm>

#ifdef ZINTORA_HAVE_LIBYUV
#include <libyuv/convert.h>
#include <libyuv/scale_argb.h>
#endif

// Plane alignment of the target pictures; enough for every SIMD path of the
// encoder and of libyuv.
static constexpr int targetAlignment = 64;

#ifdef ZINTORA_HAVE_LIBYUV
using LibyuvToI420 = int (*)(const uint8_t *, int, uint8_t *, int, uint8_t *, int, uint8_t *, int,
                             int, int);

// libyuv names packed formats by their 32-bit word, little-endian: its
// "ARGB" is B, G, R, A in memory, FFmpeg's BGRA.
static LibyuvToI420 libyuvConversion(AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_BGR0:
    case AV_PIX_FMT_BGRA:
        return libyuv::ARGBToI420;
    case AV_PIX_FMT_RGB0:
    case AV_PIX_FMT_RGBA:
        return libyuv::ABGRToI420;
    default:
        return nullptr;
    }
}
#endif

std::unique_ptr<PictureConverter> PictureConverter::create(int sourceWidth, int sourceHeight,
                                                           AVPixelFormat sourceFormat,
                                                           int targetWidth, int targetHeight,
                                                           bool allowLibyuv, int scalerThreads)
{
    if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0)
        return nullptr;
    std::unique_ptr<PictureConverter> converter(new PictureConverter);
    converter->sourceWidth = sourceWidth;
    converter->sourceHeight = sourceHeight;
    converter->sourceFormat = sourceFormat;
    converter->targetWidth = targetWidth;
    converter->targetHeight = targetHeight;

#ifdef ZINTORA_HAVE_LIBYUV
    if (allowLibyuv && targetWidth <= sourceWidth && targetHeight <= sourceHeight &&
        libyuvConversion(sourceFormat)) {
        converter->how = Method::Libyuv;
        if (targetWidth != sourceWidth || targetHeight != sourceHeight)
            converter->scaled.resize(size_t(targetWidth) * targetHeight * 4);
    }
#else
    Q_UNUSED(allowLibyuv)
#endif
    if (converter->how == Method::Swscale) {
        if (scalerThreads <= 0)
            scalerThreads = qint64(sourceWidth) * sourceHeight > 1920 * 1088
                                ? std::clamp(QThread::idealThreadCount(), 1, 4)
                                : 1;
        converter->scalerThreads = scalerThreads;
        converter->scaler.reset(sws_alloc_context());
        SwsContext *scaler = converter->scaler.get();
        if (!scaler || av_opt_set_int(scaler, "srcw", sourceWidth, 0) < 0 ||
            av_opt_set_int(scaler, "srch", sourceHeight, 0) < 0 ||
            av_opt_set_int(scaler, "src_format", sourceFormat, 0) < 0 ||
            av_opt_set_int(scaler, "dstw", targetWidth, 0) < 0 ||
            av_opt_set_int(scaler, "dsth", targetHeight, 0) < 0 ||
            av_opt_set_int(scaler, "dst_format", AV_PIX_FMT_YUV420P, 0) < 0 ||
            av_opt_set_int(scaler, "sws_flags", SWS_BICUBIC, 0) < 0 ||
            av_opt_set_int(scaler, "threads", scalerThreads, 0) < 0 ||
            sws_init_context(scaler, nullptr, nullptr) < 0)
            return nullptr;
    }

    converter->targetBufferSize =
        av_image_get_buffer_size(AV_PIX_FMT_YUV420P, targetWidth, targetHeight, targetAlignment);
    if (converter->targetBufferSize < 0)
        return nullptr;
    converter->pool.reset(av_buffer_pool_init(converter->targetBufferSize, nullptr));
    if (!converter->pool)
        return nullptr;
    return converter;
}

int PictureConverter::convert(const AVFrame *source, AVFrame *target)
{
    if (source->width != sourceWidth || source->height != sourceHeight ||
        source->format != sourceFormat)
        return AVERROR(EINVAL);

    av_frame_unref(target);
    target->buf[0] = av_buffer_pool_get(pool.get());
    if (!target->buf[0])
        return AVERROR(ENOMEM);
    int result =
        av_image_fill_arrays(target->data, target->linesize, target->buf[0]->data,
                             AV_PIX_FMT_YUV420P, targetWidth, targetHeight, targetAlignment);
    if (result < 0)
        return result;
    target->format = AV_PIX_FMT_YUV420P;
    target->width = targetWidth;
    target->height = targetHeight;

#ifdef ZINTORA_HAVE_LIBYUV
    if (how == Method::Libyuv) {
        const uint8_t *packed = source->data[0];
        int stride = source->linesize[0];
        if (!scaled.empty()) {
            // Scaling the packed pixels works for every byte order it knows.
            if (libyuv::ARGBScale(packed, stride, sourceWidth, sourceHeight, scaled.data(),
                                  targetWidth * 4, targetWidth, targetHeight,
                                  libyuv::kFilterBox) != 0)
                return AVERROR(EINVAL);
            packed = scaled.data();
            stride = targetWidth * 4;
        }
        result = libyuvConversion(sourceFormat)(
            packed, stride, target->data[0], target->linesize[0], target->data[1],
            target->linesize[1], target->data[2], target->linesize[2], targetWidth, targetHeight);
        return result == 0 ? 0 : AVERROR(EINVAL);
    }
#endif
    // The frame call is the one that runs swscale's slice threads.
    result = sws_scale_frame(scaler.get(), target, source);
    return result < 0 ? result : 0;
}
