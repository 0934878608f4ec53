// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging out the recording area and outlining it on the screen.
#include "mainwindow.h"

#include "areaselectlog.h"
#include "desktopscreens.h"
#include "transparentwindow.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QRubberBand>
#include <QTimer>

void MainWindow::on_SelectRecAreaButton_clicked()
{
    ui->SelectRecAreaButton->setChecked(true);
    ui->SelectRecAreaButton->setText(tr("Click and Drag!"));
    // The whole screen, task bar included, so an area over it can be dragged.
    // Qt places windows in logical coordinates.
    selectAreaWindow->cover(screens->logicalGeometry(ui->ScreenComboBox->currentIndex()));
}

void MainWindow::onAreaSelected(QPoint start, QPoint end)
{
    qCDebug(lcAreaSelect, "Signal received");

    // A drag up or to the left gives the same area as the mirrored drag:
    // everything downstream expects a positive width and height.
    const int x = qMin(start.x(), end.x());
    const int y = qMin(start.y(), end.y());
    const int w = qAbs(end.x() - start.x());
    const int h = qAbs(end.y() - start.y());

    // Refused by the rule Start applies, with the quality the area would get
    // (the largest it offers), so that no accepted drag is refused at Start.
    const QString refusal = areaRefusal(x, y, w, h, offeredQualityCount(qualityPresets, w, h) - 1);
    if (!refusal.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid recording area"), refusal);
        // Open again at once: the user was in the middle of choosing.
        on_SelectRecAreaButton_clicked();
        return;
    }

    ui->SelectRecAreaButton->setChecked(false);
    ui->SelectRecAreaButton->setText(tr("Select Area"));
    recordingAreaX = x;
    recordingAreaY = y;
    recordingAreaW = w;
    recordingAreaH = h;
    emit recordingAreaChanged();
}

void MainWindow::onSelectAreaWindowClosed()
{
    ui->SelectRecAreaButton->setChecked(false);
    ui->SelectRecAreaButton->setText(tr("Select Area"));
}

void MainWindow::on_showRecAreaButton_clicked()
{
    // Where the desktop places every window, none goes to the area; the
    // button's tool tip says so.
    if (!route.placesWindows)
        return;

    // Both parentless: the band is a top-level drawn in global coordinates,
    // and both delete themselves when the preview ends.
    auto *band = new QRubberBand(QRubberBand::Rectangle);
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    // The band closes before the button comes back.
    connect(timer, &QTimer::timeout, band, &QWidget::close);
    connect(timer, &QTimer::timeout, this, &MainWindow::onShowRecAreaButtonTimerTimeout);
    connect(timer, &QTimer::timeout, band, &QObject::deleteLater);
    connect(timer, &QTimer::timeout, timer, &QObject::deleteLater);

    ui->showRecAreaButton->setEnabled(false);
    // The area is in device pixels; the band is placed in logical ones.
    band->setGeometry(
        screens->toLogical(QRect(recordingAreaX, recordingAreaY, recordingAreaW, recordingAreaH)));
    band->show();
    timer->start(500);
}

void MainWindow::onShowRecAreaButtonTimerTimeout()
{
    ui->showRecAreaButton->setEnabled(true);
}
