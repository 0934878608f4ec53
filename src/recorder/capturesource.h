// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capturedevice.h"
#include "ffmpeg.h"

#include <QLoggingCategory>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>

// Where the frame loop's pictures come from. Each desktop route is one
// implementation: the FFmpeg grab device (x11grab, gdigrab) and the desktop
// portal's screen cast read through PipeWire. The loop never asks which one
// it has.
//
// One object serves every recording of a recorder: open() per recording,
// close() after it. What must outlive a recording (the portal's permission
// to share the same screen again) stays in the object, in memory only.
// Every method runs in the recorder thread, except nextPicture() and
// errorText() after it, which run in the recorder's capture thread between
// open() and close().
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

    // Refers picture to what is on screen now (the caller paces the calls)
    // and sets taken to when it was on screen (steady clock); the caller
    // unreferences it. Returns 0 with a picture, AVERROR(EAGAIN) when there
    // is nothing newer than the last picture (taken: now), or another
    // negative AVERROR code on failure, with errorText() saying why. Never
    // waits long: a source that has no picture yet says EAGAIN.
    virtual int nextPicture(AVFrame *picture, std::chrono::steady_clock::time_point &taken) = 0;

    // False for a source that replays chosen pictures (a test's): each must
    // reach the file, so the recorder waits for room instead of letting a
    // newer picture take the place of one not yet encoded.
    virtual bool isLive() const { return true; }

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
