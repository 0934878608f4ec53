// SPDX-License-Identifier: GPL-3.0-or-later
#include "capturedevice.h"

#include <QtGlobal>

#include <climits>

AVRational captureRate(int frameRate, int speedFactor)
{
    AVRational rate{0, 1};
    if (speedFactor >= 1 && frameRate >= 1)
        av_reduce(&rate.num, &rate.den, frameRate, speedFactor, INT_MAX);
    return rate;
}

static QByteArray number(int value)
{
    return QByteArray::number(value);
}

// The rate asked of a grab device. The recorder paces its reads itself on a
// steady clock, so that a stop never waits in the device and a late read is
// not followed by a burst; both devices wait in each read until their own
// next instant, and fall behind for good (no wait at all) at a rate this far
// above any capture rate.
static const QByteArray deviceRate = QByteArrayLiteral("1000");

static QByteArray digit(bool value)
{
    return value ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
}

CaptureDevice describeCaptureDevice(const CaptureRequest &request, CapturePlatform platform,
                                    const QByteArray &x11Display)
{
    CaptureDevice device;
    device.captureRate = captureRate(request.frameRate, request.speedFactor);
    const QByteArray size = number(request.width) + 'x' + number(request.height);
    switch (platform) {
    case CapturePlatform::None:
        break;
    case CapturePlatform::WindowsGdi:
        device.formatName = QByteArrayLiteral("gdigrab");
        device.url = QByteArrayLiteral("desktop");
        device.options = {{"video_size", size},
                          {"offset_x", number(request.offsetX)},
                          {"offset_y", number(request.offsetY)},
                          {"framerate", deviceRate},
                          {"draw_mouse", digit(request.drawMouse)},
                          {"show_region", digit(request.showRegion)}};
        break;
    case CapturePlatform::X11:
        // x11grab opens the display itself; its offsets are called grab_x/y.
        device.formatName = QByteArrayLiteral("x11grab");
        device.url = x11Display;
        device.options = {{"video_size", size},
                          {"grab_x", number(request.offsetX)},
                          {"grab_y", number(request.offsetY)},
                          {"framerate", deviceRate},
                          {"draw_mouse", digit(request.drawMouse)},
                          {"show_region", digit(request.showRegion)}};
        break;
    }
    return device;
}

CaptureDevice nativeCaptureDevice(const CaptureRequest &request)
{
#if defined(Q_OS_WIN)
    return describeCaptureDevice(request, CapturePlatform::WindowsGdi, QByteArray());
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return describeCaptureDevice(request, CapturePlatform::X11, qgetenv("DISPLAY"));
#else
    return describeCaptureDevice(request, CapturePlatform::None, QByteArray());
#endif
}

ffmpeg::DictionaryPtr makeOptionDictionary(const CaptureDevice &device)
{
    AVDictionary *options = nullptr;
    for (const auto &entry : device.options)
        av_dict_set(&options, entry.first.constData(), entry.second.constData(), 0);
    return ffmpeg::DictionaryPtr(options);
}
