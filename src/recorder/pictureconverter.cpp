#include "pictureconverter.h"

#ifdef ZINTORA_HAVE_LIBYUV
#include <libyuv/convert.h>
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
                                                           bool allowLibyuv)
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
    if (allowLibyuv && sourceWidth == targetWidth && sourceHeight == targetHeight &&
        libyuvConversion(sourceFormat))
        converter->how = Method::Libyuv;
#else
    Q_UNUSED(allowLibyuv)
#endif
    if (converter->how == Method::Swscale) {
        converter->scaler.reset(sws_getContext(sourceWidth, sourceHeight, sourceFormat, targetWidth,
                                               targetHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                               nullptr, nullptr, nullptr));
        if (!converter->scaler)
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
        result = libyuvConversion(sourceFormat)(
            source->data[0], source->linesize[0], target->data[0], target->linesize[0],
            target->data[1], target->linesize[1], target->data[2], target->linesize[2], sourceWidth,
            sourceHeight);
        return result == 0 ? 0 : AVERROR(EINVAL);
    }
#endif
    result = sws_scale(scaler.get(), source->data, source->linesize, 0, sourceHeight, target->data,
                       target->linesize);
    return result > 0 ? 0 : AVERROR(EINVAL);
}
