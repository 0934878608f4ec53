// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capturesource.h"
#include "ffmpeg.h"
#include "recordercrashcode.h"

#include <QFile>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

class PictureConverter;
class VideoStream;

// The recording engine: one object serves every recording of the window;
// each recording runs in this object's thread (run()), which converts,
// encodes and writes, beside a capture thread that takes the pictures on a
// steady clock. The capture source is made at the first recording and kept
// until this object goes, so what it keeps between recordings (the
// desktop's permission to share a screen) lasts for the run of the program,
// in memory only.
//
// The file holds one picture per capture instant (see Timeline): when no
// new picture could be taken or encoded in time, an instant repeats the one
// before, so the video always lasts the recorded time at the chosen speed.
// Between the threads is a hand-over of a few pictures; when it is full the
// newest picture takes the place of the newest one waiting.
//
// States of a recording, driven by run() and the control flags:
//   Idle --start()--> Opening the capture (the desktop may ask the user
//       first; a stop meanwhile ends it)
//   Opening --declined, or stopped before sharing began--> Refused
//       (captureRefused, no file, thread ends)
//   Opening --opened--> Waiting for the first picture (a still Wayland
//       screen sends none until it changes: waitingForFirstPicture(true));
//       a stop ends it with no file and no message
//   Opening/Waiting --a step fails--> Crashed (recorderCrashed, no file)
//   Waiting --first picture--> Recording (the file is made now)
//   Recording <--togglePause()--> Paused (nothing taken; the paused time is
//       left out of the video)
//   Recording/Paused --stopRecording()--> Finishing: a picture being taken
//       when a pause or stop arrived is thrown away (the first picture of a
//       recording is kept); every picture taken before is written, then the
//       encoder is drained and the end code written
//   Recording --the screen goes away--> Finishing, then Crashed (FrameError)
//   Recording --encoding or writing fails--> Crashed (FrameError)
//   Finishing --> Idle, thread ends
// Every path back to Idle, Refused or Crashed frees the recording's FFmpeg
// objects, closes the capture and closes the output file.
class ScreenRecorder : public QThread
{
    Q_OBJECT

public:
    // What the last recording did, for the benchmark. Read after wait().
    struct StageTimes
    {
        qint64 pictures = 0;   // new pictures converted and encoded
        qint64 repeats = 0;    // instants that repeat the picture before
        qint64 reads = 0;      // pictures taken from the capture source
        int handoverPeak = 0;  // most pictures waiting between the threads
        double grabWaitMs = 0; // waiting for the next capture instant
        double decodeMs = 0;   // the source turning what it grabbed into pictures
        double convertMs = 0;  // pixel-format conversion and scaling
        double encodeMs = 0;   // encoding, including the drain at the end
        double writeMs = 0;    // appending pictures to the file
        // When the first picture was taken: instant 0 of the file.
        std::chrono::steady_clock::time_point firstTaken;
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

    // GUI thread, while no recording runs: where the next recordings take
    // their pictures from (by default the desktop's, createCaptureSource()).
    void setCaptureSourceFactory(std::function<std::unique_ptr<CaptureSource>()> factory);

    // GUI thread. Ends the recording that runs, or that start() has just
    // begun, and clears the pause flag. Returns at once; the thread finishes
    // the file behind it (wait() for that). Harmless when nothing runs: a
    // stop is never left over for the next recording. While the capture is
    // being opened (the desktop's sharing dialog may be up) it ends the
    // recording with captureRefused, an empty message and no file.
    void stopRecording();

    // GUI thread. Pauses a running recording or resumes a paused one;
    // nothing while no recording runs.
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
    //   area outside the screen, or the screen cast failing);
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
    // A failure before anything was written leaves no file.
    QString finishError() const;

    // GUI thread, after wait(): what the last recording did.
    StageTimes stageTimes() const;

    // GUI thread, after wait(): pictures and bytes of them that the last
    // recording left in its file, those of the final drain included (the
    // last progressUpdated comes before the drain); the end code is not
    // counted. After a failed write, what remains after the file was cut
    // back. Zero after a refusal or a set-up failure.
    qint64 recordedFrames() const;
    qint64 recordedBytes() const;

signals:
    // Pictures and bytes the file holds, as they grow.
    void progressUpdated(qint64 frames, qint64 size);
    // At most once per recording, just before the thread ends on a failure.
    void recorderCrashed(RecorderCrashCode);
    // Instead of recorderCrashed when the user or the desktop declined to
    // share the screen: nothing was recorded and no file was made. The
    // message says what happened and what to do. It is empty when the user
    // pressed Stop before sharing began: then the window shows nothing.
    // Sent with the mutex free, just before the thread ends.
    void captureRefused(const QString &message);
    // True when the capture is open but its first picture has not come (a
    // still Wayland screen sends none until something changes); false when
    // it came and the file is made.
    void waitingForFirstPicture(bool waiting);

protected:
    void run() override;

private:
    struct Grab
    {
        ffmpeg::FramePtr picture;
        qint64 instant = -1;
    };

    // Recorder thread.
    CaptureRequest prepareRecording();
    int openEncoder();
    int openOutputFile();
    int startOutput(const AVFrame *first);
    int encodeLoop();
    int recordPicture(Grab grab);
    int streamFailed(int result);
    int writePacket(const uint8_t *data, int size);
    void cutBackToWholePackets();
    // Empty when the end code was written (or the file's end is damaged
    // anyway); otherwise why it is missing.
    QString writeEndCodeIfItFits();
    int finishRecording();
    void stopCapture();
    void releaseRecording(bool failed);
    QString failure(RecorderCrashCode code, const QString &what, const QString &reason) const;
    void crash(RecorderCrashCode code);

    // Capture thread.
    void capture();
    void handOver(ffmpeg::FramePtr picture, qint64 instant);

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> paused{false};
    // Guards the hand-over, the control epoch and what the capture thread
    // reports; held only for moments, never while a picture is taken,
    // converted or encoded.
    mutable QMutex mutex;
    QWaitCondition changed;   // hand-over or control
    quint64 controlEpoch = 0; // counts pauses, resumes and stops
    std::deque<Grab> handover;
    int handoverCapacity = 1;
    qint64 covered = -1; // the last instant with a picture or known to repeat
    bool captureEnded = false;
    bool captureQuit = false; // the recorder thread no longer wants pictures
    int captureResult = 0;    // why it ended: 0 for a stop
    QString captureError;
    std::thread captureThread;

    QString finishErrorText;
    QFile outputFile;
    std::function<std::unique_ptr<CaptureSource>()> sourceFactory;

    // Recording state, recorder thread only.
    qint64 frameCount = 0;
    qint64 bytesWritten = 0;   // of whole pictures, all in the file
    qint64 repeatedUntil = -1; // the last instant given to the stream
    bool fileCreated = false;
    std::atomic<bool> waited{false}; // the capture said it waits for the first picture
    QString writeErrorText;          // why the last write failed
    bool fileDamaged = false;        // a partial write could not be cut back
    StageTimes times;
    std::unique_ptr<CaptureSource> source; // kept from recording to recording

    // FFmpeg objects of the current recording, each with one owner.
    ffmpeg::CodecContextPtr encoderContext;
    std::unique_ptr<VideoStream> stream;
    std::unique_ptr<PictureConverter> converter;
};
