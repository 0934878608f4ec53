// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QRect>
#include <QVector>

// A recorded file read back as a player reads it: FFmpeg demuxes it as an
// MPEG video elementary stream and decodes every picture.
struct DecodedVideo
{
    int frames() const { return colours.size(); }
    QSize size;
    double frameRate = 0; // as the stream declares it
    // Failed opens, reads and decoder calls, and damaged pictures.
    int errors = 0;
    qint64 fileSize = 0;
    bool endsWithEndCode = false; // the last 4 bytes are 00 00 01 B7
    QVector<QColor> colours;      // of each picture at the sampled point, in order
};

// at is the point to sample, relative to the picture's size.
DecodedVideo decodeVideoFile(const QString &path, QPointF at = QPointF(0.5, 0.5));
