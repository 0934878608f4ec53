// The Wayland route against a real desktop: a private headless sway whose
// screen is shared through xdg-desktop-portal and PipeWire, as on a user's
// wlroots desktop.
#include "portalcapturesource.h"
#include "waylanddesktop.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

class TestWaylandCapture : public QObject
{
    Q_OBJECT

    WaylandDesktop desktop;
    QTemporaryDir directory;
    std::atomic<bool> stopRequested{false};
    // One source for every recording, as the recorder keeps it.
    std::unique_ptr<CaptureSource> source = createPortalCaptureSource();
    ffmpeg::FramePtr picture{av_frame_alloc()};

    static CaptureRequest request(const QRect &area, int speedFactor = 1)
    {
        CaptureRequest request;
        request.offsetX = area.x();
        request.offsetY = area.y();
        request.width = area.width();
        request.height = area.height();
        request.speedFactor = speedFactor;
        return request;
    }
    // Opens while the screen changes now and then, as a user's screen does:
    // wlroots sends the first picture of a cast only on a change.
    CaptureSource::OpenResult open(const CaptureRequest &request)
    {
        auto opened =
            std::async(std::launch::async, [&] { return source->open(request, stopRequested); });
        for (int wait = 1;
             opened.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready; ++wait)
            if (wait % 5 == 0)
                desktop.setBackground(wait % 2 ? Qt::black : Qt::white);
        return opened.get();
    }
    bool next()
    {
        av_frame_unref(picture.get());
        return source->nextPicture(picture.get()) == 0;
    }
    QColor colourAt(int x, int y) const
    {
        const uint8_t *pixel = picture->data[0] + y * picture->linesize[0] + x * 4;
        return QColor(pixel[2], pixel[1], pixel[0]); // BGRx, what this compositor sends
    }
    // Takes pictures until the middle one shows the colour; false after 10 s.
    bool shows(const QColor &colour)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && next())
            if (colourAt(picture->width / 2, picture->height / 2) == colour)
                return true;
        return false;
    }

private slots:
    void initTestCase() { QVERIFY2(desktop.isRunning(), qPrintable(desktop.errorText())); }

    // The whole screen in its pixel format; a changed colour shows in later
    // pictures; a still screen still gives its pictures at the capture rate,
    // each the same picture.
    void picturesOfTheScreen()
    {
        QCOMPARE(open(request(QRect(0, 0, 1280, 720), 2)), CaptureSource::OpenResult::Opened);
        QVERIFY(source->width() == 1280 && source->height() == 720);
        QCOMPARE(source->pixelFormat(), AV_PIX_FMT_BGR0);
        QVERIFY(desktop.setBackground(QColor(200, 40, 90)));
        QVERIFY(shows(QColor(200, 40, 90)));
        QVERIFY(desktop.setBackground(QColor(20, 220, 60)));
        QVERIFY(shows(QColor(20, 220, 60)));
        QVERIFY(colourAt(0, 0) == QColor(20, 220, 60) &&
                colourAt(1279, 719) == QColor(20, 220, 60));
        const uint8_t *still = picture->data[0]; // held as the latest picture
        QElapsedTimer clock;
        clock.start();
        int pictures = 0;
        while (clock.elapsed() < 2000 && next() && picture->data[0] == still)
            ++pictures;
        // 15 a second; the instants are fixed, so a late one is caught up.
        QVERIFY2(qAbs(pictures - clock.elapsed() * 15 / 1000) <= 2,
                 qPrintable(QString::number(pictures)));
        source->close();
        QVERIFY2(open(request(QRect(0, 0, 1280, 720), 2)) == CaptureSource::OpenResult::Opened,
                 qPrintable(source->errorText()));
        QVERIFY(desktop.setBackground(QColor(200, 40, 90)));
        QVERIFY(shows(QColor(200, 40, 90)));
        source->close();
    }
};

QTEST_GUILESS_MAIN(TestWaylandCapture)
#include "tst_waylandcapture.moc"
