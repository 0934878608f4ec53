// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the engine that need no screen: the capture device's options
// and the picture conversion.
#include "capturedevice.h"
#include "pictureconverter.h"
#include "timeline.h"

#include <QImage>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(CapturePlatform)

// x11grab's BGR0 is QImage's RGB32 in memory; the frame borrows the pixels.
static ffmpeg::FramePtr frameOf(const QImage &image)
{
    ffmpeg::FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_BGR0;
    frame->width = image.width();
    frame->height = image.height();
    frame->data[0] = const_cast<uint8_t *>(image.constBits());
    frame->linesize[0] = image.bytesPerLine();
    return frame;
}

static int at(const AVFrame *picture, int plane, int x, int y)
{
    return picture->data[plane][y * picture->linesize[plane] + x];
}

class TestRecorderParts : public QObject
{
    Q_OBJECT

private slots:
    // One row per branch: each platform with its names for the offsets and
    // both flags each way; the capture rate as an exact fraction of 30,
    // reduced (the device itself is asked for far more); a speed factor that
    // opens nothing; no device.
    void options_data()
    {
        QTest::addColumn<CapturePlatform>("platform");
        QTest::addColumn<int>("speedFactor");
        QTest::addColumn<QString>("opened"); // empty: nothing worth opening
        const QString x11("x11grab :3 video_size=1280x1024 grab_x=-1280 grab_y=-24 "
                          "framerate=1000 draw_mouse=0 show_region=1 rate=%1");
        QTest::newRow("windows, x4")
            << CapturePlatform::WindowsGdi << 4
            << QString("gdigrab desktop video_size=1280x1024 offset_x=-1280 offset_y=-24 "
                       "framerate=1000 draw_mouse=1 show_region=0 rate=15/2");
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
        const CaptureRequest request{-1280, -24, 1280, 1024, 30, speedFactor, !x11, x11, {}};
        const CaptureDevice device = describeCaptureDevice(request, platform, ":3");
        const ffmpeg::DictionaryPtr dictionary = makeOptionDictionary(device);
        QByteArray actual = device.isUsable() ? device.formatName + ' ' + device.url : "";
        for (const AVDictionaryEntry *entry = nullptr;
             device.isUsable() &&
             (entry = av_dict_get(dictionary.get(), "", entry, AV_DICT_IGNORE_SUFFIX));)
            actual += ' ' + QByteArray(entry->key) + '=' + QByteArray(entry->value);
        if (device.isUsable())
            actual += " rate=" + QByteArray::number(device.captureRate.num) + '/' +
                      QByteArray::number(device.captureRate.den);
        QCOMPARE(QString(actual), opened);
    }

    // Same size and smaller go through libyuv for speed; it must give the
    // picture that swscale's bicubic conversion gives. Odd chroma widths
    // check the edge; 4K to 1080p and 1080p to 720p are the common scalings.
    void libyuvMatchesSwscale_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<double>("lumaDb");
        QTest::addColumn<double>("chromaDb");
        QTest::newRow("same size") << QSize(1366, 768) << 48.0 << 38.0;
        QTest::newRow("half") << QSize(683, 384) << 40.0 << 30.0;
        QTest::newRow("two thirds") << QSize(911, 512) << 40.0 << 30.0;
    }
    void libyuvMatchesSwscale()
    {
#ifndef ZINTORA_HAVE_LIBYUV
        QSKIP("built without libyuv");
#endif
        QFETCH(QSize, target);
        QFETCH(double, lumaDb);
        QFETCH(double, chromaDb);
        // Desktop-like: gradients with noise and hard-edged blocks.
        QImage image(1366, 768, QImage::Format_RGB32);
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1366; ++x)
                image.setPixel(x, y,
                               (x / 40 + y / 30) % 5 ? qRgb(x / 6, y / 3, 120 + (x ^ y) % 17)
                                                     : qRgb(230, 30, 40));
        const int w = target.width(), h = target.height();
        auto fast = PictureConverter::create(1366, 768, AV_PIX_FMT_BGR0, w, h);
        auto reference = PictureConverter::create(1366, 768, AV_PIX_FMT_BGR0, w, h, false);
        QCOMPARE(fast->method(), PictureConverter::Method::Libyuv);
        ffmpeg::FramePtr a(av_frame_alloc()), b(av_frame_alloc());
        QCOMPARE(fast->convert(frameOf(image).get(), a.get()), 0);
        QCOMPARE(reference->convert(frameOf(image).get(), b.get()), 0);
        // Same size: rounding only in luma; chroma differs by the subsampling
        // filter (2x2 box against bicubic) at edges. Scaled: averaging against
        // bicubic at the blocks' edges. Both far below what MPEG-2 loses.
        for (int plane = 0; plane < 3; ++plane) {
            const int pw = plane ? (w + 1) / 2 : w, ph = plane ? (h + 1) / 2 : h;
            double squares = 0;
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x)
                    squares += std::pow(at(a.get(), plane, x, y) - at(b.get(), plane, x, y), 2);
            const double psnr = 10 * std::log10(65025.0 * pw * ph / qMax(squares, 1.0));
            qInfo("PSNR of plane %d, libyuv against swscale: %.1f dB", plane, psnr);
            QVERIFY(psnr >= (plane == 0 ? lumaDb : chromaDb));
        }
    }

    // Paused time is left out even when the first picture after the pause
    // arrived during it, as a screen cast's newest picture may: its instant
    // follows the last one, and the instants after count from the resume.
    void pauseLeavesNoInstants()
    {
        Timeline timeline(AVRational{1, 30});
        const Timeline::Clock::time_point t0;
        const auto p = [](double periods) {
            return std::chrono::duration_cast<Timeline::Clock::duration>(
                std::chrono::duration<double>(periods / 30));
        };
        QCOMPARE(timeline.place(t0 + p(100)), qint64(0));
        QCOMPARE(timeline.place(t0 + p(101)), qint64(1));
        timeline.resume(t0 + p(1000)); // paused from about 101
        QCOMPARE(timeline.place(t0 + p(500)), qint64(2));
        QCOMPARE(timeline.cover(t0 + p(1001)), qint64(3));
        QVERIFY(std::chrono::abs(timeline.at(4) - (t0 + p(1002))) < std::chrono::microseconds(1));
    }

    // The encoder keeps a reference to a picture it holds back for reordering:
    // the next conversion must not write into it. A source of the wrong size
    // is refused rather than read past its end.
    void heldPictureIsNotOverwritten()
    {
        for (bool libyuv : {true, false}) {
            auto converter = PictureConverter::create(64, 64, AV_PIX_FMT_BGR0, 64, 64, libyuv);
            ffmpeg::FramePtr target(av_frame_alloc()), held(av_frame_alloc());
            QImage black(64, 64, QImage::Format_RGB32), white = black,
                                                        wide(128, 64, black.format());
            black.fill(Qt::black);
            white.fill(Qt::white);
            QCOMPARE(converter->convert(frameOf(black).get(), target.get()), 0);
            QCOMPARE(av_frame_ref(held.get(), target.get()), 0);
            QCOMPARE(converter->convert(frameOf(white).get(), target.get()), 0);
            QCOMPARE(at(held.get(), 0, 0, 0), 16);
            QCOMPARE(at(target.get(), 0, 0, 0), 235);
            QVERIFY(converter->convert(frameOf(wide).get(), target.get()) < 0);
        }
    }
};

QTEST_APPLESS_MAIN(TestRecorderParts)
#include "tst_recorderparts.moc"
