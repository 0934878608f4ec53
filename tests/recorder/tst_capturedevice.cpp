#include "capturedevice.h"

#include <QtTest>

Q_DECLARE_METATYPE(CapturePlatform)

class TestCaptureDevice : public QObject
{
    Q_OBJECT

private slots:
    // One row per branch: each platform with its names for the offsets and
    // both flags each way; the rate as an exact fraction of 30, reduced; a
    // speed factor that opens nothing; no device.
    void options_data()
    {
        QTest::addColumn<CapturePlatform>("platform");
        QTest::addColumn<int>("speedFactor");
        QTest::addColumn<QString>("opened"); // empty: nothing worth opening
        const QString x11("x11grab :3 video_size=1280x1024 grab_x=-1280 grab_y=-24 framerate=%1 "
                          "draw_mouse=0 show_region=1");
        QTest::newRow("windows, x4")
            << CapturePlatform::WindowsGdi << 4
            << QString("gdigrab desktop video_size=1280x1024 offset_x=-1280 offset_y=-24 "
                       "framerate=15/2 draw_mouse=1 show_region=0");
        QTest::newRow("x11, x1") << CapturePlatform::X11 << 1 << x11.arg("30/1");
        QTest::newRow("x11, x7") << CapturePlatform::X11 << 7 << x11.arg("30/7");
        QTest::newRow("x11, x16") << CapturePlatform::X11 << 16 << x11.arg("15/8");
        QTest::newRow("x11, x29") << CapturePlatform::X11 << 29 << x11.arg("30/29");
        QTest::newRow("x0") << CapturePlatform::X11 << 0 << QString();
        QTest::newRow("no capture device") << CapturePlatform::None << 1 << QString();
    }
    // What the device is opened as, with the dictionary it gets, in order.
    void options()
    {
        QFETCH(CapturePlatform, platform);
        QFETCH(int, speedFactor);
        QFETCH(QString, opened);
        const bool x11 = platform == CapturePlatform::X11;
        const CaptureRequest request{-1280, -24, 1280, 1024, 30, speedFactor, !x11, x11};
        const CaptureDevice device = describeCaptureDevice(request, platform, ":3");
        const ffmpeg::DictionaryPtr dictionary = makeOptionDictionary(device);
        QByteArray actual = device.isUsable() ? device.formatName + ' ' + device.url : "";
        for (const AVDictionaryEntry *entry = nullptr;
             device.isUsable() &&
             (entry = av_dict_get(dictionary.get(), "", entry, AV_DICT_IGNORE_SUFFIX));)
            actual += ' ' + QByteArray(entry->key) + '=' + QByteArray(entry->value);
        QCOMPARE(QString(actual), opened);
    }
};

QTEST_APPLESS_MAIN(TestCaptureDevice)
#include "tst_capturedevice.moc"
