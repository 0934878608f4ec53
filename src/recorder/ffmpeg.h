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

namespace ffmpeg {

// For the free functions that take the address of the pointer and clear it.
template <typename T, void (*Free)(T **)> struct AddressDeleter
{
    void operator()(T *object) const { Free(&object); }
};

template <typename T, void (*Free)(T *)> struct PointerDeleter
{
    void operator()(T *object) const { Free(object); }
};

using FramePtr = std::unique_ptr<AVFrame, AddressDeleter<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, AddressDeleter<AVPacket, av_packet_free>>;
using CodecContextPtr =
    std::unique_ptr<AVCodecContext, AddressDeleter<AVCodecContext, avcodec_free_context>>;
// An opened input; avformat_close_input also frees the context.
using InputContextPtr =
    std::unique_ptr<AVFormatContext, AddressDeleter<AVFormatContext, avformat_close_input>>;
using DictionaryPtr = std::unique_ptr<AVDictionary, AddressDeleter<AVDictionary, av_dict_free>>;
using BufferPoolPtr =
    std::unique_ptr<AVBufferPool, AddressDeleter<AVBufferPool, av_buffer_pool_uninit>>;
using ScalerPtr = std::unique_ptr<SwsContext, PointerDeleter<SwsContext, sws_freeContext>>;

// The text of an AVERROR code, for log lines about failed calls.
inline QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace ffmpeg
