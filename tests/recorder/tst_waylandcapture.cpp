// SPDX-License-Identifier: GPL-3.0-or-later
// Records a real Wayland desktop: a private headless sway whose screen is
// shared through xdg-desktop-portal and PipeWire, as on a user's wlroots
// desktop, and reads the files back with FFmpeg.
#include "screenrecorder.h"
#include "videofile.h"
#include "waylanddesktop.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

const QColor red(200, 40, 90);
const QColor green(20, 220, 60);

static bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 60;
}

class TestWaylandCapture : public QObject
{
    Q_OBJECT

    WaylandDesktop desktop{QStringLiteral("1280x720"), QStringLiteral("800x600")};
    QTemporaryDir directory;
    std::unique_ptr<ScreenRecorder> recorder;
    int reports = 0;
    QElapsedTimer sinceFirstReport;
    QStringList refusals;
    QVector<RecorderCrashCode> crashes;
    QVector<bool> waiting; // waitingForFirstPicture

    DecodedVideo video;

    bool until(const std::function<bool()> &done) { return QTest::qWaitFor(done, 30000); }
    bool ended() const { return !refusals.isEmpty() || !crashes.isEmpty(); }
    // Starts and waits for the first picture. Meanwhile the screen changes
    // now and then between black and the colour, as a user's screen does:
    // wlroots sends the first picture of a cast only on a change.
    bool start(const QColor &colour)
    {
        recorder->start();
        for (int wait = 1; !QTest::qWaitFor([&] { return reports > 0 || ended(); }, 500); ++wait)
            desktop.setBackground(wait % 2 ? Qt::black : colour);
        return desktop.setBackground(colour) && reports > 0;
    }
    bool stop()
    {
        recorder->stopRecording();
        const bool stopped = recorder->wait(30000);
        QCoreApplication::sendPostedEvents();
        video = decodeVideoFile(recorder->outputFileName);
        return stopped && !ended() && recorder->finishError().isEmpty() && video.errors == 0 &&
               video.endsWithEndCode;
    }
    int count(const QColor &colour) const
    {
        return int(std::count_if(video.colours.begin(), video.colours.end(),
                                 [&](const QColor &c) { return near(c, colour); }));
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<RecorderCrashCode>();
        QLoggingCategory::setFilterRules(QStringLiteral("zintora.recorder.debug=false"));
        QVERIFY2(desktop.isRunning(), qPrintable(desktop.errorText()));
    }

    // A fresh recorder, so every test also goes through the portal's dialog.
    void init()
    {
        recorder = std::make_unique<ScreenRecorder>();
        reports = 0;
        refusals.clear();
        crashes.clear();
        waiting.clear();
        recorder->outputFileName = directory.filePath(QTest::currentTestFunction() +
                                                      QString(QTest::currentDataTag()) + ".mpg");
        recorder->captureWidth = recorder->outputWidth = 1280;
        recorder->captureHeight = recorder->outputHeight = 720;
        connect(recorder.get(), &ScreenRecorder::progressUpdated, this, [this] {
            if (reports++ == 0)
                sinceFirstReport.start();
        });
        connect(recorder.get(), &ScreenRecorder::captureRefused, this,
                [this](const QString &message) { refusals.append(message); });
        connect(recorder.get(), &ScreenRecorder::recorderCrashed, this,
                [this](RecorderCrashCode code) { crashes.append(code); });
        connect(recorder.get(), &ScreenRecorder::waitingForFirstPicture, this,
                [this](bool wait) { waiting.append(wait); });
    }

    // The screen at 30 pictures a second, declared 30 fps, closed by the end
    // code; a colour changed while recording shows from then on; a still
    // screen still gives a picture at every capture instant.
    void recordsTheScreen()
    {
        QVERIFY(start(red));
        QTest::qWait(1500);
        QVERIFY(desktop.setBackground(green));
        QTest::qWait(2500);
        const double seconds = sinceFirstReport.elapsed() / 1000.0;
        QVERIFY(stop());
        QVERIFY(video.size == QSize(1280, 720) && video.frameRate == 30);
        QVERIFY(count(red) >= 20 && near(video.colours.last(), green));
        const int firstGreen = int(std::find_if(video.colours.begin(), video.colours.end(),
                                                [](const QColor &c) { return near(c, green); }) -
                                   video.colours.begin());
        QCOMPARE(count(green), video.frames() - firstGreen);
        // One picture at the start, then 30 a second; a loaded machine may
        // lag behind, and the stop takes a picture or two.
        QVERIFY2(qAbs(video.frames() - 1 - seconds * 30) <= 3 + seconds * 30 * 0.05,
                 qPrintable(QStringLiteral("%1 in %2 s").arg(video.frames()).arg(seconds)));

        // The same recorder shares the same screen again without asking.
        desktop.setSharing(false);
        auto askAgain = qScopeGuard([&] { desktop.setSharing(true); });
        reports = 0;
        recorder->outputFileName += QStringLiteral(".again.mpg");
        QVERIFY2(start(red), qPrintable(refusals.join("")));
        QVERIFY(stop() && video.frames() >= 1);
    }

    // What the screen shows while paused stays out of the file, also at a
    // stop while paused; a stop right after start ends before the screen is
    // shared: no message, no file.
    void pauseAndStop()
    {
        QVERIFY(start(red));
        recorder->togglePause();
        QVERIFY(desktop.setBackground(green));
        QTest::qWait(500); // the pause lasts a moment
        QVERIFY(stop() && video.frames() >= 1 && count(green) == 0);

        init();
        recorder->outputFileName = directory.filePath(QStringLiteral("stoppedAtOnce.mpg"));
        recorder->start();
        recorder->stopRecording();
        QVERIFY(recorder->wait(30000));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(refusals, QStringList{QString()});
        QVERIFY(reports == 0 && !QFile::exists(recorder->outputFileName));
    }

    // A still screen sends no picture: the second recording of one waits
    // for it as long as it takes, says so, and makes its file only when the
    // screen changes; then it records as usual.
    void stillScreenWaits()
    {
        QVERIFY(start(red));
        QVERIFY(stop());
        reports = 0;
        waiting.clear();
        recorder->outputFileName += QStringLiteral(".still.mpg");
        recorder->start();
        QTest::qWait(15000);
        QVERIFY(!ended() && reports == 0 && waiting == QVector<bool>{true});
        QVERIFY(!QFile::exists(recorder->outputFileName));
        QVERIFY(desktop.setBackground(green));
        QVERIFY(until([&] { return reports > 0; }));
        QTest::qWait(1000); // past the desktop's change of background
        QVERIFY(stop() && waiting == QVector<bool>({true, false}));
        QVERIFY(near(video.colours.last(), green) && count(red) == 0);
    }

    // On an output at scale 2 the area is in device pixels: the bottom right
    // quarter of the screen, and only it, is in the file.
    void areaOnAScaledOutput()
    {
        QImage quarters(2, 2, QImage::Format_RGB32);
        quarters.setPixelColor(0, 0, Qt::black);
        quarters.setPixelColor(1, 0, Qt::white);
        quarters.setPixelColor(0, 1, Qt::blue);
        quarters.setPixelColor(1, 1, red);
        QVERIFY(desktop.sway({"output", "HEADLESS-1", "scale", "2"}));
        auto unscale = qScopeGuard([&] { desktop.sway({"output", "HEADLESS-1", "scale", "1"}); });
        QVERIFY(desktop.setBackground(quarters.scaled(1280, 720)));
        recorder->captureOffsetX = recorder->outputWidth = recorder->captureWidth = 640;
        recorder->captureOffsetY = recorder->outputHeight = recorder->captureHeight = 360;
        QVERIFY(start(green));
        // The image again, after start() drew plain colours.
        QVERIFY(desktop.setBackground(quarters.scaled(1280, 720)));
        QTest::qWait(1500);
        QVERIFY(stop());
        QVERIFY(near(video.colours.last(), red) && video.size == QSize(640, 360));
        for (QPointF corner : {QPointF(0.02, 0.02), QPointF(0.98, 0.98)})
            QVERIFY(near(decodeVideoFile(recorder->outputFileName, corner).colours.last(), red));
    }

    // A screen that shrinks under the area ends the recording instead of
    // repeating its last picture, and what was recorded is finished.
    void screenShrinksUnderTheArea()
    {
        recorder->captureOffsetX = recorder->outputWidth = recorder->captureWidth = 640;
        recorder->captureOffsetY = recorder->outputHeight = recorder->captureHeight = 360;
        QVERIFY(start(red));
        QVERIFY(desktop.sway({"output", "HEADLESS-1", "mode", "800x600"}));
        auto restore = qScopeGuard([&] {
            desktop.sway({"output", "HEADLESS-1", "mode", "1280x720"});
        });
        QVERIFY(until([&] { return ended(); }) && recorder->wait(30000));
        QVERIFY(crashes == QVector<RecorderCrashCode>{FrameError});
        QVERIFY2(recorder->finishError().contains("800x600"), qPrintable(recorder->finishError()));
        video = decodeVideoFile(recorder->outputFileName);
        QVERIFY(video.errors == 0 && video.endsWithEndCode && video.frames() >= 1);
    }

    // On two screens the portal does not say where the shared one is: the
    // area is taken from the screen that holds it if the shared screen has
    // that screen's size, and refused if it has not.
    void areaOnTheSecondScreen()
    {
        recorder->screenGeometries = {QRect(0, 0, 1280, 720), QRect(1280, 0, 800, 600)};
        recorder->captureOffsetX = 1280 + 400; // the second screen's bottom right quarter
        recorder->captureOffsetY = 300;
        recorder->captureWidth = recorder->outputWidth = 400;
        recorder->captureHeight = recorder->outputHeight = 300;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Screen capture refused: "));
        recorder->start(); // the first screen is shared
        QVERIFY(until([&] { return ended(); }) && recorder->wait(30000));
        QVERIFY2(refusals.size() == 1 && refusals[0].contains("shared screen (1280 x 720)"),
                 qPrintable(refusals.join("")));

        // Two pictures with the area's quarter green and the others not:
        // the screen changes between them, and only green may be recorded
        // (besides the grey or black of a screen still without them).
        QImage quarters[2];
        for (int i : {0, 1}) {
            QImage image(2, 2, QImage::Format_RGB32);
            image.fill(i ? Qt::white : Qt::blue);
            image.setPixelColor(1, 1, green);
            quarters[i] = image.scaled(800, 600);
        }
        refusals.clear();
        desktop.setChooser(QStringLiteral("HEADLESS-2"));
        auto firstScreen = qScopeGuard([&] { desktop.setSharing(true); });
        QVERIFY(desktop.setBackground(quarters[0], QStringLiteral("HEADLESS-2")));
        recorder->start();
        for (int wait = 1; !QTest::qWaitFor([&] { return reports > 0 || ended(); }, 500); ++wait)
            desktop.setBackground(quarters[wait % 2], QStringLiteral("HEADLESS-2"));
        QVERIFY(reports > 0 && desktop.setBackground(quarters[1], QStringLiteral("HEADLESS-2")));
        QTest::qWait(1500);
        QVERIFY(stop() && count(green) > 0 && count(Qt::blue) + count(Qt::white) == 0);
    }

    void sharingRefused_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("sharing cancelled") << "Screen sharing was cancelled";
        QTest::newRow("area outside the shared screen") << "is not inside the shared screen";
        QTest::newRow("no portal on the bus")
            << "xdg-desktop-portal-wlr"; // the last: it ends the portal
    }
    // A warning that says what happened, no crash and no file.
    void sharingRefused()
    {
        QFETCH(QString, message);
        const QByteArray refusal = QTest::currentDataTag();
        desktop.setSharing(refusal != "sharing cancelled");
        recorder->captureOffsetX = refusal == "area outside the shared screen" ? 1 : 0;
        if (refusal == "no portal on the bus")
            QVERIFY(desktop.stop("portal"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Screen capture refused: "));
        recorder->start();
        QVERIFY(until([&] { return ended(); }) && recorder->wait(30000));
        desktop.setSharing(true);
        QVERIFY2(refusals.size() == 1 && refusals[0].contains(message),
                 qPrintable(refusals.join("")));
        QVERIFY(crashes.isEmpty() && reports == 0 && !QFile::exists(recorder->outputFileName));
    }
};

QTEST_GUILESS_MAIN(TestWaylandCapture)
#include "tst_waylandcapture.moc"
