// SPDX-License-Identifier: GPL-3.0-or-later
#include "pipewirestream.h"

#include <QObject>

#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

#include <cstring>

#include <unistd.h>

namespace {

AVPixelFormat toPixelFormat(uint32_t format)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
        return AV_PIX_FMT_BGR0;
    case SPA_VIDEO_FORMAT_BGRA:
        return AV_PIX_FMT_BGRA;
    case SPA_VIDEO_FORMAT_RGBx:
        return AV_PIX_FMT_RGB0;
    case SPA_VIDEO_FORMAT_RGBA:
        return AV_PIX_FMT_RGBA;
    default:
        return AV_PIX_FMT_NONE;
    }
}

} // namespace

PipeWireStream::PipeWireStream() = default;

PipeWireStream::~PipeWireStream()
{
    if (loop)
        pw_thread_loop_stop(loop.get());
}

bool PipeWireStream::connect(int fd, quint32 node, const QRect &area)
{
    crop = area;
    linesize = FFALIGN(area.width() * 4, 64);
    pool.reset(av_buffer_pool_init(size_t(linesize) * size_t(area.height()), nullptr));
    loop.reset(pw_thread_loop_new("zintora-capture", nullptr));
    if (loop)
        context.reset(pw_context_new(pw_thread_loop_get_loop(loop.get()), nullptr, 0));
    if (!pool || !context || pw_thread_loop_start(loop.get()) < 0) {
        ::close(fd);
        failure = QObject::tr("Could not set up PipeWire.");
        return false;
    }
    pw_thread_loop_lock(loop.get());
    core.reset(pw_context_connect_fd(context.get(), fd, nullptr, 0));
    int result = core ? 0 : -errno;
    if (core) {
        stream.reset(
            pw_stream_new(core.get(), "Zintora",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    }
    if (stream) {
        static const pw_stream_events events = [] {
            pw_stream_events callbacks{};
            callbacks.version = PW_VERSION_STREAM_EVENTS;
            callbacks.param_changed = onParamChanged;
            callbacks.process = onProcess;
            callbacks.state_changed = onStateChanged;
            callbacks.remove_buffer = onRemoveBuffer;
            return callbacks;
        }();
        pw_stream_add_listener(stream.get(), &listener, &events, this);
        // The raw formats the converter takes, any size and rate.
        uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
        spa_rectangle minSize = SPA_RECTANGLE(1, 1);
        spa_rectangle maxSize = SPA_RECTANGLE(16384, 16384);
        spa_fraction defaultRate = SPA_FRACTION(0, 1);
        spa_fraction maxRate = SPA_FRACTION(1000, 1);
        const spa_pod *format = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                   SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                   SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate,
            SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &defaultRate, &maxRate)));
        // Never linked to another source when the shared screen goes: the
        // recording ends instead.
        result = pw_stream_connect(stream.get(), PW_DIRECTION_INPUT, node,
                                   pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT |
                                                   PW_STREAM_FLAG_MAP_BUFFERS |
                                                   PW_STREAM_FLAG_DONT_RECONNECT),
                                   &format, 1);
    } else if (core) {
        result = -ENOMEM;
    }
    pw_thread_loop_unlock(loop.get());
    if (result < 0)
        failure = QObject::tr("Could not connect to PipeWire, which carries the shared screen "
                              "(%1). Make sure PipeWire runs in this session (the pipewire "
                              "and wireplumber packages), then press Start again.")
                      .arg(QString::fromLocal8Bit(spa_strerror(result)));
    return result >= 0;
}

PipeWireStream::Format PipeWireStream::waitForFormat(const std::atomic<bool> &stopRequested)
{
    std::unique_lock<std::mutex> lock(mutex);
    // Wakes up now and then to see a stop.
    while (format == AV_PIX_FMT_NONE && !areaOutside && failure.isEmpty() && !stopRequested)
        pictureArrived.wait_for(lock, std::chrono::milliseconds(50));
    if (areaOutside)
        return Format::AreaOutside;
    if (!failure.isEmpty())
        return Format::Failed;
    return stopRequested ? Format::Stopped : Format::Negotiated;
}

QSize PipeWireStream::frameSize() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return size;
}

int PipeWireStream::takePicture(AVFrame *picture, std::chrono::steady_clock::time_point &arrived)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (held && !heldCopied) {
        // onProcess() and onRemoveBuffer() leave the buffer alone meanwhile.
        pw_buffer *const source = held;
        const int stride = heldStride;
        const quint64 number = heldNumber;
        const Clock::time_point when = heldArrived;
        copying = source;
        lock.unlock();
        ffmpeg::BufferPtr copy = copyArea(source, stride);
        lock.lock();
        copying = nullptr;
        if (copy) { // otherwise the previous picture stays
            latest = std::move(copy);
            latestNumber = number;
            latestArrived = when;
            heldCopied = held == source;
        }
        pictureArrived.notify_all();
    }
    if (!failure.isEmpty())
        return AVERROR(EIO);
    if (!latest || latestNumber == takenNumber)
        return AVERROR(EAGAIN);
    picture->buf[0] = av_buffer_ref(latest.get());
    if (!picture->buf[0]) {
        failure = QObject::tr("Out of memory.");
        return AVERROR(EIO);
    }
    picture->data[0] = picture->buf[0]->data;
    picture->linesize[0] = linesize;
    picture->width = crop.width();
    picture->height = crop.height();
    picture->format = format;
    takenNumber = latestNumber;
    arrived = latestArrived;
    return 0;
}

QString PipeWireStream::errorText() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return failure;
}

void PipeWireStream::onParamChanged(void *self, uint32_t id, const spa_pod *param)
{
    auto *that = static_cast<PipeWireStream *>(self);
    spa_video_info_raw info{};
    uint32_t mediaType = 0;
    uint32_t mediaSubtype = 0;
    if (!param || id != SPA_PARAM_Format ||
        spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
        spa_format_video_raw_parse(param, &info) < 0)
        return;
    const AVPixelFormat negotiated = toPixelFormat(info.format);
    const QSize frame(int(info.size.width), int(info.size.height));
    {
        std::lock_guard<std::mutex> lock(that->mutex);
        if (negotiated == AV_PIX_FMT_NONE)
            that->failure = QObject::tr("The shared screen's pixel format is not supported.");
        else if (that->format != AV_PIX_FMT_NONE && that->format != negotiated)
            that->failure = QObject::tr("The shared screen changed its pixel format.");
        that->format = negotiated;
        that->size = frame;
        // The stream's pixels are the monitor's device pixels (its size
        // times its scale) from the monitor's top-left corner on.
        that->areaOutside = !QRect(QPoint(), frame).contains(that->crop);
        // Mid-recording (a mode change) the area is gone: end the recording
        // rather than repeat its last picture.
        if (that->areaOutside && (that->held || that->latest) && that->failure.isEmpty())
            that->failure = QObject::tr("The shared screen changed to %1x%2 and no longer "
                                        "holds the recording area.")
                                .arg(frame.width())
                                .arg(frame.height());
    }
    that->pictureArrived.notify_all();
    // Shared memory only, no DMA-BUF: the converter works on the CPU, so a
    // GPU buffer would have to be read back anyway, and the compositors
    // without a GPU offer shared memory alone.
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod *buffers = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
        // Enough that the compositor always has one to fill while we copy.
        SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks,
        SPA_POD_Int(1), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(that->stream.get(), &buffers, 1);
}

void PipeWireStream::onProcess(void *self)
{
    auto *that = static_cast<PipeWireStream *>(self);
    // Only the newest of the waiting pictures matters.
    pw_buffer *newest = nullptr;
    while (pw_buffer *next = pw_stream_dequeue_buffer(that->stream.get())) {
        if (newest)
            pw_stream_queue_buffer(that->stream.get(), newest);
        newest = next;
    }
    if (!newest)
        return;
    pw_buffer *done = newest; // an empty or damaged buffer goes straight back
    pw_buffer *copied = nullptr;
    {
        std::lock_guard<std::mutex> lock(that->mutex);
        if (that->giveBack != that->copying)
            std::swap(copied, that->giveBack);
        const int stride =
            newest->buffer->n_datas > 0 ? that->areaStride(newest->buffer->datas[0]) : 0;
        if (stride > 0) {
            done = that->held;
            that->held = newest;
            that->heldStride = stride;
            that->heldCopied = false;
            ++that->heldNumber;
            that->heldArrived = Clock::now();
            if (done && done == that->copying) {
                that->giveBack = done;
                done = nullptr;
            }
        }
    }
    for (pw_buffer *back : {done, copied}) {
        if (back)
            pw_stream_queue_buffer(that->stream.get(), back);
    }
    that->pictureArrived.notify_all();
}

int PipeWireStream::areaStride(const spa_data &data) const
{
    if (areaOutside || format == AV_PIX_FMT_NONE || !data.data || !data.chunk ||
        data.chunk->size == 0 || (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
        return 0;
    const int stride = data.chunk->stride > 0 ? data.chunk->stride : size.width() * 4;
    const size_t end = size_t(data.chunk->offset) + size_t(stride) * size_t(crop.bottom()) +
                       size_t(crop.right() + 1) * 4;
    return end <= data.maxsize ? stride : 0;
}

ffmpeg::BufferPtr PipeWireStream::copyArea(const pw_buffer *buffer, int stride)
{
    const spa_data &data = buffer->buffer->datas[0];
    ffmpeg::BufferPtr copy(av_buffer_pool_get(pool.get()));
    if (!copy)
        return nullptr;
    const auto *source = static_cast<const uint8_t *>(data.data) + data.chunk->offset +
                         size_t(stride) * size_t(crop.y()) + size_t(crop.x()) * 4;
    for (int row = 0; row < crop.height(); ++row)
        std::memcpy(copy->data + size_t(row) * size_t(linesize),
                    source + size_t(row) * size_t(stride), size_t(crop.width()) * 4);
    return copy;
}

void PipeWireStream::onRemoveBuffer(void *self, pw_buffer *buffer)
{
    // The stream takes its buffers back when it changes them: wait for a
    // copy being made of it, and keep the picture of the one held.
    auto *that = static_cast<PipeWireStream *>(self);
    std::unique_lock<std::mutex> lock(that->mutex);
    that->pictureArrived.wait(lock, [&] { return that->copying != buffer; });
    if (that->giveBack == buffer)
        that->giveBack = nullptr;
    if (buffer != that->held)
        return;
    if (!that->heldCopied) {
        if (ffmpeg::BufferPtr copy = that->copyArea(buffer, that->heldStride)) {
            that->latest = std::move(copy);
            that->latestNumber = that->heldNumber;
            that->latestArrived = that->heldArrived;
        }
    }
    that->held = nullptr;
}

void PipeWireStream::onStateChanged(void *self, pw_stream_state old, pw_stream_state state,
                                    const char *error)
{
    auto *that = static_cast<PipeWireStream *>(self);
    if (state == PW_STREAM_STATE_ERROR ||
        (state == PW_STREAM_STATE_UNCONNECTED && old != PW_STREAM_STATE_UNCONNECTED))
        that->fail(QObject::tr("The screen sharing ended (%1).")
                       .arg(error ? QString::fromUtf8(error) : QObject::tr("the stream closed")));
}

void PipeWireStream::fail(const QString &text)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (failure.isEmpty())
            failure = text;
    }
    pictureArrived.notify_all();
}
