#include "capturedevice.h"

#include <QtTest>

using Options = QList<QPair<QByteArray, QByteArray>>;
Q_DECLARE_METATYPE(CapturePlatform)
Q_DECLARE_METATYPE(Options)

class TestCaptureDevice : public QObject
{
    Q_OBJECT

private slots:
    void captureRateFollowsSpeedFactor_data();
    void captureRateFollowsSpeedFactor();
    void options_data();
    void options();
    void dictionaryKeepsOrderAndValues();
};

void TestCaptureDevice::captureRateFollowsSpeedFactor_data()
{
    QTest::addColumn<int>("speedFactor");
    QTest::addColumn<int>("rate");
    // Integer division of 30: the timelapse is exact only where it divides.
    const int expected[31] = {0, 30, 15, 10, 7, 6, 5, 4, 3, 3, 3, 2, 2, 2, 2, 2,
                              1, 1,  1,  1,  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int speed = 1; speed <= 30; ++speed)
        QTest::addRow("speed %d", speed) << speed << expected[speed];
    QTest::addRow("speed 0 opens nothing") << 0 << 0;
    QTest::addRow("speed 31 opens nothing") << 31 << 0;
}

void TestCaptureDevice::captureRateFollowsSpeedFactor()
{
    QFETCH(int, speedFactor);
    QFETCH(int, rate);
    CaptureRequest request;
    request.speedFactor = speedFactor;
    for (CapturePlatform platform : {CapturePlatform::WindowsGdi, CapturePlatform::X11}) {
        const CaptureDevice device = describeCaptureDevice(request, platform, ":0");
        QCOMPARE(device.captureRate, rate);
        QCOMPARE(device.options.value(3),
                 qMakePair(QByteArray("framerate"), QByteArray::number(rate)));
        QCOMPARE(device.isUsable(), rate > 0);
    }
}

void TestCaptureDevice::options_data()
{
    QTest::addColumn<CapturePlatform>("platform");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<bool>("drawMouse");
    QTest::addColumn<bool>("showRegion");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<Options>("options");

    QTest::addRow("windows defaults")
        << CapturePlatform::WindowsGdi << QRect(0, 0, 640, 480) << true << false << QByteArray()
        << QByteArray("gdigrab") << QByteArray("desktop")
        << Options{{"video_size", "640x480"}, {"offset_x", "0"},   {"offset_y", "0"},
                   {"framerate", "30"},       {"draw_mouse", "1"}, {"show_region", "0"}};
    QTest::addRow("windows screen left of the primary")
        << CapturePlatform::WindowsGdi << QRect(-1280, -24, 1280, 1024) << false << true
        << QByteArray(":0") << QByteArray("gdigrab") << QByteArray("desktop")
        << Options{{"video_size", "1280x1024"}, {"offset_x", "-1280"}, {"offset_y", "-24"},
                   {"framerate", "30"},         {"draw_mouse", "0"},   {"show_region", "1"}};
    QTest::addRow("x11 defaults") << CapturePlatform::X11 << QRect(0, 0, 640, 480) << true << false
                                  << QByteArray(":3") << QByteArray("x11grab") << QByteArray(":3")
                                  << Options{{"video_size", "640x480"}, {"grab_x", "0"},
                                             {"grab_y", "0"},           {"framerate", "30"},
                                             {"draw_mouse", "1"},       {"show_region", "0"}};
    QTest::addRow("x11 area with region shown, no mouse")
        << CapturePlatform::X11 << QRect(100, 250, 1920, 1080) << false << true
        << QByteArray("host:1.0") << QByteArray("x11grab") << QByteArray("host:1.0")
        << Options{{"video_size", "1920x1080"}, {"grab_x", "100"},   {"grab_y", "250"},
                   {"framerate", "30"},         {"draw_mouse", "0"}, {"show_region", "1"}};
    // Negative offsets pass through; the device refuses them when opened.
    QTest::addRow("x11 negative offset")
        << CapturePlatform::X11 << QRect(-5, -7, 64, 48) << true << true << QByteArray(":0")
        << QByteArray("x11grab") << QByteArray(":0")
        << Options{{"video_size", "64x48"}, {"grab_x", "-5"},    {"grab_y", "-7"},
                   {"framerate", "30"},     {"draw_mouse", "1"}, {"show_region", "1"}};
    QTest::addRow("x11 without a display")
        << CapturePlatform::X11 << QRect(0, 0, 640, 480) << true << false << QByteArray()
        << QByteArray("x11grab") << QByteArray()
        << Options{{"video_size", "640x480"}, {"grab_x", "0"},     {"grab_y", "0"},
                   {"framerate", "30"},       {"draw_mouse", "1"}, {"show_region", "0"}};
    QTest::addRow("no capture device")
        << CapturePlatform::None << QRect(0, 0, 640, 480) << true << false << QByteArray(":0")
        << QByteArray() << QByteArray() << Options();
}

void TestCaptureDevice::options()
{
    QFETCH(CapturePlatform, platform);
    QFETCH(QRect, area);
    QFETCH(bool, drawMouse);
    QFETCH(bool, showRegion);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, url);
    QFETCH(Options, options);

    CaptureRequest request;
    request.offsetX = area.x();
    request.offsetY = area.y();
    request.width = area.width();
    request.height = area.height();
    request.drawMouse = drawMouse;
    request.showRegion = showRegion;
    const CaptureDevice device = describeCaptureDevice(request, platform, display);
    QCOMPARE(device.formatName, format);
    QCOMPARE(device.url, url);
    QCOMPARE(device.options, options);
    QCOMPARE(device.isUsable(), !format.isEmpty() && !url.isEmpty());
}

void TestCaptureDevice::dictionaryKeepsOrderAndValues()
{
    CaptureRequest request;
    request.offsetX = -1280;
    request.speedFactor = 4;
    request.drawMouse = false;
    const CaptureDevice device = describeCaptureDevice(request, CapturePlatform::WindowsGdi, {});
    const ffmpeg::DictionaryPtr dictionary = makeOptionDictionary(device);
    Options entries;
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(dictionary.get(), "", entry, AV_DICT_IGNORE_SUFFIX)))
        entries.append({QByteArray(entry->key), QByteArray(entry->value)});
    QCOMPARE(entries, (Options{{"video_size", "640x480"},
                               {"offset_x", "-1280"},
                               {"offset_y", "0"},
                               {"framerate", "7"},
                               {"draw_mouse", "0"},
                               {"show_region", "0"}}));
}

QTEST_APPLESS_MAIN(TestCaptureDevice)
#include "tst_capturedevice.moc"
