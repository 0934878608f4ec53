#pragma once

#include "capturedevice.h"
#include "ffmpeg.h"
#include "recordercrashcode.h"

#include <QFile>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

class PictureConverter;

// The recording engine: one object serves every recording of the window;
// each recording runs in this object's thread (run()).
//
// States of a recording, driven by run() and the two flags:
//   Idle --start()--> SettingUp (mutex held) --ok--> Recording
//   SettingUp --a step fails--> Crashed (recorderCrashed, thread ends)
//   Recording <--togglePause()--> Paused (pictures read and thrown away)
//   Recording/Paused --stopRecording()--> Stopping: the iteration in
//       progress (or one more) runs, then Finishing
//   Recording/Paused --an iteration fails--> Crashed (FrameError)
//   Finishing (drain, end code, close; mutex held) --> Idle, thread ends
// Every path back to Idle or Crashed frees the recording's FFmpeg objects
// and closes the output file.
class ScreenRecorder : public QThread
{
    Q_OBJECT

public:
    // Time spent in each stage of the frame loop during the last recording,
    // totals in milliseconds of wall time (steady clock). Read after wait().
    struct StageTimes
    {
        qint64 pictures = 0;   // pictures converted and handed to the encoder
        qint64 reads = 0;      // packets read from the capture input, paused ones too
        double grabWaitMs = 0; // blocked in the capture read (waiting for the next picture)
        double decodeMs = 0;   // decoding the grabbed packet
        double convertMs = 0;  // pixel-format conversion and scaling
        double encodeMs = 0;   // encoding, including the drain at the end
        double writeMs = 0;    // appending packets to the file
    };

    explicit ScreenRecorder(QObject *parent = nullptr);
    ~ScreenRecorder() override;

    // Recording settings. Written by the GUI thread before start(), read by
    // the recorder thread during set-up only.
    QString outputFileName = QStringLiteral("new_recording.mpg");
    int captureOffsetX = 0;
    int captureOffsetY = 0;
    int captureWidth = 640;
    int captureHeight = 480;
    int outputWidth = 640;
    int outputHeight = 480;
    int frameRate = 30;
    int speedFactor = 1;
    int bitRate = 6000000;
    bool drawMouse = true;
    bool showRegion = false;

    // GUI thread. Clears the stop and pause flags and the result of the
    // previous recording, then starts the thread, so that a pause or stop
    // asked for right after this call is never lost. Does nothing while a
    // recording runs.
    void start(Priority priority = InheritPriority);

    // GUI thread. Asks the loop to end and clears the pause flag; returns at
    // once when a stop is already pending. Does not wait for the thread.
    void stopRecording();

    // GUI thread. Pauses a running recording or resumes a paused one.
    void togglePause();

    // Any thread.
    bool isPaused() const;

    // GUI thread, after wait(). Empty when the last recording was finished
    // cleanly (drained, end code written, file closed); otherwise what went
    // wrong, naming the file: a failed write while finishing (the window
    // shows it instead of the success message), or why the recording
    // crashed (recorderCrashed has been sent then).
    QString finishError() const;

    // GUI thread, after wait(): stage timings of the last recording.
    StageTimes stageTimes() const;

    // GUI thread, after wait(): packets and bytes the last recording wrote to
    // its file, those of the final drain included (the last progressUpdated
    // comes before the drain); the end code is not counted.
    qint64 recordedFrames() const;
    qint64 recordedBytes() const;

signals:
    // After every iteration of the frame loop: packets and bytes written so far.
    void progressUpdated(qint64 frames, qint64 size);
    // At most once per recording, just before the thread ends on a failure.
    void recorderCrashed(RecorderCrashCode);
    // Instead of recorderCrashed when the user or the desktop declined to
    // share the screen: nothing was recorded and no file was made. The
    // message says what happened and what to do.
    void captureRefused(const QString &message);

protected:
    void run() override;

private:
    // Steps of a recording; each runs in the recorder thread with the mutex
    // held and returns 0 on success, -1 after one log line on failure.
    void prepareCaptureOptions();
    int openInput();
    int openEncoder();
    int openOutputFile();
    int setUpConversion();
    int recordNextFrame();
    int encodePicture();
    int encodeAndWrite(const AVFrame *picture);
    static constexpr int writeFailed = 1;
    int writePacket(const AVPacket *packet);
    int finishRecording();
    void releaseRecording();
    void crash(QMutexLocker &locker, RecorderCrashCode code);
    void lockForControl();

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> paused{false};
    std::atomic<int> controlWaiting{0}; // GUI-thread requests waiting for the mutex
    mutable QMutex mutex;
    QString finishErrorText;
    QFile outputFile;

    // Recording state, recorder thread only.
    qint64 frameCount = 0;
    qint64 bytesWritten = 0;
    qint64 picturesEncoded = 0; // running presentation time of the encoder
    QString writeErrorText;     // why the last writePacket failed
    CaptureDevice captureDevice;
    StageTimes times;

    // FFmpeg objects of the current recording, each with one owner.
    ffmpeg::DictionaryPtr captureOptions;
    const AVInputFormat *inputFormat = nullptr;
    ffmpeg::InputContextPtr inputContext;
    int videoStreamIndex = -1;
    ffmpeg::CodecContextPtr decoderContext;
    ffmpeg::FramePtr decodedFrame;
    ffmpeg::PacketPtr inputPacket;
    ffmpeg::CodecContextPtr encoderContext;
    ffmpeg::PacketPtr outputPacket;
    ffmpeg::FramePtr scaledFrame;
    std::unique_ptr<PictureConverter> converter;
};
