#include "qualitypresets.h"
#include "recordingsettings.h"

#include <QSet>
#include <QTest>

class TestRecordingSettings : public QObject
{
    Q_OBJECT

    QualityPreset row(const QString &label) const
    {
        for (const QualityPreset &p : makeQualityPresets())
            if (p.label == label)
                return p;
        return {};
    }

private slots:
    void outputSize_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QString>("quality");
        QTest::addColumn<QSize>("expected");

        QTest::addRow("landscape capped by width")
            << QSize(1920, 1080) << "720p HD" << QSize(1280, 720);
        QTest::addRow("single-precision ratio truncates")
            << QSize(1366, 768) << "720p HD" << QSize(1280, 719);
        QTest::addRow("landscape height not compared with the row")
            << QSize(1920, 1200) << "720p HD" << QSize(1280, 800);
        QTest::addRow("portrait capped by height")
            << QSize(1080, 1920) << "1080p HD" << QSize(607, 1080);
        QTest::addRow("square takes the height rule")
            << QSize(1000, 1000) << "480p" << QSize(480, 480);
        QTest::addRow("area that fits is never enlarged")
            << QSize(1280, 720) << "1080p HD" << QSize(1280, 720);
    }
    void outputSize()
    {
        QFETCH(QSize, area);
        QFETCH(QString, quality);
        QFETCH(QSize, expected);
        QCOMPARE(cappedOutputSize(area.width(), area.height(), row(quality)), expected);
    }

    void fileName_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");

        const QDateTime morning(QDate(2026, 3, 7), QTime(9, 5, 0));
        const QDateTime evening(QDate(2026, 12, 31), QTime(23, 59, 58));
        QTest::addRow("leading zeros")
            << morning << QStringList() << "zint_2026-03-07_09-05-00.mpg";
        QTest::addRow("24-hour clock")
            << evening << QStringList() << "zint_2026-12-31_23-59-58.mpg";
        QTest::addRow("same second gets _2")
            << morning << QStringList{"zint_2026-03-07_09-05-00.mpg"}
            << "zint_2026-03-07_09-05-00_2.mpg";
        QTest::addRow("third in the same second gets _3")
            << morning
            << QStringList{"zint_2026-03-07_09-05-00.mpg", "zint_2026-03-07_09-05-00_2.mpg"}
            << "zint_2026-03-07_09-05-00_3.mpg";
        QTest::addRow("a free plain name is used even if _2 exists")
            << morning << QStringList{"zint_2026-03-07_09-05-00_2.mpg"}
            << "zint_2026-03-07_09-05-00.mpg";
    }
    void fileName()
    {
        QFETCH(QDateTime, time);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);

        const QString folder = QStringLiteral("/videos/");
        QSet<QString> paths;
        for (const QString &name : existing)
            paths.insert(folder + QLatin1Char('/') + name);
        QStringList asked;
        const QString name =
            unusedFileName(folder, recordingFileName(time), [&](const QString &path) {
                asked.append(path);
                return paths.contains(path);
            });
        QCOMPARE(name, expected);
        // The folder text is used as it is, with a single "/" added.
        QVERIFY(asked.first().startsWith(QStringLiteral("/videos//zint_")));
    }

    void elapsed_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("expected");

        QTest::addRow("29 frames") << qint64(29) << "00:00:00";
        QTest::addRow("30 frames") << qint64(30) << "00:00:01";
        QTest::addRow("1800 frames") << qint64(1800) << "00:01:00";
        QTest::addRow("one hour") << qint64(108000) << "01:00:00";
        QTest::addRow("past 32-bit milliseconds") << qint64(2147484) << "19:53:02";
        QTest::addRow("past 99 hours") << qint64(100) * 3600 * 30 + 61 * 30 << "100:01:01";
    }
    void elapsed()
    {
        QFETCH(qint64, frames);
        QFETCH(QString, expected);
        QCOMPARE(elapsedText(frames), expected);
    }

    void size_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");

        QTest::addRow("nothing") << qint64(0) << "0.00 MB";
        QTest::addRow("1 MiB") << qint64(1024 * 1024) << "1.00 MB";
        QTest::addRow("1.5 MiB") << qint64(1024 * 1024 * 3 / 2) << "1.50 MB";
        QTest::addRow("past 2 GiB") << (qint64(5) << 30) / 2 + 1024 * 1024 / 4 << "2560.25 MB";
        QTest::addRow("past 16 GiB, last decimal kept")
            << (qint64(1) << 34) + 1024 * 1024 / 100 * 3 << "16384.03 MB";
    }
    void size()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(fileSizeText(bytes), expected);
    }

    void area_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<QRect>("desktop");
        QTest::addColumn<bool>("recordable");

        const QRect hd(0, 0, 1920, 1080);
        QTest::addRow("whole screen") << 0 << 0 << 1920 << 1080 << hd << true;
        QTest::addRow("one pixel in the last corner") << 1919 << 1079 << 1 << 1 << hd << true;
        QTest::addRow("zero width") << 10 << 10 << 0 << 100 << hd << false;
        QTest::addRow("negative height") << 10 << 10 << 100 << -5 << hd << false;
        QTest::addRow("one pixel past the right edge") << 1 << 0 << 1920 << 1080 << hd << false;
        QTest::addRow("one pixel past the bottom") << 0 << 1 << 1920 << 1080 << hd << false;
        QTest::addRow("left of the desktop") << -1 << 0 << 100 << 100 << hd << false;
        QTest::addRow("screen at negative x")
            << -1280 << 0 << 1280 << 1024 << QRect(-1280, 0, 3200, 1080) << true;
        QTest::addRow("offset that would wrap a 32-bit sum")
            << 2147483000 << 0 << 1000 << 100 << hd << false;
    }
    void area()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QRect, desktop);
        QFETCH(bool, recordable);
        QCOMPARE(areaProblem(x, y, w, h, desktop).isEmpty(), recordable);
    }
};

QTEST_GUILESS_MAIN(TestRecordingSettings)
#include "tst_recordingsettings.moc"
