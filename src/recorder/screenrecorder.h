#pragma once

#include "recordercrashcode.h"

#include <QFile>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

// The recording engine: one object serves every recording of the window;
// each recording runs in this object's thread (run()).
class ScreenRecorder : public QThread
{
    Q_OBJECT

public:
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
    // asked for right after this call is never lost.
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
    // wrong while finishing it, naming the file.
    QString finishError() const;

signals:
    // After every iteration of the frame loop: packets and bytes written so far.
    void progressUpdated(qint64 frames, qint64 size);
    // At most once per recording, just before the thread ends on a failure.
    void recorderCrashed(RecorderCrashCode);

protected:
    void run() override;

private:
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> paused{false};
    mutable QMutex mutex;
    QString finishErrorText;
};
