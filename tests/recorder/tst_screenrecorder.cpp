// SPDX-License-Identifier: GPL-3.0-or-later
// Records real screens through x11grab, and chosen pictures through a
// source of the test's own, and reads the files back with FFmpeg. The test
// paints its content on a private Xvfb of its own, so windows of tests that
// run in parallel on the shared server never cover it.
#include "screenrecorder.h"
#include "videofile.h"
#include "xvfbserver.h"

#include <QTemporaryDir>
#include <QtTest>

#include <X11/Xlib.h> // last: its macros clash with names in Qt's headers

static bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 40;
}

// Hands out 64x64 pictures of one colour each, stamped at chosen times (in
// capture periods after the start), whenever the recorder asks; an invalid
// colour says "nothing new". Then nothing new, for good.
class ReplaySource : public CaptureSource
{
public:
    struct Shot
    {
        double at;
        QColor colour;
    };
    explicit ReplaySource(QVector<Shot> shots) : shots(std::move(shots)) {}
    std::atomic<bool> replayed{false};
    AVPixelFormat format = AV_PIX_FMT_BGR0; // what the pictures say they are

    OpenResult open(const CaptureRequest &, const std::atomic<bool> &) override
    {
        next = 0;
        replayed = false;
        origin = std::chrono::steady_clock::now();
        return OpenResult::Opened;
    }
    int nextPicture(AVFrame *picture, std::chrono::steady_clock::time_point &taken) override
    {
        replayed = next == shots.size();
        const Shot &shot = shots[qMin(next, shots.size() - 1)];
        next += replayed ? 0 : 1;
        taken = origin + std::chrono::microseconds(qint64(shot.at * 1000000 / 30));
        if (replayed || !shot.colour.isValid())
            return AVERROR(EAGAIN);
        picture->format = AV_PIX_FMT_BGR0;
        picture->width = picture->height = 64;
        if (av_frame_get_buffer(picture, 0) < 0)
            return AVERROR(ENOMEM);
        for (int y = 0; y < 64; ++y)
            std::fill_n(reinterpret_cast<quint32 *>(picture->data[0] + y * picture->linesize[0]),
                        64, shot.colour.rgb());
        picture->format = format;
        return 0;
    }
    bool isLive() const override { return false; }
    void close() override {}
    QString errorText() const override { return QString(); }

private:
    QVector<Shot> shots;
    int next = 0;
    std::chrono::steady_clock::time_point origin;
};

class TestScreenRecorder : public QObject
{
    Q_OBJECT

    XvfbServer server{QStringLiteral("1920x1080x24")};
    Display *screen = nullptr;
    QTemporaryDir directory;
    std::unique_ptr<ScreenRecorder> recorder;
    QVector<QPair<qint64, qint64>> progress; // frames and bytes of every report
    QVector<RecorderCrashCode> crashes;
    DecodedVideo video;

    // Drawn by the server once this returns: any later grab sees it.
    void paint(const QColor &colour, const QRect &area = QRect(0, 0, 1920, 1080))
    {
        XSetForeground(screen, DefaultGC(screen, 0), colour.rgb() & 0xffffff); // 24-bit TrueColor
        XFillRectangle(screen, DefaultRootWindow(screen), DefaultGC(screen, 0), area.x(), area.y(),
                       unsigned(area.width()), unsigned(area.height()));
        XSync(screen, False);
    }
    bool until(const std::function<bool()> &done) { return QTest::qWaitFor(done, 30000); }
    bool reports(int n)
    {
        return until([=] { return crashes.size() || progress.size() >= n; });
    }
    // Stops, waits for the thread, takes its last signals and decodes the file.
    bool stop()
    {
        recorder->stopRecording();
        const bool ended = recorder->wait(30000);
        QCoreApplication::sendPostedEvents();
        video = decodeVideoFile(recorder->outputFileName);
        return ended;
    }
    bool allRed() const
    {
        return std::all_of(video.colours.begin(), video.colours.end(), [](const QColor &c) {
            return c.red() > 230 && c.green() < 25 && c.blue() < 25;
        });
    }
    // No crash or finish error, and a file that decodes without error, all
    // red, with the end code after exactly the bytes the recorder wrote.
    bool finishedClean() const
    {
        return crashes.isEmpty() && recorder->finishError().isEmpty() && video.endsWithEndCode &&
               video.errors == 0 && video.fileSize == recorder->recordedBytes() + 4 && allRed();
    }
    // Exactly one crash, with this code and the file named in finishError();
    // the thread has ended and the mutex is free (both control calls take it,
    // so they would hang if a failure path had left it locked).
    bool crashedWith(RecorderCrashCode code)
    {
        until([this] { return !crashes.isEmpty(); });
        const bool ended = recorder->wait(30000);
        recorder->togglePause();
        recorder->stopRecording();
        QCoreApplication::sendPostedEvents();
        return ended && crashes == QVector<RecorderCrashCode>{code} &&
               recorder->finishError().contains(recorder->outputFileName);
    }

    // Paints green while paused for a moment, then red again: nothing of it
    // may reach the file.
    void greenWhilePaused()
    {
        QVERIFY(recorder->isPaused());
        paint(Qt::green);
        QTest::qWait(400);
        paint(Qt::red);
    }

private slots:
    void initTestCase()
    {
        avdevice_register_all();
        qRegisterMetaType<RecorderCrashCode>();
        // One debug line per packet would drown the output; the failures'
        // critical lines say what finishError() says, which is checked.
        QLoggingCategory::setFilterRules(
            QStringLiteral("zintora.recorder.debug=false\nzintora.recorder.critical=false"));
        QVERIFY(server.isRunning() && directory.isValid());
        QVERIFY(screen = XOpenDisplay(server.display().toLocal8Bit().constData()));
    }
    void cleanupTestCase() { XCloseDisplay(screen); }

    // A fresh recorder with its default settings on a red private screen.
    void init()
    {
        qputenv("DISPLAY", server.display().toLocal8Bit());
        recorder = std::make_unique<ScreenRecorder>(); // stops what a failed test left running
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall); // and drops its reports
        progress.clear();
        crashes.clear();
        recorder->outputFileName = directory.filePath(QTest::currentTestFunction() +
                                                      QString(QTest::currentDataTag()) + ".mpg");
        // Queued to this thread, which alone touches the lists.
        connect(recorder.get(), &ScreenRecorder::progressUpdated, this,
                [this](qint64 n, qint64 bytes) { progress.append(qMakePair(n, bytes)); });
        connect(recorder.get(), &ScreenRecorder::recorderCrashed, this,
                [this](RecorderCrashCode code) { crashes.append(code); });
        paint(Qt::red);
    }

    // An offset area, scaled, at x16: a wrong offset, channel order or rate
    // shows. A second recording into the same name refuses to touch the file.
    void recordsTheScreen()
    {
        paint(Qt::blue);
        paint(Qt::red, QRect(1000, 600, 640, 480));
        recorder->captureOffsetX = 1000;
        recorder->captureOffsetY = 600;
        recorder->outputWidth = 320;
        recorder->outputHeight = 240;
        recorder->speedFactor = 16;
        QElapsedTimer clock;
        clock.start();
        recorder->start();
        // Probing the stream's rate would hold the first picture back ~2.7 s.
        QVERIFY(reports(1) && clock.elapsed() < 1500);
        until([&] { return clock.elapsed() >= 8000 || !crashes.isEmpty(); });
        QVERIFY(stop());
        QVERIFY(finishedClean());
        QVERIFY(video.size == QSize(320, 240) && video.frameRate == 30);
        // The readout said what the file held; the drain adds what the
        // encoder held back.
        QVERIFY(progress.last().first < video.frames() && progress.last().first >= 10);
        // 30/16 pictures a second; a rate rounded to a whole number is off by
        // a fourth or more. A loaded machine may start the capture late.
        const double expected = clock.elapsed() / 1000.0 * 30 / 16;
        QVERIFY2(video.frames() >= expected - 2 && video.frames() <= expected + 1.5,
                 qPrintable(QString::number(video.frames())));

        const qint64 size = video.fileSize;
        recorder->start();
        QVERIFY(crashedWith(OutputError) && recorder->finishError().endsWith("File exists"));
        QCOMPARE(QFileInfo(recorder->outputFileName).size(), size);
    }

    // A pause right after start() is not lost, and nothing taken while
    // paused reaches the file, not even at a stop while paused, after which
    // the pause is cleared. On the same object, a stop right after start() is
    // not lost, and the drain puts the picture that the encoder holds back
    // into the file.
    void pauseStopAndASecondRecording()
    {
        recorder->start();
        recorder->togglePause();
        greenWhilePaused();
        recorder->togglePause();
        QVERIFY(until([&] { return !progress.isEmpty() && progress.last().first >= 5; }));
        recorder->togglePause();
        greenWhilePaused();
        recorder->stopRecording();
        QVERIFY(!recorder->isPaused());
        QVERIFY(stop());
        QVERIFY(finishedClean() && video.frames() >= 5);

        recorder->outputFileName = directory.filePath(QStringLiteral("second.mpg"));
        recorder->start();
        QVERIFY(stop());
        QVERIFY(finishedClean() && video.frames() == 1);
    }

    // One picture per capture instant, from the pictures' own times: a late
    // one goes to the nearest instant, one of a burst to the next free one
    // when that is less than a period away (else it is left out), a gap or
    // "nothing new" repeats the picture before, also for longer than the
    // stretch after which a repeat is encoded for real. A stop left over
    // from the last recording does not end a recording started through
    // QThread::start().
    void oneAndTheSamePicturePerInstant()
    {
        const QColor nothing;
        const QVector<ReplaySource::Shot> shots = {
            {0, Qt::red},      {1, Qt::green},    {2.4, Qt::blue}, {3.6, Qt::white},
            {4.1, Qt::black},  {4.3, Qt::yellow}, {6, nothing},    {7, Qt::cyan},
            {12, Qt::magenta}, {50, nothing},     {51, Qt::red}};
        QVector<QColor> expected = {Qt::red,   Qt::green, Qt::blue, Qt::blue,
                                    Qt::white, Qt::black, Qt::black};
        expected += QVector<QColor>(5, Qt::cyan) + QVector<QColor>(39, Qt::magenta);
        expected += QColor(Qt::red);
        ReplaySource *replay = nullptr;
        recorder->setCaptureSourceFactory([&] {
            auto source = std::make_unique<ReplaySource>(shots);
            replay = source.get();
            return source;
        });
        recorder->outputWidth = recorder->outputHeight = 64;
        for (int run = 0; run < 2; ++run) {
            recorder->outputFileName = directory.filePath(QStringLiteral("replay%1.mpg").arg(run));
            if (replay)
                replay->replayed = false;
            static_cast<QThread *>(recorder.get())->start();
            QVERIFY(until([&] { return replay && replay->replayed; }));
            QVERIFY(stop());
            QVERIFY(crashes.isEmpty() && recorder->finishError().isEmpty() &&
                    video.endsWithEndCode && video.errors == 0);
            QCOMPARE(video.frames(), expected.size());
            for (int i = 0; i < expected.size(); ++i)
                QVERIFY2(near(video.colours[i], expected[i]), qPrintable(QString::number(i)));
            const auto times = recorder->stageTimes();
            QCOMPARE(qMakePair(times.pictures, times.repeats), qMakePair(qint64(8), qint64(44)));
            recorder->stopRecording(); // left over
        }
    }

    // Pictures that cannot be converted end the recording before a file is
    // made.
    void unconvertiblePictures()
    {
        recorder->setCaptureSourceFactory([] {
            auto source = std::make_unique<ReplaySource>(QVector<ReplaySource::Shot>{{0, Qt::red}});
            source->format = AV_PIX_FMT_VDPAU;
            return source;
        });
        recorder->start();
        QVERIFY(crashedWith(OutputError) && !QFile::exists(recorder->outputFileName));
    }

    void setUpFailures_data()
    {
        QTest::addColumn<RecorderCrashCode>("code");
        QTest::addColumn<QString>("reason"); // the end of finishError()
        QTest::newRow("area outside the screen") << InputError << "Invalid argument";
        QTest::newRow("no X display") << InputError << "no X display is set (DISPLAY is empty)";
        QTest::newRow("size the encoder refuses")
            << OutputError
            << "the video encoder refused 20000x480 pictures at 6000000 bit/s: "
               "Invalid argument";
        QTest::newRow("folder does not exist") << OutputError << "No such file or directory";
    }
    // Each gives no progress and leaves no file.
    void setUpFailures()
    {
        QFETCH(RecorderCrashCode, code);
        QFETCH(QString, reason);
        const QByteArray failure = QTest::currentDataTag();
        if (failure == "no X display")
            qunsetenv("DISPLAY");
        recorder->captureOffsetX = failure == "area outside the screen" ? 1600 : 0;
        recorder->outputWidth = failure == "size the encoder refuses" ? 20000 : 640;
        if (failure == "folder does not exist")
            recorder->outputFileName = directory.filePath("missing/a.mpg");
        recorder->start();
        QVERIFY(crashedWith(code));
        QVERIFY2(recorder->finishError().endsWith(reason), qPrintable(recorder->finishError()));
        QVERIFY(progress.isEmpty() && !QFile::exists(recorder->outputFileName));
    }

    // What was written stays: every packet up to the last report. Each one
    // is in the file system as soon as it is reported (unbuffered), so a
    // killed program leaves the same decodable file without the end code.
    void serverDyingIsAFrameError()
    {
        XvfbServer doomed(QStringLiteral("640x480x24"));
        qputenv("DISPLAY", doomed.display().toLocal8Bit());
        recorder->start();
        QVERIFY(reports(10));
        QVERIFY(QFileInfo(recorder->outputFileName).size() >= progress.last().second);
        doomed.kill();
        QVERIFY(crashedWith(FrameError));
        video = decodeVideoFile(recorder->outputFileName);
        // What was recorded before the screen went is finished like a stop.
        QVERIFY(video.errors == 0 && video.endsWithEndCode);
        QVERIFY(recorder->recordedFrames() >= progress.last().first);
        QCOMPARE(qMakePair(qint64(video.frames()), video.fileSize),
                 qMakePair(recorder->recordedFrames(), recorder->recordedBytes() + 4));
    }

    // A disk that fills in the loop (a FrameError) and one that fills in the
    // drain at the stop (finishError() only): the file is cut back to its last
    // whole picture and then ends with the end code, since cutting back made
    // room; finishError() names the file and the reason. A red picture
    // opens with a 4727-byte I-frame and is followed by 288-byte ones, so
    // 8 KiB of room fills at the second I-frame, and 4 KiB at the first
    // (which a stop right after start writes in the drain).
    void fullDiskKeepsWholePictures()
    {
        const QString full = directory.filePath(QStringLiteral("full"));
        if (QProcess::execute(
                "sh", {"-c", "mkdir \"$0\" && mount -t tmpfs -o size=64k tmpfs \"$0\"", full}) != 0)
            QSKIP("cannot mount a tmpfs here (needs root)");
        auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", full}); });
        for (int room : {8192, 4096}) {
            init();
            recorder->outputFileName = full + QStringLiteral("/%1.mpg").arg(room);
            QProcess::execute("sh", {"-c", "rm -f \"$0\"/*; head -c $1 /dev/zero >\"$0/filler\"",
                                     full, QString::number(65536 - room)});
            recorder->start();
            QVERIFY(room == 4096 ? stop() && crashes.isEmpty() : crashedWith(FrameError));
            QCOMPARE(recorder->finishError(), "Could not write file " + recorder->outputFileName +
                                                  ": No space left on device");
            video = decodeVideoFile(recorder->outputFileName);
            QVERIFY(video.errors == 0 && video.endsWithEndCode && allRed());
            QCOMPARE(qMakePair(qint64(video.frames()), video.fileSize),
                     qMakePair(recorder->recordedFrames(), recorder->recordedBytes() + 4));
            QCOMPARE(video.frames() > 0, room == 8192);
        }
    }
};

QTEST_GUILESS_MAIN(TestScreenRecorder)
#include "tst_screenrecorder.moc"
