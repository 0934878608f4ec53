// SPDX-License-Identifier: GPL-3.0-or-later
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
// The copy is made without the lock that PipeWire's thread needs for the
// next picture, so PipeWire never waits for it.
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

    // Waits until the stream's picture format is known (its first picture
    // may come much later: a still screen sends none).
    enum class Format
    {
        Negotiated,
        AreaOutside, // the stream's pictures do not hold the area
        Failed,      // errorText() says why
        Stopped,
    };
    Format waitForFormat(const std::atomic<bool> &stopRequested);

    // Valid once the format is known.
    QSize frameSize() const;

    // Refers picture to the area of the newest picture, in a buffer that is
    // never written to again, and says when that picture arrived. Returns 0,
    // AVERROR(EAGAIN) when no picture came since the last one taken, or
    // AVERROR(EIO) with errorText() set when the stream failed.
    int takePicture(AVFrame *picture, std::chrono::steady_clock::time_point &arrived);

    QString errorText() const;

private:
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
    void fail(const QString &text);
    // Any thread, the buffer kept from PipeWire meanwhile.
    ffmpeg::BufferPtr copyArea(const pw_buffer *buffer, int stride);

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
    using Clock = std::chrono::steady_clock;
    pw_buffer *held = nullptr; // the newest picture, not yet given back
    int heldStride = 0;        // its rows' stride, checked when it came
    quint64 heldNumber = 0;    // counts the pictures that came
    Clock::time_point heldArrived;
    bool heldCopied = false;       // latest is a copy of held
    pw_buffer *copying = nullptr;  // being copied, outside the lock
    pw_buffer *giveBack = nullptr; // replaced while copied: back at the next picture
    ffmpeg::BufferPtr latest;      // the area of the newest picture copied
    quint64 latestNumber = 0;
    Clock::time_point latestArrived;
    quint64 takenNumber = 0; // of the last picture taken
    AVPixelFormat format = AV_PIX_FMT_NONE;
    QSize size;
    bool areaOutside = false;
    QString failure;

    // Freed in reverse order, after the thread has stopped.
    ffmpeg::Owned<pw_thread_loop, pw_thread_loop_destroy> loop;
    ffmpeg::Owned<pw_context, pw_context_destroy> context;
    ffmpeg::Owned<pw_core, pw_core_disconnect> core;
    ffmpeg::Owned<pw_stream, pw_stream_destroy> stream;
    spa_hook listener{};
};
