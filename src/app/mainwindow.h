// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "captureroute.h"
#include "desktopscreens.h"
#include "qualitypresets.h"
#include "recordercrashcode.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <QVector>

#include <functional>
#include <memory>

class QNetworkReply;
class ScreenRecorder;
class TransparentWindow;

namespace Ui {
class MainWindow;
}

// The one window of the program. It holds the settings of the next
// recording, drives the recorder thread and shows what it reports.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The screens and the session default to this run's; tests hand in
    // their own.
    explicit MainWindow(QWidget *parent = nullptr,
                        std::unique_ptr<DesktopScreens> screens = nullptr,
                        const CaptureSession &session = currentCaptureSession());
    ~MainWindow() override;

    // The address the update check asks; the build's update host by default.
    void setUpdateEndpoint(const QUrl &url) { updateEndpoint = url; }
    // How long an update check may take; updateCheckDeadlineMs by default.
    void setUpdateDeadline(int ms) { updateDeadlineMs = ms; }
    // The clock that names recordings; the local time by default.
    void setClock(std::function<QDateTime()> now) { clock = std::move(now); }

signals:
    void recordingAreaChanged();

protected:
    // A recording still running is finished as by Stop before the window goes.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_startButton_clicked();
    void onProgressUpdated(qint64 frames, qint64 filesize);
    void onRecorderCrashed(RecorderCrashCode code);
    void onCaptureRefused(const QString &message);
    void onWaitingForFirstPicture(bool waiting);
    void toggleDisabledInputs();
    void onRecordingAreaChanged();
    void onApplicationStateChanged(Qt::ApplicationState state);
    void onAreaSelected(QPoint start, QPoint end);
    void onSelectAreaWindowClosed();
    void onPollFinished(QNetworkReply *poll_result);
    void onShowRecAreaButtonTimerTimeout();
    void on_destFolderButton_clicked();
    void on_destFolderField_textChanged(const QString &Text);
    void on_recSpeedSlider_valueChanged(int value);
    void on_stopButton_clicked();
    void on_RecAreaFullscreenButton_clicked();
    void on_recordingAreaInputW_textChanged(const QString &text);
    void on_recordingAreaInputH_textChanged(const QString &text);
    void on_recordingAreaInputX_textChanged(const QString &text);
    void on_recordingAreaInputY_textChanged(const QString &text);
    void on_actionExit_triggered();
    void on_actionAbout_triggered();
    void on_actionCheck_for_updates_triggered();
    void on_SelectRecAreaButton_clicked();
    void on_showRecAreaButton_clicked();
    void on_ScreenComboBox_currentIndexChanged(int index);

private:
    void fillScreenList();
    void setRecordingAreaFullscreen();
    void setAreaField(int &field, const QString &text);
    // Why an area input cannot be taken as it reads, or empty.
    QString unfinishedAreaInput() const;

    // The union of the screens, in device pixels.
    QRect desktopArea() const;
    // Why an area cannot be recorded with the given quality row (-1: no row
    // fits), or empty; shown as "Invalid recording area".
    QString areaRefusal(int x, int y, int w, int h, int row) const;
    // The destination folder, absolute, "~" expanded.
    QString destination() const;
    QString makeRecordingFileName() const;
    void applySettingsToRecorder();
    // Stops a running recording and waits until its file is complete. Returns
    // what went wrong while finishing it, or empty.
    QString finishRecording();
    // The buttons and inputs of Idle after a recording ended, however it ended.
    void showIdle();
    // The one box of a recording that failed: which file, what it kept, why.
    void showRecorderCrashed();

    ScreenRecorder *recorder = nullptr;
    QString destFolder;
    QString currentFileName;
    int recordingAreaX = 0;
    int recordingAreaY = 0;
    int recordingAreaW = 0;
    int recordingAreaH = 0;
    int recSpeedFactor = 1;
    QString versionString;
    QVector<QualityPreset> qualityPresets;
    Ui::MainWindow *ui = nullptr;
    // The file label as it was before the latest start.
    QString fileLabelBefore;
    TransparentWindow *selectAreaWindow = nullptr;

    std::unique_ptr<DesktopScreens> screens;
    // How this run records the desktop.
    CaptureRoute route;
    QUrl updateEndpoint;
    int updateDeadlineMs;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
};
