// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ffmpeg.h"

#include <QByteArray>

#include <deque>
#include <functional>
#include <set>

// The pictures of the file, one per capture instant: each new picture goes
// through the encoder, and an instant with nothing new repeats the picture
// before it. The MPEG-2 encoder makes a repeated picture nearly as costly as
// a new one (it refines the picture it already sent), so a repeat is written
// by this class as a picture of its own in which every macroblock is
// skipped: a few bytes a row, no encoding. Such a picture copies the
// reference picture before it exactly, so the new picture it repeats is
// given to the encoder as a reference (P) picture, and the repeat goes into
// the stream after it and after every picture shown before it. The encoder
// holds one picture back, so on a still screen a real repeat is encoded now
// and then; it lets the skipped pictures out and keeps the groups of
// pictures short enough to seek in.
//
// The encoder thread owns it. Each call returns 0, writeFailed when the
// writer failed, or the encoder's negative AVERROR code.
class VideoStream
{
public:
    // Appends one whole picture to the file: 0, or -1 when it failed.
    using Writer = std::function<int(const uint8_t *data, int size)>;
    static constexpr int writeFailed = 1;

    // The encoder must be open. A still screen gets a real repeat every
    // encodeRepeatEvery instants.
    VideoStream(AVCodecContext *encoder, Writer writer, int encodeRepeatEvery);

    // A new picture for instant (after every instant before); the instants
    // between repeat the picture before.
    int addPicture(ffmpeg::FramePtr picture, qint64 instant);
    // The instants up to this one repeat the last picture.
    int repeatUntil(qint64 instant);
    // Writes everything: the encoder's last pictures and the repeats owed.
    int finish();

    qint64 newPictures() const { return encodedNew; }
    qint64 repeatedPictures() const { return repeatsWritten + encodedRepeats; }
    // Milliseconds spent in the encoder so far (steady clock).
    double encodeMilliseconds() const { return encodeMs; }

private:
    int sendHeld(bool reference);
    int encode(AVFrame *picture, bool reference);
    int writePacket(AVPacket *packet);
    int writeOwedRepeats();
    int write(uint8_t *data, int size, qint64 shownAt);

    AVCodecContext *encoder;
    Writer writer;
    int encodeRepeatEvery;
    ffmpeg::PacketPtr packet{av_packet_alloc()};
    QByteArray repeat; // the all-skipped picture

    ffmpeg::FramePtr held; // the newest picture, not yet in the encoder
    ffmpeg::FramePtr lastSent;
    qint64 lastCovered = -1; // the last instant with a picture (held, sent or owed)
    qint64 sinceEncoded = 0; // instants repeated since the last picture sent
    qint64 nextPts = 0;      // the encoder's own picture numbers

    struct Owed
    {
        qint64 after; // the encoder picture they repeat
        qint64 count;
    };
    std::deque<Owed> owed;
    qint64 writtenBelow = 0; // every encoder picture before it is in the file
    std::set<qint64> writtenAhead;

    qint64 lastShown = -1; // place in the file of the last picture written
    qint64 groupStart = 0; // of the current group of pictures
    qint64 encodedNew = 0;
    qint64 encodedRepeats = 0;
    qint64 repeatsWritten = 0;
    double encodeMs = 0;
};
