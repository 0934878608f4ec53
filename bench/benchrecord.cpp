// SPDX-License-Identifier: GPL-3.0-or-later
// One benchmark recording with ScreenRecorder, in a process of its own so
// that its CPU time and peak memory are the recorder's alone. Records the
// given area for a fixed time, then prints what it measured as key=value
// lines for bench/run.sh.

#include "screenrecorder.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>

namespace {

void printStageTimes(const ScreenRecorder &recorder)
{
    const ScreenRecorder::StageTimes t = recorder.stageTimes();
    // Reads are per picture taken, the other stages per new picture.
    const double n = t.pictures > 0 ? double(t.pictures) : 1.0;
    const double reads = t.reads > 0 ? double(t.reads) : 1.0;
    std::printf("timeline_pictures=%lld\n", static_cast<long long>(recorder.recordedFrames()));
    std::printf("new_pictures=%lld\n", static_cast<long long>(t.pictures));
    std::printf("repeated_pictures=%lld\n", static_cast<long long>(t.repeats));
    std::printf("pictures_taken=%lld\n", static_cast<long long>(t.reads));
    std::printf("handover_peak=%d\n", t.handoverPeak);
    std::printf("stage_pictures=%lld\n", static_cast<long long>(t.pictures));
    std::printf("stage_grab_ms=%.2f\n", t.grabWaitMs / reads);
    std::printf("stage_decode_ms=%.2f\n", t.decodeMs / reads);
    std::printf("stage_convert_ms=%.2f\n", t.convertMs / n);
    std::printf("stage_encode_ms=%.2f\n", t.encodeMs / n);
    std::printf("stage_write_ms=%.2f\n", t.writeMs / n);
}

// Resident set size now, from the kernel's view of this process, in KiB.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double seconds(const timeval &tv)
{
    return tv.tv_sec + tv.tv_usec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    avdevice_register_all();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Records the screen with ScreenRecorder for a fixed time."));
    parser.addHelpOption();
    const QCommandLineOption outputOpt(QStringLiteral("output"), QStringLiteral("Output file."),
                                       QStringLiteral("file"));
    const QCommandLineOption captureOpt(QStringLiteral("capture"),
                                        QStringLiteral("Capture area as WxH+X+Y."),
                                        QStringLiteral("area"), QStringLiteral("1920x1080+0+0"));
    const QCommandLineOption sizeOpt(QStringLiteral("size"), QStringLiteral("Output size as WxH."),
                                     QStringLiteral("size"));
    const QCommandLineOption bitRateOpt(QStringLiteral("bitrate"),
                                        QStringLiteral("Bit rate in bits per second."),
                                        QStringLiteral("bps"), QStringLiteral("8000000"));
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"),
                                        QStringLiteral("How long to record."), QStringLiteral("s"),
                                        QStringLiteral("20"));
    const QCommandLineOption speedOpt(QStringLiteral("speed"), QStringLiteral("Speed factor."),
                                      QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption sampleOpt(QStringLiteral("rss-sample-at"),
                                       QStringLiteral("Also note the RSS after this many seconds."),
                                       QStringLiteral("s"), QStringLiteral("60"));
    parser.addOptions(
        {outputOpt, captureOpt, sizeOpt, bitRateOpt, secondsOpt, speedOpt, sampleOpt});
    parser.process(app);

    int cw = 0, ch = 0, cx = 0, cy = 0, ow = 0, oh = 0;
    const QByteArray capture = parser.value(captureOpt).toLatin1();
    if (std::sscanf(capture.constData(), "%dx%d+%d+%d", &cw, &ch, &cx, &cy) != 4) {
        std::fprintf(stderr, "benchrecord: --capture wants WxH+X+Y, got %s\n", capture.constData());
        return 2;
    }
    ow = cw;
    oh = ch;
    if (parser.isSet(sizeOpt)) {
        const QByteArray size = parser.value(sizeOpt).toLatin1();
        if (std::sscanf(size.constData(), "%dx%d", &ow, &oh) != 2) {
            std::fprintf(stderr, "benchrecord: --size wants WxH, got %s\n", size.constData());
            return 2;
        }
    }
    if (!parser.isSet(outputOpt)) {
        std::fprintf(stderr, "benchrecord: --output is required\n");
        return 2;
    }
    const double duration = parser.value(secondsOpt).toDouble();
    const double sampleAt = parser.value(sampleOpt).toDouble();

    ScreenRecorder recorder;
    recorder.outputFileName = parser.value(outputOpt);
    recorder.captureOffsetX = cx;
    recorder.captureOffsetY = cy;
    recorder.captureWidth = cw;
    recorder.captureHeight = ch;
    recorder.outputWidth = ow;
    recorder.outputHeight = oh;
    recorder.bitRate = parser.value(bitRateOpt).toInt();
    recorder.speedFactor = parser.value(speedOpt).toInt();

    // Direct connections: the numbers are only stored, and the crash code
    // need not be registered for a queued call.
    std::atomic<qint64> frames{0}, bytes{0}, firstPictureMs{-1};
    std::atomic<int> crashCode{-1};
    QElapsedTimer clock;
    QObject::connect(
        &recorder, &ScreenRecorder::progressUpdated, &recorder,
        [&](qint64 f, qint64 b) {
            frames = f;
            bytes = b;
            qint64 unset = -1;
            firstPictureMs.compare_exchange_strong(unset, clock.elapsed());
        },
        Qt::DirectConnection);
    QObject::connect(
        &recorder, &ScreenRecorder::recorderCrashed, &recorder,
        [&](RecorderCrashCode code) { crashCode = static_cast<int>(code); }, Qt::DirectConnection);
    QObject::connect(&recorder, &QThread::finished, &app, &QCoreApplication::quit);

    // The fixed time runs from start(), as a user's recording does from the
    // press of Start: the set-up counts against the pictures delivered.
    clock.start();
    const auto started = std::chrono::steady_clock::now();
    long rssSample = -1;
    QTimer::singleShot(int(sampleAt * 1000), Qt::PreciseTimer, &app,
                       [&] { rssSample = residentKiB(); });
    // The end sample is taken while the recording still runs (after wait()
    // its buffers are freed). How long stopRecording() blocks is how long a
    // user's Stop waits for the loop to let go of the mutex.
    long rssAtStop = -1;
    qint64 framesAtStop = -1, stopBlockedUs = -1;
    QTimer::singleShot(int(duration * 1000), Qt::PreciseTimer, &app, [&] {
        rssAtStop = residentKiB();
        framesAtStop = frames;
        QElapsedTimer blocked;
        blocked.start();
        recorder.stopRecording();
        stopBlockedUs = blocked.nsecsElapsed() / 1000;
    });
    recorder.start();
    app.exec();
    recorder.wait();
    const double wall = clock.elapsed() / 1000.0;

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("wall_s=%.3f\n", wall);
    std::printf("first_picture_ms=%lld\n", static_cast<long long>(firstPictureMs.load()));
    std::printf("progress_frames=%lld\n", static_cast<long long>(frames.load()));
    std::printf("progress_bytes=%lld\n", static_cast<long long>(bytes.load()));
    std::printf("cpu_user_s=%.3f\n", seconds(ru.ru_utime));
    std::printf("cpu_sys_s=%.3f\n", seconds(ru.ru_stime));
    std::printf("peak_rss_kib=%ld\n", ru.ru_maxrss);
    if (sampleAt < duration)
        std::printf("rss_sample_kib=%ld\n", rssSample);
    std::printf("rss_at_stop_kib=%ld\n", rssAtStop);
    std::printf("frames_at_stop=%lld\n", static_cast<long long>(framesAtStop));
    std::printf("stop_blocked_ms=%.1f\n", stopBlockedUs / 1000.0);
    std::printf("rss_after_kib=%ld\n", residentKiB());
    std::printf("crash_code=%d\n", crashCode.load());
    std::printf("finish_error=%s\n", recorder.finishError().toUtf8().constData());
    printStageTimes(recorder);
    const auto firstTaken = recorder.stageTimes().firstTaken;
    if (firstTaken != std::chrono::steady_clock::time_point())
        std::printf("first_taken_ms=%.1f\n",
                    std::chrono::duration<double, std::milli>(firstTaken - started).count());
    return crashCode.load() >= 0 || !recorder.finishError().isEmpty() ? 1 : 0;
}
