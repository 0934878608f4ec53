#pragma once

#include "capturesource.h"
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
// each recording runs in this object's thread (run()). The capture source is
// made at the first recording and kept until this object goes, so what it
// keeps between recordings (the desktop's permission to share a screen)
// lasts for the run of the program, in memory only.
//
// States of a recording, driven by run() and the two flags:
//   Idle --start()--> Opening the capture (no mutex held: the desktop may
//       ask the user first; a stop meanwhile ends it through the stop flag)
//   Opening --declined, or stopped before sharing began--> Refused
//       (captureRefused, no file, thread ends)
//   Opening --opened--> SettingUp (encoder, file, conversion; mutex held)
//   Opening/SettingUp --a step fails--> Crashed (recorderCrashed, thread ends)
//   SettingUp --ok--> Recording
//   Recording <--togglePause()--> Paused (pictures taken and thrown away)
//   Recording/Paused --stopRecording()--> Stopping: the picture being
//       taken is thrown away (the first picture of a recording is kept),
//       then Finishing
//   Recording/Paused --an iteration fails--> Crashed (FrameError)
//   Finishing (drain, end code, close; mutex held) --> Idle, thread ends
// Every path back to Idle, Refused or Crashed frees the recording's FFmpeg
// objects, closes the capture and closes the output file.
class ScreenRecorder : public QThread
{
    Q_OBJECT

public:
    // Time spent in each stage of the frame loop during the last recording,
    // totals in milliseconds of wall time (steady clock). Read after wait().
    struct StageTimes
    {
        qint64 pictures = 0;   // pictures converted and handed to the encoder
        qint64 reads = 0;      // pictures taken from the capture source, paused ones too
        double grabWaitMs = 0; // waiting in the capture source for the next capture instant
        double decodeMs = 0;   // the source turning what it grabbed into pictures
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
    // The desktop's screens in the coordinates of the capture area.
    QVector<QRect> screenGeometries;

    // GUI thread. Clears the stop and pause flags and the result of the
    // previous recording, then starts the thread, so that a pause or stop
    // asked for right after this call is never lost. Does nothing while a
    // recording runs.
    void start(Priority priority = InheritPriority);

    // GUI thread. Asks the loop to end and clears the pause flag; returns at
    // once when a stop is already pending. Does not wait for the thread, and
    // never blocks while the capture is being opened (the desktop's sharing
    // dialog may be up): a stop then ends the recording with captureRefused
    // and an empty message, and no file.
    void stopRecording();

    // GUI thread. Pauses a running recording or resumes a paused one.
    void togglePause();

    // Any thread.
    bool isPaused() const;

    // GUI thread, after wait(). Empty when the last recording was finished
    // cleanly (drained, end code written, file closed) or was refused
    // (captureRefused). Otherwise one or two sentences for the user that
    // name the file and the cause, the system's own words where there are
    // some ("No space left on device"):
    // - recorderCrashed(InputError): "Could not record FILE: the screen could
    //   not be captured: REASON" (REASON from the capture source, e.g. the
    //   area outside the screen, or no picture from the screen cast);
    // - recorderCrashed(OutputError): "Could not record FILE: the video
    //   encoder ...: REASON", "Could not create file FILE: REASON" (also when
    //   the file already exists: it is never truncated or replaced), or the
    //   conversion of the captured pictures that cannot be made;
    // - recorderCrashed(FrameError): "Could not write file FILE: REASON", or
    //   "Recording FILE ended early: ...: REASON" when a picture could not be
    //   captured, converted or encoded;
    // - no signal, failure while finishing (the drain at Stop, the end code,
    //   the close): "Could not write file FILE: REASON" or "Could not close
    //   file FILE: REASON". The window shows it as a failed recording; the
    //   engine sends no signal for it because the thread ends as usual.
    // After a failed write the file is cut back to its last whole picture and
    // ends with the end code when there is room for it, so it plays to its
    // last picture; recordedFrames() and recordedBytes() say what it holds.
    QString finishError() const;

    // GUI thread, after wait(): stage timings of the last recording.
    StageTimes stageTimes() const;

    // GUI thread, after wait(): packets (one per picture) and bytes of them
    // that the last recording left in its file, those of the final drain
    // included (the last progressUpdated comes before the drain); the end
    // code is not counted. After a failed write, what remains after the file
    // was cut back. Zero after a refusal or a set-up failure.
    qint64 recordedFrames() const;
    qint64 recordedBytes() const;

signals:
    // After every iteration of the frame loop: packets and bytes written so far.
    void progressUpdated(qint64 frames, qint64 size);
    // At most once per recording, just before the thread ends on a failure.
    void recorderCrashed(RecorderCrashCode);
    // Instead of recorderCrashed when the user or the desktop declined to
    // share the screen: nothing was recorded and no file was made. The
    // message says what happened and what to do. It is empty when the user
    // pressed Stop before sharing began: then the window shows nothing.
    // Sent with the mutex free, just before the thread ends.
    void captureRefused(const QString &message);

protected:
    void run() override;

private:
    // Steps of a recording; each runs in the recorder thread with the mutex
    // held and returns 0 on success, or -1 after one log line, with
    // finishErrorText saying why.
    CaptureRequest prepareRecording();
    int openEncoder();
    int openOutputFile();
    int setUpConversion();
    // Without the mutex: waits for the next capture instant and takes its
    // picture into capturedFrame; returns what the source's nextPicture() did.
    int grabPicture();
    // With the mutex: keeps, converts and encodes what grabPicture() took.
    int recordNextFrame(int grabbed);
    int encodePicture();
    int encodeAndWrite(const AVFrame *picture);
    static constexpr int writeFailed = 1;
    static constexpr int captureLost = 2; // recordNextFrame(): the source ended
    int writePacket(const AVPacket *packet);
    void cutBackToWholePackets();
    // Empty when the end code was written (or the file's end is damaged
    // anyway); otherwise why it is missing.
    QString writeEndCodeIfItFits();
    int finishRecording();
    void releaseRecording();
    QString failure(RecorderCrashCode code, const QString &what, const QString &reason) const;
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
    qint64 bytesWritten = 0;    // of whole packets, all in the file
    qint64 picturesEncoded = 0; // running presentation time of the encoder
    QString writeErrorText;     // why the last write failed
    bool fileDamaged = false;   // a partial write could not be cut back
    StageTimes times;
    std::unique_ptr<CaptureSource> source; // kept from recording to recording

    // FFmpeg objects of the current recording, each with one owner.
    ffmpeg::FramePtr capturedFrame;
    ffmpeg::CodecContextPtr encoderContext;
    ffmpeg::PacketPtr outputPacket;
    ffmpeg::FramePtr scaledFrame;
    std::unique_ptr<PictureConverter> converter;
};
