// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "qualitypresets.h"

#include <QDateTime>
#include <QDir>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

// The window's recording rules that need no widgets: file naming, the output
// size, the progress readout and the checks made before a start.

// "zint_" + local "yyyy-MM-dd_hh-mm-ss" + ".mpg".
QString recordingFileName(const QDateTime &startTime);

// The first of fileName, fileName with "_2", "_3", ... before its extension,
// for which exists(folder + "/" + candidate) is false. A recording never
// replaces an earlier one, even when two start within the same second.
QString unusedFileName(const QString &folder, const QString &fileName,
                       const std::function<bool(const QString &path)> &exists);

// The output size of a w x h area under the given quality row. Only the
// leading dimension is capped (width for landscape, height otherwise); the
// other follows by the same ratio. The ratio is taken in single precision
// and the result truncated toward zero, so 1366x768 at 720p gives 1280x719.
// Never enlarges.
QSize cappedOutputSize(int w, int h, const QualityPreset &row);

// Playing time of the video written so far, at 30 pictures per second, as
// "hh:mm:ss"; the hours grow past two digits instead of wrapping.
QString elapsedText(qint64 frames);

// Bytes as mebibytes with two decimals, "1.50 MB".
QString fileSizeText(qint64 bytes);

// Why the grabber cannot record the area at (x, y) of w x h device pixels on
// a desktop whose screens span `desktop` (device pixels); empty when it can.
QString areaProblem(int x, int y, int w, int h, const QRect &desktop);

// The destination folder as the user typed it, with a leading "~" read as the
// home folder, made absolute (a relative folder is relative to the working
// directory) and cleaned, so that every message names the real place. The
// system's own separator counts as "/", so "~\Videos" is expanded on Windows.
QString absoluteFolder(const QString &typed, const QString &home,
                       QChar separator = QDir::separator());

// Creates the folder with its missing parents and makes sure a file can be
// created in it. Empty when it can; otherwise the message for the user,
// naming the folder and the system's reason.
QString folderProblem(const QString &folder);

// The message for an area too small for the smallest quality row.
QString tooSmallForAnyQuality(int w, int h, const QualityPreset &smallest);
