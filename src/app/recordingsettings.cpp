// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

QString recordingFileName(const QDateTime &startTime)
{
    return QStringLiteral("zint_") + startTime.toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss")) +
           QStringLiteral(".mpg");
}

QString unusedFileName(const QString &folder, const QString &fileName,
                       const std::function<bool(const QString &path)> &exists)
{
    const QString prefix = folder + QLatin1Char('/');
    if (!exists(prefix + fileName))
        return fileName;

    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? fileName : fileName.left(dot);
    const QString extension = dot < 0 ? QString() : fileName.mid(dot);
    for (int n = 2;; ++n) {
        const QString candidate = stem + QStringLiteral("_%1").arg(n) + extension;
        if (!exists(prefix + candidate))
            return candidate;
    }
}

QSize cappedOutputSize(int w, int h, const QualityPreset &row)
{
    if (w > h) {
        if (w > row.width) {
            const float ratio = static_cast<float>(w) / static_cast<float>(row.width);
            h = static_cast<int>(static_cast<float>(h) / ratio);
            w = row.width;
        }
    } else if (h > row.height) {
        const float ratio = static_cast<float>(h) / static_cast<float>(row.height);
        w = static_cast<int>(static_cast<float>(w) / ratio);
        h = row.height;
    }
    return QSize(w, h);
}

QString elapsedText(qint64 frames)
{
    // 64 bits: 32 would overflow after about 19 h 53 min of video.
    const qint64 seconds = frames * 1000 / 30 / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString fileSizeText(qint64 bytes)
{
    // Double keeps the two decimals right far past what single precision can.
    return tr("%1 MB").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 2);
}

QString areaProblem(int x, int y, int w, int h, const QRect &desktop)
{
    if (w <= 0 || h <= 0)
        return tr("The recording area is %1x%2 pixels: its width and height must be at least "
                  "1 pixel.")
            .arg(w)
            .arg(h);
    // In 64 bits: typed offsets near the int limits must not wrap around.
    const qint64 right = qint64(x) + w;
    const qint64 bottom = qint64(y) + h;
    const qint64 desktopRight = qint64(desktop.x()) + desktop.width();
    const qint64 desktopBottom = qint64(desktop.y()) + desktop.height();
    if (x < desktop.x() || y < desktop.y() || right > desktopRight || bottom > desktopBottom)
        return tr("The recording area from (%1, %2) to (%3, %4) does not lie inside the "
                  "desktop, which spans (%5, %6) to (%7, %8).")
            .arg(x)
            .arg(y)
            .arg(right)
            .arg(bottom)
            .arg(desktop.x())
            .arg(desktop.y())
            .arg(desktopRight)
            .arg(desktopBottom);
    return QString();
}

QString absoluteFolder(const QString &typed, const QString &home, QChar separator)
{
    QString folder = typed;
    folder.replace(separator, QLatin1Char('/'));
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        folder = home + folder.mid(1);
    return QDir::cleanPath(QDir(folder).absolutePath());
}

QString folderProblem(const QString &folder)
{
    // std::filesystem, unlike QDir::mkpath, says why it failed. An existing
    // folder is no error.
    std::error_code error;
    // From UTF-16, so that the path converts right on every system.
    std::filesystem::create_directories(std::filesystem::path(folder.toStdU16String()), error);
    if (error)
        return tr("Couldn't create directory for target folder\n(Try with another folder)\n\n"
                  "%1: %2")
            .arg(QDir::toNativeSeparators(folder), QString::fromStdString(error.message()));

    // A folder can exist and still take no file (read-only, no permission):
    // found out here rather than by the recorder after it has started.
    QTemporaryFile probe(folder + QStringLiteral("/.zintora-XXXXXX"));
    if (!probe.open())
        return tr("Couldn't create a file in the target folder\n(Try with another folder)\n\n"
                  "%1: %2")
            .arg(QDir::toNativeSeparators(folder), probe.errorString());
    return QString();
}

QString tooSmallForAnyQuality(int w, int h, const QualityPreset &smallest)
{
    return tr("The recording area (%1x%2) is too small for any output quality.\nIt must be at "
              "least %3 pixels wide, or %4 pixels tall for a portrait or square area.")
        .arg(w)
        .arg(h)
        .arg(smallest.width)
        .arg(smallest.height);
}
