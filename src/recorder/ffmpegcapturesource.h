#pragma once

#include "capturesource.h"

// The FFmpeg grab device of this platform (x11grab, gdigrab): the device
// paces the reads at the capture rate, and a decoder turns each of its
// packets into a picture (for raw video, a reference to the grabbed data).
class FfmpegCaptureSource : public CaptureSource
{
public:
    OpenResult open(const CaptureRequest &request, const std::atomic<bool> &stopRequested) override;
    int width() const override;
    int height() const override;
    AVPixelFormat pixelFormat() const override;
    int nextPicture(AVFrame *picture) override;
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
