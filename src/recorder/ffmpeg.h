// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one place the engine includes FFmpeg, and the owners of its objects.
// Every FFmpeg object has exactly one owner: a unique_ptr whose deleter is the
// matching FFmpeg free function, so an early return frees what was made.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QString>

#include <memory>
#include <type_traits>

namespace ffmpeg {

// Frees an object with its FFmpeg (or other C library's) free function,
// whether that takes the object or the address of the pointer to clear.
template <auto Free> struct Deleter
{
    template <typename T> void operator()(T *object) const
    {
        if constexpr (std::is_invocable_v<decltype(Free), T **>)
            Free(&object);
        else
            Free(object);
    }
};
template <typename T, auto Free> using Owned = std::unique_ptr<T, Deleter<Free>>;

using FramePtr = Owned<AVFrame, av_frame_free>;
using PacketPtr = Owned<AVPacket, av_packet_free>;
using CodecContextPtr = Owned<AVCodecContext, avcodec_free_context>;
// An opened input; avformat_close_input also frees the context.
using InputContextPtr = Owned<AVFormatContext, avformat_close_input>;
using DictionaryPtr = Owned<AVDictionary, av_dict_free>;
using BufferPtr = Owned<AVBufferRef, av_buffer_unref>;
using BufferPoolPtr = Owned<AVBufferPool, av_buffer_pool_uninit>;
using ScalerPtr = Owned<SwsContext, sws_freeContext>;

// The text of an AVERROR code, for log lines about failed calls.
inline QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace ffmpeg
