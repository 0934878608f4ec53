// Starting, pausing and stopping a recording, and what it reports.
//
// The recording-control state is never stored; it is read from the recorder:
//   Idle       the recorder thread is not running
//   Recording  the thread runs and is not paused
//   Paused     the thread runs and is paused
// Start (Idle -> Recording), the start button again (Recording <-> Paused,
// also Recording -> Paused on focus) and Stop or closing the window
// (-> Idle, the file finished) are the transitions.
#include "mainwindow.h"

#include "desktopscreens.h"
#include "mainwindowlayout.h"
#include "recordingsettings.h"
#include "screenrecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>

QString MainWindow::makeRecordingFileName() const
{
    return unusedFileName(destFolder, recordingFileName(clock()),
                          [](const QString &path) { return QFileInfo::exists(path); });
}

QString MainWindow::startProblem() const
{
    QRect desktop;
    for (int i = 0; i < screens->count(); ++i)
        desktop = desktop.united(screens->geometry(i));
    const QString area =
        areaProblem(recordingAreaX, recordingAreaY, recordingAreaW, recordingAreaH, desktop);
    if (!area.isEmpty())
        return area;

    // The quality list is empty when the area is smaller than every row.
    const int row = ui->QualityComboBox->currentIndex();
    if (row < 0 || row >= qualityPresets.size())
        return tooSmallForAnyQuality(recordingAreaW, recordingAreaH, qualityPresets.first());

    // A very long, thin area can shrink to nothing along its short side.
    const QSize output = cappedOutputSize(recordingAreaW, recordingAreaH, qualityPresets.at(row));
    if (output.isEmpty())
        return tr("The recording area (%1x%2) is too narrow for the quality \"%3\": "
                  "the video would be %4x%5 pixels.")
            .arg(recordingAreaW)
            .arg(recordingAreaH)
            .arg(qualityPresets.at(row).label)
            .arg(output.width())
            .arg(output.height());
    return QString();
}

void MainWindow::applySettingsToRecorder()
{
    recorder->captureOffsetX = recordingAreaX;
    recorder->captureOffsetY = recordingAreaY;
    recorder->captureWidth = recordingAreaW;
    recorder->captureHeight = recordingAreaH;

    // startProblem() has made sure the row exists.
    const QualityPreset &row = qualityPresets.at(ui->QualityComboBox->currentIndex());
    const QSize output = cappedOutputSize(recordingAreaW, recordingAreaH, row);
    recorder->outputWidth = output.width();
    recorder->outputHeight = output.height();
    recorder->bitRate = row.bitRate;
    recorder->speedFactor = recSpeedFactor;
    recorder->showRegion = ui->showRecordingAreaCheckBox->isChecked();
    recorder->drawMouse = ui->showMouseCheckBox->isChecked();
}

void MainWindow::on_startButton_clicked()
{
    if (recorder->isRunning()) {
        recorder->togglePause();
        ui->startButton->setText(recorder->isPaused() ? tr("Resume") : tr("Pause"));
        return;
    }

    // Refused before anything is created: the grabber would fail on such an
    // area, and its failure ends the program.
    const QString problem = startProblem();
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid recording area"), problem);
        return;
    }

    if (!QDir().mkpath(destFolder)) {
        QMessageBox::warning(
            this, tr("Error"),
            tr("Couldn't create directory for target folder\n(Try with another folder)"));
        return;
    }

    currentFileName = makeRecordingFileName();
    recorder->outputFileName = destFolder + QLatin1Char('/') + currentFileName;
    applySettingsToRecorder();
    recorder->start(QThread::InheritPriority);

    ui->FilenameLabel->setText(tr("File: <b>") + currentFileName + tr("</b>"));
    ui->startButton->setText(tr("Pause"));
    ui->stopButton->setEnabled(true);
    toggleDisabledInputs();
}

QString MainWindow::finishRecording()
{
    recorder->stopRecording();
    // No time limit: the recorder drains its encoder and closes the file;
    // it never waits for this thread.
    recorder->wait();
    return recorder->finishError();
}

void MainWindow::on_stopButton_clicked()
{
    const QString error = finishRecording();
    ui->stopButton->setEnabled(false);
    ui->startButton->setText(tr("Start"));
    if (error.isEmpty())
        QMessageBox::information(this, tr("Status"),
                                 tr("Recording completed!\n\nVideo file has been saved to:\n") +
                                     destFolder + QLatin1Char('/') + currentFileName);
    else
        QMessageBox::warning(this, tr("Error"), error);
    toggleDisabledInputs();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (recorder && recorder->isRunning()) {
        // Finished like Stop, without the completion box; only a file that
        // could not be finished is worth holding the way out for.
        const QString error = finishRecording();
        if (!error.isEmpty())
            QMessageBox::warning(this, tr("Error"), error);
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::onProgressUpdated(qint64 frames, qint64 filesize)
{
    ui->timeCountLabel->setText(elapsedText(frames));
    ui->fileSizeLabel->setText(fileSizeText(filesize));
}

void MainWindow::onRecorderCrashed(RecorderCrashCode code)
{
    switch (code) {
    case InputError:
    case OutputError:
    case FrameError:
        QMessageBox::critical(this, tr("Recorder crashed"),
                              tr("Something is seriously wrong, dude."));
        // The thread ends by itself right after reporting; once it has, the
        // close below has no recording left to finish.
        recorder->wait();
        close();
        break;
    default:
        break;
    }
}

void MainWindow::toggleDisabledInputs()
{
    QWidget *const inputs[] = {
        ui->destFolderButton,          ui->destFolderField,     ui->RecAreaFullscreenButton,
        ui->recordingAreaInputX,       ui->recordingAreaInputY, ui->recordingAreaInputH,
        ui->recordingAreaInputW,       ui->recSpeedSlider,      ui->showMouseCheckBox,
        ui->showRecordingAreaCheckBox, ui->QualityComboBox,
    };
    for (QWidget *input : inputs)
        input->setEnabled(!input->isEnabled());
}

void MainWindow::onApplicationStateChanged(Qt::ApplicationState state)
{
    if (state != Qt::ApplicationActive)
        return;
    if (ui->pauseOnFocusCheckBox->isChecked() && recorder->isRunning() && !recorder->isPaused()) {
        recorder->togglePause();
        ui->startButton->setText(recorder->isPaused() ? tr("Resume") : tr("Pause"));
    }
}

void MainWindow::on_destFolderButton_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Choose destination folder..."), QString(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        ui->destFolderField->setText(folder);
}

void MainWindow::on_destFolderField_textChanged(const QString &Text)
{
    destFolder = Text;
    ui->startButton->setEnabled(!destFolder.isEmpty());
}
