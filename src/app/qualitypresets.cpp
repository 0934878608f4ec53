// SPDX-License-Identifier: GPL-3.0-or-later
#include "qualitypresets.h"

QVector<QualityPreset> makeQualityPresets()
{
    return {
        {QStringLiteral("360p"), 480, 360, 1000000},
        {QStringLiteral("480p"), 640, 480, 2500000},
        {QStringLiteral("720p HD"), 1280, 720, 5000000},
        {QStringLiteral("1080p HD"), 1920, 1080, 8000000},
        {QStringLiteral("1440p HD (2K)"), 2560, 1440, 16000000},
        {QStringLiteral("2160p HD (4K)"), 3840, 2160, 16000000},
    };
}

int offeredQualityCount(const QVector<QualityPreset> &presets, int w, int h)
{
    const bool landscape = w > h;
    int count = 0;
    for (const QualityPreset &row : presets) {
        if (landscape ? row.width > w : row.height > h)
            break;
        ++count;
    }
    return count;
}
