// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>

// Why a recording thread ended on its own. Carried across threads by
// ScreenRecorder::recorderCrashed, so the window registers it as a meta-type.
enum RecorderCrashCode : int
{
    InputError = 0,  // the capture input or its decoder could not be opened
    OutputError = 1, // the encoder or the output file could not be opened
    FrameError = 2,  // reading, decoding, encoding or writing a picture failed
};
Q_DECLARE_METATYPE(RecorderCrashCode)
