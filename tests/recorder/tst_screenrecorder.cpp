// Records real screens through x11grab and reads the files back with FFmpeg.
//
// Every test draws its content on a private Xvfb of its own, so windows of
// tests that run in parallel on the shared server never cover it.
#include "screenpainter.h"
#include "screenrecorder.h"
#include "videofile.h"
#include "xvfbserver.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifndef RECORD_CHILD_PATH
#error "RECORD_CHILD_PATH must name the recordchild helper"
#endif

namespace {

const QByteArray endCode("\x00\x00\x01\xB7", 4);

// Collects the recorder's signals in the test's thread (queued), so the
// lists are only ever touched by this thread.
class Listener : public QObject
{
public:
    explicit Listener(ScreenRecorder &recorder)
    {
        connect(&recorder, &ScreenRecorder::progressUpdated, this,
                [this](qint64 frames, qint64 size) {
                    progress.append({frames, size});
                });
        connect(&recorder, &ScreenRecorder::recorderCrashed, this,
                [this](RecorderCrashCode code) { crashes.append(code); });
    }
    QVector<QPair<qint64, qint64>> progress;
    QVector<RecorderCrashCode> crashes;
};

// Lines of the recorder's log category, for checking its messages.
QStringList recorderLog;
QtMessageHandler previousHandler = nullptr;

void keepRecorderLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "zintora.recorder") == 0) {
        recorderLog.append(message);
        if (type == QtDebugMsg)
            return; // one line per packet would drown the test's output
    }
    previousHandler(type, context, message);
}

bool endsWithEndCode(const QByteArray &bytes)
{
    return bytes.endsWith(endCode);
}

} // namespace

class TestScreenRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void recordsWhatIsOnScreen_data();
    void recordsWhatIsOnScreen();
    void packetsAreNumberedThroughTheDrain();
    void pauseDropsPicturesAndResumesWithoutGap();
    void stopRightAfterStartKeepsTheFirstPicture();
    void pauseRightAfterStartAndStopWhilePaused();
    void secondRecordingStartsFreshAndTruncates();
    void setUpFailures_data();
    void setUpFailures();
    void serverDyingEndsWithFrameError();
    void fullFileSystemIsAFailure();
    void killedRecordingLeavesDecodableFile_data();
    void killedRecordingLeavesDecodableFile();

private:
    QString path(const QString &name) const { return directory.filePath(name); }
    void useScreen(const QByteArray &display) { qputenv("DISPLAY", display); }
    void checkFinishedAndMutexFree(ScreenRecorder &recorder);

    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<ScreenPainter> painter;
    QTemporaryDir directory;
};

void TestScreenRecorder::initTestCase()
{
    avdevice_register_all();
    qRegisterMetaType<RecorderCrashCode>("RecorderCrashCode");
    previousHandler = qInstallMessageHandler(keepRecorderLog);
    QVERIFY(directory.isValid());
    // For looking at the recordings after a failure.
    directory.setAutoRemove(qEnvironmentVariableIsEmpty("ZINTORA_KEEP_TEST_FILES"));
    qInfo().noquote() << "recordings in" << directory.path();
    server = std::make_unique<XvfbServer>(QStringLiteral("1920x1080x24"));
    QVERIFY2(server->isRunning(), "Xvfb did not start");
    painter = std::make_unique<ScreenPainter>(server->display().toLocal8Bit());
    QVERIFY(painter->isOpen());
    QCOMPARE(painter->screenSize(), QSize(1920, 1080));
}

void TestScreenRecorder::init()
{
    useScreen(server->display().toLocal8Bit());
    recorderLog.clear();
}

void TestScreenRecorder::cleanupTestCase()
{
    painter.reset();
    server.reset();
    qInstallMessageHandler(previousHandler);
}

// A finished thread with its mutex free: both control calls take the mutex,
// so they would hang here if a failure path had left it locked.
void TestScreenRecorder::checkFinishedAndMutexFree(ScreenRecorder &recorder)
{
    QVERIFY(recorder.wait(20000));
    QVERIFY(recorder.isFinished());
    QVERIFY(!recorder.isRunning());
    recorder.togglePause();
    recorder.togglePause();
    recorder.stopRecording();
    recorder.stopRecording();
    QCoreApplication::sendPostedEvents();
}

void TestScreenRecorder::recordsWhatIsOnScreen_data()
{
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QColor>("areaColour");
    QTest::addColumn<QSize>("output");
    QTest::addColumn<int>("speedFactor");
    QTest::addColumn<int>("captureRate");
    QTest::addColumn<int>("seconds");

    // The area's colour differs from the rest of the screen, so a wrong
    // offset shows as the wrong colour.
    QTest::addRow("default settings") << QColor(Qt::blue) << QRect(0, 0, 640, 480)
                                      << QColor(Qt::red) << QSize(640, 480) << 1 << 30 << 2;
    QTest::addRow("full screen 1080p") << QColor(Qt::red) << QRect(0, 0, 1920, 1080)
                                       << QColor(Qt::red) << QSize(1920, 1080) << 1 << 30 << 2;
    QTest::addRow("offset area scaled down") << QColor(Qt::blue) << QRect(1000, 600, 640, 360)
                                             << QColor(Qt::red) << QSize(320, 180) << 1 << 30 << 2;
    QTest::addRow("timelapse at speed 10") << QColor(Qt::blue) << QRect(100, 200, 320, 240)
                                           << QColor(Qt::green) << QSize(320, 240) << 10 << 3 << 3;
}

void TestScreenRecorder::recordsWhatIsOnScreen()
{
    QFETCH(QColor, background);
    QFETCH(QRect, area);
    QFETCH(QColor, areaColour);
    QFETCH(QSize, output);
    QFETCH(int, speedFactor);
    QFETCH(int, captureRate);
    QFETCH(int, seconds);

    painter->fillScreen(background);
    painter->fill(area, areaColour);
    painter->sync();

    ScreenRecorder recorder;
    recorder.outputFileName = path(QStringLiteral("%1.mpg").arg(QTest::currentDataTag()));
    if (QByteArray(QTest::currentDataTag()) != "default settings") {
        recorder.captureOffsetX = area.x();
        recorder.captureOffsetY = area.y();
        recorder.captureWidth = area.width();
        recorder.captureHeight = area.height();
        recorder.outputWidth = output.width();
        recorder.outputHeight = output.height();
        recorder.speedFactor = speedFactor;
        recorder.bitRate = 8000000;
    }
    Listener listener(recorder);
    QElapsedTimer sinceStart;
    sinceStart.start();
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(!listener.progress.isEmpty(), 20000);
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() >= seconds * 1000 || !listener.crashes.isEmpty(),
                             seconds * 1000 + 10000);
    recorder.stopRecording();
    const double recordedSeconds = clock.elapsed() / 1000.0;
    const double secondsSinceStart = sinceStart.elapsed() / 1000.0;
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();
    QVERIFY(listener.crashes.isEmpty());
    QCOMPARE(recorder.finishError(), QString());

    const QByteArray bytes = fileBytes(recorder.outputFileName);
    QVERIFY(endsWithEndCode(bytes));
    QCOMPARE(qint64(bytes.size()), recorder.recordedBytes() + 4);

    const DecodedVideo video = decodeVideoFile(recorder.outputFileName);
    QVERIFY(video.opened);
    QVERIFY2(video.errors == 0, qPrintable(video.firstError));
    QCOMPARE(QSize(video.width, video.height), output);
    QCOMPARE(video.frameRateNum, 30);
    QCOMPARE(video.frameRateDen, 1);
    // One progress report per picture read, and every one of them is in the
    // file: none is lost in the encoder's reordering delay.
    QCOMPARE(video.frames, listener.progress.size());
    QCOMPARE(qint64(video.frames), recorder.recordedFrames());
    QCOMPARE(qint64(video.frames), recorder.stageTimes().pictures);
    // The capture paces the loop; a loaded machine may fall behind a little.
    // Grabbing starts during set-up, and the first report comes after the
    // first picture: bounds from both ends.
    const double expected = recordedSeconds * captureRate;
    const double atMost = secondsSinceStart * captureRate + 2;
    qInfo("%d pictures in %.2f s at %d per second (%.1f expected, %.1f at most)", video.frames,
          recordedSeconds, captureRate, expected, atMost);
    QVERIFY2(video.frames >= int(expected * 0.6) && video.frames <= atMost,
             qPrintable(QString::number(video.frames)));
    for (int i = 0; i < video.colours.size(); ++i)
        QVERIFY2(
            colourNear(video.colours[i], areaColour),
            qPrintable(QStringLiteral("picture %1 is %2").arg(i).arg(video.colours[i].name())));
}

// The debug line of every packet, numbered from 0 without a gap from the
// loop into the drain.
void TestScreenRecorder::packetsAreNumberedThroughTheDrain()
{
    painter->fillScreen(Qt::red);
    painter->sync();
    ScreenRecorder recorder;
    recorder.outputFileName = path(QStringLiteral("numbered.mpg"));
    recorder.captureWidth = recorder.outputWidth = 320;
    recorder.captureHeight = recorder.outputHeight = 240;
    Listener listener(recorder);
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= 8, 20000);
    recorder.stopRecording();
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();

    const QRegularExpression line(QStringLiteral("^Write frame +(\\d+) \\(size= *(\\d+)\\)$"));
    QStringList written = recorderLog.filter(QStringLiteral("Write frame"));
    qint64 total = 0;
    for (int i = 0; i < written.size(); ++i) {
        const QRegularExpressionMatch match = line.match(written[i]);
        QVERIFY2(match.hasMatch(), qPrintable(written[i]));
        QCOMPARE(match.captured(1).toInt(), i);
        total += match.captured(2).toLongLong();
    }
    QVERIFY(written.first().startsWith(QStringLiteral("Write frame   0 (size=")));
    const DecodedVideo video = decodeVideoFile(recorder.outputFileName);
    QCOMPARE(written.size(), video.frames);
    // The drain wrote packets after the last progress report.
    QVERIFY(listener.progress.last().first < written.size());
    QCOMPARE(total + 4, QFileInfo(recorder.outputFileName).size());
}

void TestScreenRecorder::pauseDropsPicturesAndResumesWithoutGap()
{
    painter->fillScreen(Qt::red);
    painter->sync();
    ScreenRecorder recorder;
    recorder.outputFileName = path(QStringLiteral("paused.mpg"));
    recorder.captureWidth = recorder.outputWidth = 320;
    recorder.captureHeight = recorder.outputHeight = 240;
    Listener listener(recorder);
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= 10, 20000);

    recorder.togglePause();
    QVERIFY(recorder.isPaused());
    // From here on the loop only reads; a green picture in the file would
    // be one that was grabbed while paused.
    painter->fillScreen(Qt::green);
    painter->sync();
    // Reports still queued from before the pause may come first; then the
    // numbers stand still for as long as the pause lasts.
    auto standingStill = [&listener](int count) {
        const int size = listener.progress.size();
        if (size < count)
            return false;
        for (int k = size - count; k < size; ++k)
            if (listener.progress[k] != listener.progress.last())
                return false;
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(standingStill(8), 20000);
    const int stillAt = listener.progress.size();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= stillAt + 5, 20000);
    QVERIFY(standingStill(13));
    const QPair<qint64, qint64> whilePaused = listener.progress.last();

    painter->fillScreen(Qt::red);
    painter->sync();
    recorder.togglePause();
    QVERIFY(!recorder.isPaused());
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.last().first >= whilePaused.first + 10, 20000);
    recorder.stopRecording();
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();

    const ScreenRecorder::StageTimes times = recorder.stageTimes();
    QCOMPARE(times.reads, qint64(listener.progress.size()));
    QVERIFY2(
        times.reads - times.pictures >= 13,
        qPrintable(QStringLiteral("%1 read, %2 encoded").arg(times.reads).arg(times.pictures)));
    const DecodedVideo video = decodeVideoFile(recorder.outputFileName);
    QVERIFY2(video.errors == 0, qPrintable(video.firstError));
    QCOMPARE(qint64(video.frames), times.pictures);
    QVERIFY(video.frames >= 20);
    for (int i = 0; i < video.colours.size(); ++i)
        QVERIFY2(
            colourNear(video.colours[i], Qt::red),
            qPrintable(QStringLiteral("picture %1 is %2").arg(i).arg(video.colours[i].name())));
}

// A stop asked for right after start() is not lost, and the picture the
// encoder holds back is drained into the file.
void TestScreenRecorder::stopRightAfterStartKeepsTheFirstPicture()
{
    painter->fillScreen(Qt::red);
    painter->sync();
    ScreenRecorder recorder;
    recorder.outputFileName = path(QStringLiteral("one.mpg"));
    Listener listener(recorder);
    recorder.start();
    recorder.stopRecording();
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();

    QCOMPARE(listener.progress.size(), 1);
    QVERIFY(listener.crashes.isEmpty());
    QCOMPARE(recorder.finishError(), QString());
    const QByteArray bytes = fileBytes(recorder.outputFileName);
    QVERIFY(endsWithEndCode(bytes));
    const DecodedVideo video = decodeVideoFile(recorder.outputFileName);
    QVERIFY2(video.errors == 0, qPrintable(video.firstError));
    QCOMPARE(video.frames, 1);
    QVERIFY(colourNear(video.colours.first(), Qt::red));
}

void TestScreenRecorder::pauseRightAfterStartAndStopWhilePaused()
{
    painter->fillScreen(Qt::red);
    painter->sync();
    ScreenRecorder recorder;
    recorder.outputFileName = path(QStringLiteral("pausedfromstart.mpg"));
    Listener listener(recorder);
    recorder.start();
    recorder.togglePause();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= 5, 20000);
    for (const auto &report : listener.progress)
        QCOMPARE(report, qMakePair(qint64(0), qint64(0)));
    QVERIFY(recorder.isPaused());
    recorder.stopRecording();
    QVERIFY(!recorder.isPaused());
    recorder.stopRecording(); // a second stop returns at once
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();
    QVERIFY(listener.crashes.isEmpty());
    QCOMPARE(recorder.finishError(), QString());
    QCOMPARE(recorder.stageTimes().pictures, qint64(0));
    QCOMPARE(fileBytes(recorder.outputFileName), endCode);
}

void TestScreenRecorder::secondRecordingStartsFreshAndTruncates()
{
    painter->fillScreen(Qt::red);
    painter->sync();
    ScreenRecorder recorder;
    Listener listener(recorder);
    recorder.captureWidth = recorder.outputWidth = 320;
    recorder.captureHeight = recorder.outputHeight = 240;

    recorder.outputFileName = path(QStringLiteral("first.mpg"));
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= 10, 20000);
    recorder.togglePause(); // left paused: the next recording must not start paused
    recorder.stopRecording();
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();
    const QByteArray first = fileBytes(recorder.outputFileName);
    const qint64 firstFrames = decodeVideoFile(recorder.outputFileName).frames;

    // An older, longer file of the same name.
    const QString second = path(QStringLiteral("second.mpg"));
    {
        QFile old(second);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1 << 20, 'x'));
    }
    listener.progress.clear();
    recorder.outputFileName = second;
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= 3, 20000);
    QVERIFY(listener.progress.first().first <= 1);
    QVERIFY(!recorder.isPaused());
    recorder.stopRecording();
    QVERIFY(recorder.wait(20000));
    QCoreApplication::sendPostedEvents();

    const QByteArray bytes = fileBytes(second);
    QCOMPARE(qint64(bytes.size()), recorder.recordedBytes() + 4);
    QVERIFY(bytes.startsWith(QByteArray("\x00\x00\x01\xB3", 4))); // a sequence header
    QVERIFY(endsWithEndCode(bytes));
    const DecodedVideo video = decodeVideoFile(second);
    QVERIFY2(video.errors == 0, qPrintable(video.firstError));
    QCOMPARE(qint64(video.frames), recorder.stageTimes().pictures);
    // The first file is untouched by the second recording.
    QCOMPARE(fileBytes(path(QStringLiteral("first.mpg"))), first);
    QVERIFY(firstFrames >= 10);
}

void TestScreenRecorder::setUpFailures_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QSize>("output");
    QTest::addColumn<int>("speedFactor");
    QTest::addColumn<QByteArray>("display"); // "-": unset
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const QString input = QStringLiteral("Couldn't open input stream.");
    QTest::addRow("area outside the screen") << QRect(1600, 0, 640, 480) << QSize(640, 480) << 1
                                             << QByteArray() << "a.mpg" << int(InputError) << input;
    QTest::addRow("negative offset") << QRect(-8, 0, 640, 480) << QSize(640, 480) << 1
                                     << QByteArray() << "b.mpg" << int(InputError) << input;
    QTest::addRow("no display") << QRect(0, 0, 640, 480) << QSize(640, 480) << 1 << QByteArray("-")
                                << "c.mpg" << int(InputError) << input;
    QTest::addRow("display without a server")
        << QRect(0, 0, 640, 480) << QSize(640, 480) << 1 << QByteArray(":59999") << "d.mpg"
        << int(InputError) << input;
    QTest::addRow("speed factor 0") << QRect(0, 0, 640, 480) << QSize(640, 480) << 0 << QByteArray()
                                    << "e.mpg" << int(InputError) << input;
    QTest::addRow("no output size")
        << QRect(0, 0, 640, 480) << QSize(0, 0) << 1 << QByteArray() << "f.mpg" << int(OutputError)
        << QStringLiteral("Could not open codec!");
    QTest::addRow("huge output size")
        << QRect(0, 0, 640, 480) << QSize(20000, 20000) << 1 << QByteArray() << "g.mpg"
        << int(OutputError) << QStringLiteral("Could not open codec!");
    QTest::addRow("folder does not exist")
        << QRect(0, 0, 640, 480) << QSize(640, 480) << 1 << QByteArray() << "missing/h.mpg"
        << int(OutputError) << QStringLiteral("Could not open file: %1");
}

// Each set-up failure: its one log line, exactly one crash with its code, no
// progress, no file, and the recorder ready for the next start.
void TestScreenRecorder::setUpFailures()
{
    QFETCH(QRect, area);
    QFETCH(QSize, output);
    QFETCH(int, speedFactor);
    QFETCH(QByteArray, display);
    QFETCH(QString, fileName);
    QFETCH(int, code);
    QFETCH(QString, message);

    if (display == "-")
        qunsetenv("DISPLAY");
    else if (!display.isEmpty())
        useScreen(display);

    ScreenRecorder recorder;
    recorder.outputFileName = path(fileName);
    recorder.captureOffsetX = area.x();
    recorder.captureOffsetY = area.y();
    recorder.captureWidth = area.width();
    recorder.captureHeight = area.height();
    recorder.outputWidth = output.width();
    recorder.outputHeight = output.height();
    recorder.speedFactor = speedFactor;
    Listener listener(recorder);
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(!listener.crashes.isEmpty(), 20000);
    checkFinishedAndMutexFree(recorder);

    QCOMPARE(listener.crashes, QVector<RecorderCrashCode>{RecorderCrashCode(code)});
    QVERIFY(listener.progress.isEmpty());
    QVERIFY(recorder.finishError().contains(recorder.outputFileName));
    QVERIFY(!QFile::exists(recorder.outputFileName));
    const QString expected =
        message.contains(QLatin1String("%1")) ? message.arg(recorder.outputFileName) : message;
    QVERIFY2(recorderLog.contains(expected), qPrintable(recorderLog.join(QLatin1Char('|'))));
}

void TestScreenRecorder::serverDyingEndsWithFrameError()
{
    XvfbServer doomed(QStringLiteral("640x480x24"));
    QVERIFY(doomed.isRunning());
    useScreen(doomed.display().toLocal8Bit());

    ScreenRecorder recorder;
    recorder.outputFileName = path(QStringLiteral("died.mpg"));
    recorder.captureWidth = recorder.outputWidth = 320;
    recorder.captureHeight = recorder.outputHeight = 240;
    Listener listener(recorder);
    recorder.start();
    QTRY_VERIFY_WITH_TIMEOUT(listener.progress.size() >= 10, 20000);
    doomed.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!listener.crashes.isEmpty(), 20000);
    checkFinishedAndMutexFree(recorder);

    QCOMPARE(listener.crashes, QVector<RecorderCrashCode>{FrameError});
    QVERIFY(recorder.finishError().contains(recorder.outputFileName));
    // What was written stays: every packet up to the last report, no end code.
    const QByteArray bytes = fileBytes(recorder.outputFileName);
    QCOMPARE(qint64(bytes.size()), listener.progress.last().second);
    QVERIFY(!endsWithEndCode(bytes));
    const DecodedVideo video = decodeVideoFile(recorder.outputFileName);
    QVERIFY2(video.errors == 0, qPrintable(video.firstError));
    QCOMPARE(qint64(video.frames), listener.progress.last().first);
}

// A write that fails for lack of space ends the recording as a failure: in
// the frame loop through FrameError, in the drain through finishError().
void TestScreenRecorder::fullFileSystemIsAFailure()
{
    const QString mountPoint = path(QStringLiteral("full"));
    QVERIFY(QDir().mkpath(mountPoint));
    QProcess mount;
    mount.start(QStringLiteral("mount"),
                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                 QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint});
    if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit ||
        mount.exitCode() != 0)
        QSKIP("cannot mount a tmpfs here (needs root)");
    struct Unmount
    {
        QString point;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), point}); }
    } unmount{mountPoint};

    // Fill it up completely.
    {
        QFile filler(mountPoint + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write(block.constData(), 1) == 1) {
        }
    }
    painter->fillScreen(Qt::red);
    painter->sync();

    {
        ScreenRecorder recorder;
        recorder.outputFileName = mountPoint + QStringLiteral("/loop.mpg");
        Listener listener(recorder);
        recorder.start();
        QTRY_VERIFY_WITH_TIMEOUT(!listener.crashes.isEmpty(), 20000);
        checkFinishedAndMutexFree(recorder);
        QCOMPARE(listener.crashes, QVector<RecorderCrashCode>{FrameError});
        const QStringList lines = recorderLog.filter(QStringLiteral("Could not write file"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(recorder.outputFileName) &&
                     lines.first().contains(QStringLiteral("No space left on device")),
                 qPrintable(lines.first()));
        QVERIFY(recorder.finishError().contains(recorder.outputFileName));
    }

    recorderLog.clear();
    {
        // Stopped before the encoder delivered a packet: the drain's write fails.
        ScreenRecorder recorder;
        recorder.outputFileName = mountPoint + QStringLiteral("/drain.mpg");
        Listener listener(recorder);
        recorder.start();
        recorder.stopRecording();
        QVERIFY(recorder.wait(20000));
        QCoreApplication::sendPostedEvents();
        QVERIFY(listener.crashes.isEmpty());
        QCOMPARE(listener.progress.size(), 1);
        QCOMPARE(listener.progress.first(), qMakePair(qint64(0), qint64(0)));
        const QString error = recorder.finishError();
        QVERIFY2(error.contains(recorder.outputFileName) &&
                     error.contains(QStringLiteral("No space left on device")),
                 qPrintable(error));
        QVERIFY(recorderLog.contains(error));
    }
}

void TestScreenRecorder::killedRecordingLeavesDecodableFile_data()
{
    QTest::addColumn<int>("speedFactor");
    QTest::addColumn<int>("framesBeforeKill");
    QTest::addRow("30 pictures per second") << 1 << 20;
    QTest::addRow("1 picture per second") << 30 << 2;
}

// Every packet reaches the file system as it is written, so a killed
// process loses at most the pictures the encoder still held.
void TestScreenRecorder::killedRecordingLeavesDecodableFile()
{
    QFETCH(int, speedFactor);
    QFETCH(int, framesBeforeKill);
    painter->fillScreen(Qt::red);
    painter->sync();

    const QString file = path(QStringLiteral("killed-%1.mpg").arg(speedFactor));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(RECORD_CHILD_PATH), {file, QString::number(speedFactor)});
    QVERIFY(child.waitForStarted(10000));

    qint64 frames = 0, size = 0;
    QElapsedTimer clock;
    clock.start();
    while (frames < framesBeforeKill && clock.elapsed() < 30000) {
        if (!child.canReadLine() && !child.waitForReadyRead(1000))
            continue;
        while (child.canReadLine()) {
            const QList<QByteArray> fields = child.readLine().trimmed().split(' ');
            QCOMPARE(fields.value(0), QByteArray("progress"));
            frames = fields.value(1).toLongLong();
            size = fields.value(2).toLongLong();
        }
    }
    QVERIFY(frames >= framesBeforeKill);
    child.kill(); // SIGKILL
    QVERIFY(child.waitForFinished(10000));

    // At least what the process had reported as written is in the file.
    const QByteArray bytes = fileBytes(file);
    QVERIFY2(bytes.size() >= size,
             qPrintable(QStringLiteral("%1 < %2").arg(bytes.size()).arg(size)));
    const DecodedVideo video = decodeVideoFile(file);
    QVERIFY2(video.errors == 0, qPrintable(video.firstError));
    QVERIFY(video.frames >= frames);
    for (const QColor &colour : video.colours)
        QVERIFY(colourNear(colour, Qt::red));
}

QTEST_GUILESS_MAIN(TestScreenRecorder)
#include "tst_screenrecorder.moc"
