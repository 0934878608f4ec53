#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QVector>

// Reads a recorded file back as a player would: demuxes it as an MPEG video
// elementary stream and decodes every picture with FFmpeg's own decoder.
struct DecodedVideo
{
    bool opened = false;
    int frames = 0;
    int width = 0;
    int height = 0;
    int frameRateNum = 0; // as declared by the stream
    int frameRateDen = 1;
    int errors = 0;     // failed calls and error lines of the decoder
    QString firstError; // the first of them, for the test's message
    // Mean colour of the middle half of each picture, in decoding order.
    QVector<QColor> colours;
};

DecodedVideo decodeVideoFile(const QString &path);

// The whole file's bytes, or empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// Whether two colours differ by at most tolerance in each channel.
bool colourNear(const QColor &actual, const QColor &expected, int tolerance = 24);
