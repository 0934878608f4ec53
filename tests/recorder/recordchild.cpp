// Records the screen named by DISPLAY into a file until it is killed,
// printing every progress report on a line of its own, so that a test can
// kill it in the middle of a recording and look at what is left.
// Usage: recordchild FILE SPEEDFACTOR
#include "screenrecorder.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char *argv[])
{
    avdevice_register_all();
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: recordchild FILE SPEEDFACTOR\n");
        return 2;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("zintora.recorder.debug=false"));
    qRegisterMetaType<RecorderCrashCode>("RecorderCrashCode");

    ScreenRecorder recorder;
    recorder.outputFileName = QString::fromLocal8Bit(argv[1]);
    recorder.speedFactor = QByteArray(argv[2]).toInt();
    recorder.captureWidth = recorder.outputWidth = 320;
    recorder.captureHeight = recorder.outputHeight = 240;
    recorder.drawMouse = false;
    QObject::connect(&recorder, &ScreenRecorder::progressUpdated, &app,
                     [](qint64 frames, qint64 size) {
                         std::printf("progress %lld %lld\n", (long long)frames, (long long)size);
                         std::fflush(stdout);
                     });
    QObject::connect(&recorder, &ScreenRecorder::recorderCrashed, &app, [](RecorderCrashCode code) {
        std::printf("crashed %d\n", int(code));
        std::fflush(stdout);
        QCoreApplication::exit(1);
    });
    recorder.start();
    const int result = app.exec();
    recorder.stopRecording();
    recorder.wait();
    return result;
}
