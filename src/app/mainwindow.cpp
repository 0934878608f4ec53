// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "aboutbox.h"
#include "desktopscreens.h"
#include "screenrecorder.h"
#include "transparentwindow.h"
#include "ui_mainwindow.h"
#include "updatecheck.h"

#include <QApplication>
#include <QIntValidator>
#include <QStandardPaths>

MainWindow::MainWindow(QWidget *parent, std::unique_ptr<DesktopScreens> desktopScreens,
                       const CaptureSession &session)
    : QMainWindow(parent), screens(std::move(desktopScreens)), route(captureRoute(session)),
      updateEndpoint(defaultUpdateEndpoint()), updateDeadlineMs(updateCheckDeadlineMs)
{
    if (!screens)
        screens = std::make_unique<QtDesktopScreens>();

    destFolder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    currentFileName = QStringLiteral("new_recording.mpg");
    recSpeedFactor = 1;
    versionString = currentVersion();
    qualityPresets = makeQualityPresets();

    ui = new Ui::MainWindow;
    selectAreaWindow = nullptr;
    ui->setupUi(this);

    fillScreenList();

    // Shown and hidden once so that its native window exists before the first
    // opening.
    selectAreaWindow = new TransparentWindow(this, screens.get(), route.placesWindows);
    selectAreaWindow->setGeometry(screens->logicalGeometry(ui->ScreenComboBox->currentIndex()));
    selectAreaWindow->show();
    selectAreaWindow->hide();

    // Before any connection that carries it across threads.
    qRegisterMetaType<RecorderCrashCode>("RecorderCrashCode");
    recorder = new ScreenRecorder(this);

    connect(recorder, &ScreenRecorder::progressUpdated, this, &MainWindow::onProgressUpdated);
    connect(recorder, &ScreenRecorder::recorderCrashed, this, &MainWindow::onRecorderCrashed);
    connect(recorder, &ScreenRecorder::captureRefused, this, &MainWindow::onCaptureRefused);
    connect(recorder, &ScreenRecorder::waitingForFirstPicture, this,
            &MainWindow::onWaitingForFirstPicture);
    connect(this, &MainWindow::recordingAreaChanged, this, &MainWindow::onRecordingAreaChanged);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            &MainWindow::onApplicationStateChanged);
    connect(selectAreaWindow, &TransparentWindow::areaSelected, this, &MainWindow::onAreaSelected);
    connect(selectAreaWindow, &TransparentWindow::rejected, this,
            &MainWindow::onSelectAreaWindowClosed);

    ui->destFolderField->setText(destFolder);
    // An empty location leaves the text as it was, so the slot did not run.
    on_destFolderField_textChanged(destFolder);
    ui->stopButton->setEnabled(false);

    setRecordingAreaFullscreen();

    // The whole desktop, so that an area as wide as a larger second screen
    // can be typed. They limit typing only.
    const QRect desktop = desktopArea();
    ui->recordingAreaInputH->setValidator(new QIntValidator(0, desktop.height(), this));
    ui->recordingAreaInputW->setValidator(new QIntValidator(0, desktop.width(), this));

    // What the desktop does not allow is said where the user looks for it.
    if (!route.placesWindows)
        ui->showRecAreaButton->setToolTip(
            tr("Wayland lets no program draw on the screen outside its own windows, so the "
               "area cannot be outlined here."));
    if (!route.outlinesArea())
        ui->showRecordingAreaCheckBox->setToolTip(
            tr("Not available on Wayland: the desktop's screen sharing draws no outline around "
               "the area while recording."));
}

MainWindow::~MainWindow()
{
    // A window destroyed without being closed still leaves a finished file.
    if (recorder->isRunning())
        finishRecording();
    delete ui;
}

void MainWindow::on_actionExit_triggered()
{
    close();
}

void MainWindow::on_actionAbout_triggered()
{
    showAboutBox(this, versionString);
}
