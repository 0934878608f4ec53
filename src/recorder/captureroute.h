// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How this run of the program records the desktop. Decided in one place,
// from the session and the build; the capture source and the window's hints
// and outlines all follow it.

// What the decision rests on.
struct CaptureSession
{
    // A Wayland compositor runs the desktop; X11 grabs see only XWayland's
    // windows there, the rest black.
    bool wayland = false;
    // The program's own windows are Wayland clients (not X11 ones under
    // XWayland): the compositor places them, never the program.
    bool waylandWindows = false;
    // This build can record through the desktop portal's screen cast.
    bool screenCastBuilt = false;
};

struct CaptureRoute
{
    enum Kind
    {
        GrabDevice, // FFmpeg's x11grab or gdigrab
        ScreenCast, // the desktop portal's screen cast, read through PipeWire
        None,       // this build cannot record this desktop
    };
    Kind kind = GrabDevice;
    // The program can put a window at the area (the preview, the selection
    // window's own position).
    bool placesWindows = true;
    // With None: why, and what to install or how to run instead.
    QString refusal;

    // The area's outline is drawn on screen while recording (the grab
    // device's own); the screen cast draws none.
    bool outlinesArea() const { return kind == GrabDevice; }
};

// This run's session: the environment, the toolkit's platform (once the
// application object exists) and the build.
CaptureSession currentCaptureSession();

CaptureRoute captureRoute(const CaptureSession &session);
