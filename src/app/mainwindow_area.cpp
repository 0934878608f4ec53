// SPDX-License-Identifier: GPL-3.0-or-later
// The recording area, the quality list and the speed factor.
#include "mainwindow.h"

#include "desktopscreens.h"
#include "ui_mainwindow.h"

void MainWindow::fillScreenList()
{
    ui->ScreenComboBox->clear();
    const int count = screens->count();
    for (int i = 0; i < count; ++i)
        ui->ScreenComboBox->insertItem(i, tr("Screen #%1").arg(i + 1));
    const int primary = screens->primary();
    if (primary >= 0 && primary < count)
        ui->ScreenComboBox->setCurrentIndex(primary);
}

void MainWindow::setRecordingAreaFullscreen()
{
    const QRect available = screens->availableGeometry(ui->ScreenComboBox->currentIndex());
    recordingAreaX = available.x();
    recordingAreaY = available.y();
    recordingAreaH = available.height();
    recordingAreaW = available.width();
    emit recordingAreaChanged();
}

void MainWindow::on_ScreenComboBox_currentIndexChanged(int index)
{
    ui->SelectedScreenLabel->setText(tr("Screen: #%1").arg(index + 1));
    setRecordingAreaFullscreen();
}

void MainWindow::on_RecAreaFullscreenButton_clicked()
{
    setRecordingAreaFullscreen();
}

// Text that is not a number yet ("-", "") is still being typed: it is
// neither taken nor written over, and the area keeps its last number.
void MainWindow::setAreaField(int &field, const QString &text)
{
    bool number = false;
    const int value = text.toInt(&number);
    if (!number)
        return;
    field = value;
    emit recordingAreaChanged();
}

QString MainWindow::unfinishedAreaInput() const
{
    const std::pair<const QLabel *, const QLineEdit *> inputs[] = {
        {ui->label_6, ui->recordingAreaInputX},
        {ui->label_7, ui->recordingAreaInputY},
        {ui->label_3, ui->recordingAreaInputW},
        {ui->label_5, ui->recordingAreaInputH},
    };
    for (const auto &[label, input] : inputs) {
        bool number = false;
        input->text().toInt(&number);
        if (!number)
            return tr("%1 is \"%2\": type a whole number of pixels.")
                .arg(label->text(), input->text());
    }
    return QString();
}

void MainWindow::on_recordingAreaInputW_textChanged(const QString &text)
{
    setAreaField(recordingAreaW, text);
}

void MainWindow::on_recordingAreaInputH_textChanged(const QString &text)
{
    setAreaField(recordingAreaH, text);
}

void MainWindow::on_recordingAreaInputX_textChanged(const QString &text)
{
    setAreaField(recordingAreaX, text);
}

void MainWindow::on_recordingAreaInputY_textChanged(const QString &text)
{
    setAreaField(recordingAreaY, text);
}

void MainWindow::onRecordingAreaChanged()
{
    ui->recordingAreaInputW->setText(QString::number(recordingAreaW));
    ui->recordingAreaInputH->setText(QString::number(recordingAreaH));
    ui->recordingAreaInputX->setText(QString::number(recordingAreaX));
    ui->recordingAreaInputY->setText(QString::number(recordingAreaY));

    ui->recordingAreaCoord->setText(
        tr("Resolution: %1x%2").arg(recordingAreaW).arg(recordingAreaH));
    // The bounds in 64 bits: a typed X or Y near the int limit must not wrap.
    ui->recordingAreaCoord->setToolTip(tr("The bounding box for the recording area. \n") +
                                       tr("Covering horizontally from %1px to %2px, \n")
                                           .arg(recordingAreaX)
                                           .arg(qint64(recordingAreaX) + recordingAreaW) +
                                       tr("And vertically from %3px to %4px")
                                           .arg(recordingAreaY)
                                           .arg(qint64(recordingAreaY) + recordingAreaH));

    ui->QualityComboBox->clear();
    const int offered = offeredQualityCount(qualityPresets, recordingAreaW, recordingAreaH);
    for (int i = 0; i < offered; ++i)
        ui->QualityComboBox->insertItem(i, qualityPresets.at(i).label);
    ui->QualityComboBox->setCurrentIndex(ui->QualityComboBox->count() - 1);

    const QRect available = screens->availableGeometry(ui->ScreenComboBox->currentIndex());
    const bool fullscreen = recordingAreaW == available.width() &&
                            recordingAreaH == available.height() &&
                            recordingAreaX == available.x() && recordingAreaY == available.y();
    ui->RecAreaFullscreenButton->setChecked(fullscreen);
    ui->RecAreaFullscreenButton->setText(fullscreen ? tr("Fullscreen") : tr("Set Fullscreen"));
}

void MainWindow::on_recSpeedSlider_valueChanged(int value)
{
    ui->RecSpeedLabel->setText(tr("x%1").arg(value));
    recSpeedFactor = value;
}
