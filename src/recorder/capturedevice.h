// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ffmpeg.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QRect>
#include <QVector>

// The screen-grabbing input of one recording: which FFmpeg input device to
// open, on what, and with which options. Building it is pure, so the option
// values can be checked without a screen.

// What the recording asks of the capture, straight from the recorder settings.
struct CaptureRequest
{
    int offsetX = 0;
    int offsetY = 0;
    int width = 640;
    int height = 480;
    int frameRate = 30;
    int speedFactor = 1;
    bool drawMouse = true;
    bool showRegion = false;
    // The desktop's screens, in the coordinates of the area; empty when not
    // known. A capture that learns only a screen's size finds it here.
    QVector<QRect> screens;
};

enum class CapturePlatform
{
    None,       // no screen-grabbing device is known here
    WindowsGdi, // gdigrab on the whole virtual desktop
    X11,        // x11grab on the X display named by DISPLAY
};

struct CaptureDevice
{
    QByteArray formatName; // FFmpeg input format; empty when there is none
    QByteArray url;        // what the input is opened on; empty when there is nothing
    // Option entries, in the order they go into the dictionary.
    QList<QPair<QByteArray, QByteArray>> options;
    AVRational captureRate{0, 1}; // pictures per second the recorder takes

    // Whether there is anything worth trying to open.
    bool isUsable() const { return !formatName.isEmpty() && !url.isEmpty() && captureRate.num > 0; }
};

// Pictures per second to grab: exactly frameRate / speedFactor, reduced
// (30 / 4 gives 15/2), so that "xN" plays N times faster than real time for
// every N. A speed factor below 1 gives 0/1, which nothing opens. Every
// source paces itself with this fraction.
AVRational captureRate(int frameRate, int speedFactor);

// The device description for a platform. x11Display is the display name
// (the value of DISPLAY) and matters only for X11; empty means none.
CaptureDevice describeCaptureDevice(const CaptureRequest &request, CapturePlatform platform,
                                    const QByteArray &x11Display);

// The device for the platform this program runs on.
CaptureDevice nativeCaptureDevice(const CaptureRequest &request);

// A fresh option dictionary holding the device's options in order.
ffmpeg::DictionaryPtr makeOptionDictionary(const CaptureDevice &device);
