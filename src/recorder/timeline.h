// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ffmpeg.h"

#include <chrono>

// Which capture instant each picture belongs to. Instant k is k capture
// periods after the first picture, paused time left out; the file holds one
// picture per instant, so the video lasts exactly as long as the recording
// at the speed it says. A picture goes to the instant nearest to when it was
// taken, or, when that one already has a picture, to the next one if that is
// less than a period away; a picture older than that is not used.
class Timeline
{
public:
    using Clock = std::chrono::steady_clock;

    // period: seconds between two instants.
    explicit Timeline(AVRational period) : period(period) {}

    // The instant of a picture taken at taken, or -1 when it is not used.
    qint64 place(Clock::time_point taken);
    // The instant that "nothing new at time now" covers (to be repeated),
    // or -1 when that adds no instant.
    qint64 cover(Clock::time_point now);
    // After a pause that ended at resumed: the next picture follows the last
    // one directly, and counts as taken no earlier than resumed (a screen
    // cast's newest picture may have arrived during the pause).
    void resume(Clock::time_point resumed)
    {
        rebase = true;
        resumedAt = resumed;
    }

    qint64 last() const { return lastInstant; }
    bool started() const { return lastInstant >= 0; }
    // Until the first picture, and after a resume until the next one.
    bool rebasing() const { return rebase; }
    // Where instant k lies after instant 0, and when it is. The capture is
    // paced by these, so that a picture taken when asked for sits on its
    // instant.
    Clock::duration offset(qint64 instant) const;
    Clock::time_point at(qint64 instant) const { return origin + offset(instant); }

private:
    double position(Clock::time_point t) const;

    AVRational period;
    Clock::time_point origin; // of instant 0
    Clock::time_point resumedAt;
    qint64 lastInstant = -1;
    bool rebase = true;
};
