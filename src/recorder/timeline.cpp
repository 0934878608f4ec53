// SPDX-License-Identifier: GPL-3.0-or-later
#include "timeline.h"

#include <algorithm>
#include <cmath>

Timeline::Clock::duration Timeline::offset(qint64 instant) const
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(av_rescale_q(instant, period, AVRational{1, 1000000000})));
}

double Timeline::position(Clock::time_point t) const
{
    return std::chrono::duration<double>(t - origin).count() / av_q2d(period);
}

qint64 Timeline::place(Clock::time_point taken)
{
    if (rebase) {
        rebase = false;
        origin = std::max(taken, resumedAt) - offset(lastInstant + 1);
        return ++lastInstant;
    }
    const double at = position(taken);
    const qint64 instant = std::max<qint64>(std::llround(at), lastInstant + 1);
    if (instant - at >= 1)
        return -1;
    return lastInstant = instant;
}

qint64 Timeline::cover(Clock::time_point now)
{
    if (rebase)
        return -1;
    const qint64 instant = std::llround(position(now));
    if (instant <= lastInstant)
        return -1;
    return lastInstant = instant;
}
