// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ffmpeg.h"

#include <memory>
#include <vector>

// Turns captured pictures into the encoder's planar YUV 4:2:0 at the output
// size. Same size or smaller: libyuv where it knows the source format
// (several times faster than swscale, same BT.601 limited-range result),
// scaling down by averaging the source pixels each target pixel covers;
// otherwise swscale, bicubic, which also scales up.
//
// Target pictures come from a buffer pool, so one the encoder still holds for
// reordering is never overwritten, and after the first few pictures nothing
// is allocated.
class PictureConverter
{
public:
    enum class Method
    {
        Libyuv,
        Swscale
    };

    // Null when the conversion cannot be made (unknown format, bad sizes).
    // With allowLibyuv false swscale is always used. scalerThreads is the
    // number of swscale's slice threads; 0 picks it from the source size.
    static std::unique_ptr<PictureConverter> create(int sourceWidth, int sourceHeight,
                                                    AVPixelFormat sourceFormat, int targetWidth,
                                                    int targetHeight, bool allowLibyuv = true,
                                                    int scalerThreads = 0);

    Method method() const { return how; }
    int threads() const { return scalerThreads; }

    // Converts source (which must have the size and format given to create())
    // into target, which is unreferenced first and then refers to a pooled
    // buffer. Returns 0, or a negative AVERROR code.
    int convert(const AVFrame *source, AVFrame *target);

private:
    PictureConverter() = default;

    Method how = Method::Swscale;
    int sourceWidth = 0;
    int sourceHeight = 0;
    AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;
    int targetWidth = 0;
    int targetHeight = 0;
    int targetBufferSize = 0;
    int scalerThreads = 1;
    ffmpeg::ScalerPtr scaler;
    std::vector<uint8_t> scaled; // libyuv: the source scaled down, still packed
    ffmpeg::BufferPoolPtr pool;
};
