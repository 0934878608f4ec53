// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capturesource.h"

// The FFmpeg grab device of this platform (x11grab, gdigrab): each read
// grabs the screen at once (the device is asked for a rate far above any
// capture rate, so its own wait never holds a read back), and a decoder turns
// each of its packets into a picture (for raw video, a reference to the
// grabbed data).
class FfmpegCaptureSource : public CaptureSource
{
public:
    OpenResult open(const CaptureRequest &request, const std::atomic<bool> &stopRequested) override;
    int nextPicture(AVFrame *picture, std::chrono::steady_clock::time_point &taken) override;
    void close() override;
    QString errorText() const override;
    double preparationMilliseconds() const override;

private:
    OpenResult fail(const char *logLine, const QString &reason);

    QString error;
    double decodeMs = 0;
    int videoStreamIndex = -1;
    // Destroyed in reverse order: what the device lent goes back before it closes.
    ffmpeg::InputContextPtr input;
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::PacketPtr packet;
};
