#include "capturedevice.h"

#include <QtTest>

Q_DECLARE_METATYPE(CapturePlatform)

class TestCaptureDevice : public QObject
{
    Q_OBJECT

private slots:
    // One row per branch: a speed factor that does not divide 30 (integer
    // division), the slowest, and one that opens nothing; each platform with
    // its names for the offsets; both flags each way.
    void options_data()
    {
        QTest::addColumn<CapturePlatform>("platform");
        QTest::addColumn<int>("speedFactor");
        QTest::addColumn<QByteArray>("opened"); // empty: nothing worth opening
        QTest::newRow("windows, speed 4")
            << CapturePlatform::WindowsGdi << 4
            << QByteArray("gdigrab desktop video_size=1280x1024 offset_x=-1280 offset_y=-24 "
                          "framerate=7 draw_mouse=1 show_region=0");
        QTest::newRow("x11, speed 30")
            << CapturePlatform::X11 << 30
            << QByteArray("x11grab :3 video_size=1280x1024 grab_x=-1280 grab_y=-24 framerate=1 "
                          "draw_mouse=0 show_region=1");
        QTest::newRow("speed 0") << CapturePlatform::X11 << 0 << QByteArray();
        QTest::newRow("no capture device") << CapturePlatform::None << 1 << QByteArray();
    }
    // What the device is opened as, with the dictionary it gets, in order.
    void options()
    {
        QFETCH(CapturePlatform, platform);
        QFETCH(int, speedFactor);
        QFETCH(QByteArray, opened);
        const bool x11 = platform == CapturePlatform::X11;
        const CaptureRequest request{-1280, -24, 1280, 1024, 30, speedFactor, !x11, x11};
        const CaptureDevice device = describeCaptureDevice(request, platform, ":3");
        const ffmpeg::DictionaryPtr dictionary = makeOptionDictionary(device);
        QByteArray actual = device.isUsable() ? device.formatName + ' ' + device.url : "";
        for (const AVDictionaryEntry *entry = nullptr;
             device.isUsable() &&
             (entry = av_dict_get(dictionary.get(), "", entry, AV_DICT_IGNORE_SUFFIX));)
            actual += ' ' + QByteArray(entry->key) + '=' + QByteArray(entry->value);
        QCOMPARE(actual, opened);
    }
};

QTEST_APPLESS_MAIN(TestCaptureDevice)
#include "tst_capturedevice.moc"
