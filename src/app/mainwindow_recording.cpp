// SPDX-License-Identifier: GPL-3.0-or-later
// Starting, pausing and stopping a recording, and what it reports.
//
// The recording-control state is never stored; it is read from the stop
// button, which is enabled from a start until its end has been handled here
// (the thread may have ended with its report still queued), and from the
// recorder's pause flag:
//   Idle       the stop button is disabled
//   Recording  the stop button is enabled, the recorder is not paused
//   Paused     the stop button is enabled, the recorder is paused
// Start (Idle -> Recording), the start button again (Recording <-> Paused,
// also Recording -> Paused on focus), Stop or closing the window (-> Idle,
// the file finished) and a crash or a refused screen share (-> Idle, the
// window stays) are the transitions.
#include "mainwindow.h"

#include "desktopscreens.h"
#include "recordingsettings.h"
#include "screenrecorder.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

QString MainWindow::destination() const
{
    return absoluteFolder(destFolder, QDir::homePath());
}

QString MainWindow::makeRecordingFileName() const
{
    return unusedFileName(destination(), recordingFileName(clock()),
                          [](const QString &path) { return QFileInfo::exists(path); });
}

QRect MainWindow::desktopArea() const
{
    QRect desktop;
    for (int i = 0; i < screens->count(); ++i)
        desktop = desktop.united(screens->geometry(i));
    return desktop;
}

QString MainWindow::areaRefusal(int x, int y, int w, int h, int row) const
{
    const QString area = areaProblem(x, y, w, h, desktopArea());
    if (!area.isEmpty())
        return area;

    // The quality list is empty when the area is smaller than every row.
    if (row < 0 || row >= qualityPresets.size())
        return tooSmallForAnyQuality(w, h, qualityPresets.first());

    // A very long, thin area can shrink to nothing along its short side.
    const QSize output = cappedOutputSize(w, h, qualityPresets.at(row));
    if (output.isEmpty())
        return tr("The recording area (%1x%2) is too narrow for the quality \"%3\": "
                  "the video would be %4x%5 pixels.")
            .arg(w)
            .arg(h)
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
    recorder->screenGeometries = screens->geometries();

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
    // A recording is under way until its end has been handled here; the
    // thread may already have ended with its report still queued, and a
    // click then must not start another recording over that report.
    if (ui->stopButton->isEnabled()) {
        if (recorder->isRunning()) {
            recorder->togglePause();
            ui->startButton->setText(recorder->isPaused() ? tr("Resume") : tr("Pause"));
        }
        return;
    }

    // A desktop this build cannot record would give a black video.
    if (route.kind == CaptureRoute::None) {
        QMessageBox::warning(this, tr("Error"), route.refusal);
        return;
    }

    // Typed text that is not a number yet is not the area: say so rather
    // than record the last number taken.
    const QString unfinished = unfinishedAreaInput();
    if (!unfinished.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid recording area"), unfinished);
        return;
    }

    // Refused before anything is created, while the area can still be
    // changed: the grabber would fail on such an area.
    const QString problem = areaRefusal(recordingAreaX, recordingAreaY, recordingAreaW,
                                        recordingAreaH, ui->QualityComboBox->currentIndex());
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid recording area"), problem);
        return;
    }

    // A folder that takes no file is refused here, while the settings can
    // still be changed, instead of failing the recording once it runs.
    const QString folder = destination();
    const QString folderRefusal = folderProblem(folder);
    if (!folderRefusal.isEmpty()) {
        QMessageBox::warning(this, tr("Error"), folderRefusal);
        return;
    }

    currentFileName = makeRecordingFileName();
    recorder->outputFileName = folder + QLatin1Char('/') + currentFileName;
    applySettingsToRecorder();
    recorder->start(QThread::InheritPriority);

    fileLabelBefore = ui->FilenameLabel->text();
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

void MainWindow::showIdle()
{
    // The label names a file that exists or is being written; a recording
    // that made none (a refused share, a stop before sharing began) leaves
    // the one before.
    if (!QFileInfo::exists(recorder->outputFileName))
        ui->FilenameLabel->setText(fileLabelBefore);
    ui->stopButton->setEnabled(false);
    ui->startButton->setText(tr("Start"));
    toggleDisabledInputs();
}

void MainWindow::showRecorderCrashed()
{
    // Counted by the recorder after its thread ended, so they are what the
    // file holds.
    const QString file = QDir::toNativeSeparators(recorder->outputFileName);
    QString text = tr("Something is seriously wrong, dude.") + QStringLiteral("\n\n");
    if (QFileInfo::exists(recorder->outputFileName))
        text += tr("File: %1\nKept: %2 of video, %3")
                    .arg(file, elapsedText(recorder->recordedFrames()),
                         fileSizeText(recorder->recordedBytes()));
    else
        text += tr("No file was written (%1).").arg(file);
    const QString reason = recorder->finishError();
    if (!reason.isEmpty())
        text += QStringLiteral("\n\n") + tr("Reason: %1").arg(reason);
    QMessageBox::critical(this, tr("Recorder crashed"), text);
}

// Stop, a crash report, a refused capture and closing the window may all
// come for one recording (a report is queued while Stop waits): the first
// one that finds the stop button enabled ends it, the others find nothing to
// do. So each recording gives one box at most.
void MainWindow::on_stopButton_clicked()
{
    const QString error = finishRecording();
    showIdle();
    if (!error.isEmpty())
        showRecorderCrashed();
    else if (QFileInfo::exists(recorder->outputFileName))
        QMessageBox::information(this, tr("Status"),
                                 tr("Recording completed!\n\nVideo file has been saved to:\n") +
                                     QDir::toNativeSeparators(recorder->outputFileName));
    // Otherwise stopped before the desktop shared the screen: nothing was
    // recorded, and there is nothing to announce.
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (recorder && ui->stopButton->isEnabled()) {
        // Finished like Stop, without the completion box; only a file that
        // could not be finished is worth holding the way out for.
        const QString error = finishRecording();
        showIdle();
        if (!error.isEmpty())
            showRecorderCrashed();
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
    if (code != InputError && code != OutputError && code != FrameError)
        return;
    if (!ui->stopButton->isEnabled())
        return; // already ended by Stop or by closing
    // The thread ends by itself right after reporting; the stop only makes
    // sure of it. The window stays, so that the user can pick another folder.
    finishRecording();
    showIdle();
    showRecorderCrashed();
}

void MainWindow::onCaptureRefused(const QString &message)
{
    if (!ui->stopButton->isEnabled())
        return;
    finishRecording();
    showIdle();
    // Empty when the user stopped before sharing began: nothing to explain.
    if (!message.isEmpty())
        QMessageBox::warning(this, tr("Screen sharing"), message);
}

// A still Wayland screen sends its first picture only when something on it
// changes; until then the recording waits, and says so where the file's
// name will be.
void MainWindow::onWaitingForFirstPicture(bool waiting)
{
    if (!ui->stopButton->isEnabled())
        return; // a report queued before a Stop that has been handled
    ui->FilenameLabel->setText(waiting ? tr("Recording; waiting for the desktop's first picture...")
                                       : tr("File: <b>") + currentFileName + tr("</b>"));
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
    // A click on the start button activates the window too, before or after
    // its press arrives; the click then does what the button says, and a
    // pause here as well would let it undo that.
    if (ui->startButton->rect().contains(ui->startButton->mapFromGlobal(QCursor::pos())))
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
    ui->startButton->setToolTip(destFolder.isEmpty()
                                    ? tr("Choose a destination folder for the recording first.")
                                    : QString());
}
