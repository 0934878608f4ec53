#pragma once

#include "capturedevice.h"
#include "ffmpeg.h"

#include <QLoggingCategory>
#include <QString>

#include <atomic>
#include <memory>

// Where the frame loop's pictures come from. Each desktop route is one
// implementation: the FFmpeg grab device (x11grab, gdigrab) and the desktop
// portal's screen cast read through PipeWire. The loop never asks which one
// it has.
//
// One object serves every recording of a recorder: open() per recording,
// close() after it. What must outlive a recording (the portal's permission
// to share the same screen again) stays in the object, in memory only.
// Every method runs in the recorder thread.
class CaptureSource
{
public:
    enum class OpenResult
    {
        Opened,
        Failed,  // the input could not be opened: the input-failure path
        Refused, // the user or the desktop declined (sharing cancelled, no
                 // screen sharing, an area outside the shared screen)
    };

    virtual ~CaptureSource() = default;

    // Opens the source for one recording. May wait for the user (the
    // desktop's sharing dialog); gives up with Refused when stopRequested
    // becomes true meanwhile. errorText() says why when it is not Opened.
    virtual OpenResult open(const CaptureRequest &request,
                            const std::atomic<bool> &stopRequested) = 0;

    // Size and pixel format of the pictures nextPicture() gives; valid
    // after a successful open().
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual AVPixelFormat pixelFormat() const = 0;

    // Waits for the next capture instant (the source paces itself at the
    // capture rate) and refers picture to what is on screen then; the caller
    // unreferences it. Returns 0 with a picture, AVERROR(EAGAIN) when this
    // instant gave none, or another negative AVERROR code on failure, with
    // errorText() saying why.
    virtual int nextPicture(AVFrame *picture) = 0;

    // Frees everything of the current recording; harmless when nothing is open.
    virtual void close() = 0;

    // Why the last open() or nextPicture() failed, in words for the user.
    virtual QString errorText() const = 0;

    // Milliseconds nextPicture() spent since open() turning what it grabbed
    // into pictures (decoding, copying) rather than waiting for the screen;
    // only for the engine's stage timings.
    virtual double preparationMilliseconds() const { return 0; }
};

// The engine's log category ("zintora.recorder"), for the sources too.
Q_DECLARE_LOGGING_CATEGORY(lcRecorder)

// The source for the desktop this program runs on: the portal's screen cast
// in a Wayland session where this build has it, the FFmpeg grab device
// otherwise.
std::unique_ptr<CaptureSource> createCaptureSource();
