#pragma once

#include "ffmpeg.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <pipewire/pipewire.h>

// A PipeWire video stream read in PipeWire's own thread. The compositor sends
// a picture only when the screen changes; the newest one is held back from
// the compositor until a newer one comes, and the area is cut out of it only
// when the recorder takes a picture, so a slow capture rate copies little.
// The recorder may take the same picture as often as it likes.
class PipeWireStream
{
public:
    PipeWireStream();
    ~PipeWireStream(); // stops PipeWire's thread before anything is freed
    PipeWireStream(const PipeWireStream &) = delete;
    PipeWireStream &operator=(const PipeWireStream &) = delete;

    // Connects through the remote fd (taken over in any case) to the node and
    // starts the stream. area is the rectangle to keep, in the stream's
    // pixels. False with errorText() set when PipeWire cannot be reached.
    bool connect(int fd, quint32 node, const QRect &area);

    enum class FirstPicture
    {
        Arrived,
        AreaOutside, // the stream's pictures do not hold the area
        Failed,      // the stream failed or sent nothing in time (errorText())
        Stopped,
    };
    FirstPicture waitForFirstPicture(std::chrono::milliseconds deadline,
                                     const std::atomic<bool> &stopRequested);

    // Valid once a picture arrived.
    AVPixelFormat pixelFormat() const;
    QSize frameSize() const;

    // Refers picture to the area of the newest picture, in a buffer that is
    // never written to again. False with errorText() set when the stream
    // failed.
    bool takePicture(AVFrame *picture);

    QString errorText() const;

private:
    template <typename T, auto Free> struct Deleter
    {
        void operator()(T *object) const { Free(object); }
    };
    using BufferPtr =
        std::unique_ptr<AVBufferRef, ffmpeg::AddressDeleter<AVBufferRef, av_buffer_unref>>;

    // PipeWire's thread, with the thread loop's lock held.
    static void onParamChanged(void *self, uint32_t id, const spa_pod *param);
    static void onProcess(void *self);
    static void onStateChanged(void *self, pw_stream_state old, pw_stream_state state,
                               const char *error);
    static void onRemoveBuffer(void *self, pw_buffer *buffer);
    // With the mutex held.
    // The row stride of a buffer that holds the whole area; 0 when it
    // does not (empty, damaged, too small).
    int areaStride(const spa_data &data) const;
    void copyHeld();
    void fail(const QString &text);

    // PipeWire's globals, set up before and torn down after everything below.
    struct Library
    {
        Library() { pw_init(nullptr, nullptr); }
        ~Library() { pw_deinit(); }
    } library;

    QRect crop;
    int linesize = 0;
    ffmpeg::BufferPoolPtr pool; // the pictures handed out may outlive it

    // Guarded by mutex: written in PipeWire's thread, read in the recorder's.
    mutable std::mutex mutex;
    std::condition_variable pictureArrived;
    pw_buffer *held = nullptr; // the newest picture, not yet given back
    int heldStride = 0;        // its rows' stride, checked when it came
    bool heldCopied = false;   // latest is a copy of held
    BufferPtr latest;          // the area of the newest picture taken
    AVPixelFormat format = AV_PIX_FMT_NONE;
    QSize size;
    bool areaOutside = false;
    QString failure;

    // Freed in reverse order, after the thread has stopped.
    std::unique_ptr<pw_thread_loop, Deleter<pw_thread_loop, pw_thread_loop_destroy>> loop;
    std::unique_ptr<pw_context, Deleter<pw_context, pw_context_destroy>> context;
    std::unique_ptr<pw_core, Deleter<pw_core, pw_core_disconnect>> core;
    std::unique_ptr<pw_stream, Deleter<pw_stream, pw_stream_destroy>> stream;
    spa_hook listener{};
};
