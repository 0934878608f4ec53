// Records the screen named by DISPLAY into FILE until it is killed, printing
// "FRAMES BYTES" after every picture, so that a test can kill it in the
// middle of a recording and look at what is left.
// Usage: recordchild FILE
#include "screenrecorder.h"

#include <cstdio>

int main(int, char *argv[])
{
    avdevice_register_all();
    ScreenRecorder recorder;
    recorder.outputFileName = QString::fromLocal8Bit(argv[1]);
    // Straight from the recorder thread: this process has no event loop.
    QObject::connect(&recorder, &ScreenRecorder::progressUpdated, [](qint64 frames, qint64 size) {
        std::printf("%lld %lld\n", (long long)frames, (long long)size);
        std::fflush(stdout);
    });
    recorder.start();
    recorder.wait(); // until killed, or the recording fails
    return 1;
}
