// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ffmpeg.h"

#include <QString>

// The MPEG-2 encoder of every recording, opened in one place so that the
// benchmark measures exactly what the recorder runs.

// The encoder's own options, as an FFmpeg option string ("key=value:...");
// the stream itself (MPEG-2, 30 pictures a second, groups of 10, one
// B-picture) is fixed by openVideoEncoder().
extern const char *const videoEncoderOptions;

// Opens an MPEG-2 encoder for width x height pictures at frameRate pictures
// a second and bitRate bits a second, with the recorder's slice threads.
// Null with error saying why (FFmpeg's own words) when it cannot be opened.
// The benchmark passes other options to compare them with the recorder's.
ffmpeg::CodecContextPtr openVideoEncoder(int width, int height, int frameRate, int bitRate,
                                         QString &error, const char *options = videoEncoderOptions);
