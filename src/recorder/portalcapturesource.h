// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capturesource.h"

#include <memory>

// The capture of Wayland desktops: the desktop portal's screen cast, read
// through PipeWire. The desktop asks the user which screen to share once per
// run of the program; the permission is kept in memory only.
std::unique_ptr<CaptureSource> createPortalCaptureSource();
