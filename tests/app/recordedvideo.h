#pragma once

// What a finished recording holds, as FFmpeg's own command-line tools read it.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

struct RecordedVideo
{
    QString codec;
    int width = 0;
    int height = 0;
    QString frameRate; // "30/1"
    int pictures = -1; // decoded pictures
    bool decodesCleanly = false;
    bool endsWithEndCode = false;
    QByteArray lastPicture; // rgb24, width x height

    QColor colourAt(int x, int y) const
    {
        const int offset = (y * width + x) * 3;
        if (x < 0 || y < 0 || x >= width || y >= height || offset + 2 >= lastPicture.size())
            return QColor();
        const auto *p = reinterpret_cast<const unsigned char *>(lastPicture.constData()) + offset;
        return QColor(p[0], p[1], p[2]);
    }

    static RecordedVideo read(const QString &path)
    {
        RecordedVideo video;

        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.size() >= 4) {
            file.seek(file.size() - 4);
            video.endsWithEndCode = file.read(4) == QByteArray("\x00\x00\x01\xB7", 4);
        }

        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                     QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                     QStringLiteral("-show_entries"),
                     QStringLiteral("stream=codec_name,width,height,r_frame_rate,nb_read_frames"),
                     QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path});
        if (!probe.waitForFinished(60000))
            return video;
        QMap<QString, QString> values;
        const QStringList lines =
            QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                values.insert(line.left(eq), line.mid(eq + 1).trimmed());
        }
        video.codec = values.value(QStringLiteral("codec_name"));
        video.width = values.value(QStringLiteral("width")).toInt();
        video.height = values.value(QStringLiteral("height")).toInt();
        video.frameRate = values.value(QStringLiteral("r_frame_rate"));
        bool ok = false;
        const int count = values.value(QStringLiteral("nb_read_frames")).toInt(&ok);
        video.pictures = ok ? count : -1;

        // Decode every picture; errors go to stderr. The pictures come out as
        // rgb24 one after the other; the last one is kept.
        QProcess decode;
        decode.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                      QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                      QStringLiteral("rgb24"), QStringLiteral("-")});
        if (!decode.waitForFinished(60000))
            return video;
        const QByteArray pictures = decode.readAllStandardOutput();
        const QByteArray errors = decode.readAllStandardError();
        video.decodesCleanly = decode.exitStatus() == QProcess::NormalExit &&
                               decode.exitCode() == 0 && errors.trimmed().isEmpty();
        const int pictureSize = video.width * video.height * 3;
        if (pictureSize > 0 && pictures.size() >= pictureSize)
            video.lastPicture = pictures.right(pictureSize);
        return video;
    }
};
