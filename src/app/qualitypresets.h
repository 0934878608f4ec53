// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

// One row of the output-quality table.
struct QualityPreset
{
    QString label;
    int width;   // output-width cap for landscape areas
    int height;  // output-height cap for portrait and square areas
    int bitRate; // bits per second
};

// The six rows, smallest first. The quality list always shows a prefix of
// this table, so a list index is a row index.
QVector<QualityPreset> makeQualityPresets();

// How many leading rows an area of w x h offers: a landscape area is limited
// by the rows' widths, a portrait or square one by their heights; a cap equal
// to the area's extent is offered.
int offeredQualityCount(const QVector<QualityPreset> &presets, int w, int h);
