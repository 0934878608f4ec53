// Dragging out the recording area and outlining it on the screen.
#include "mainwindow.h"

#include "areaselectlog.h"
#include "desktopscreens.h"
#include "mainwindowlayout.h"
#include "transparentwindow.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRubberBand>
#include <QTimer>

void MainWindow::on_SelectRecAreaButton_clicked()
{
    ui->SelectRecAreaButton->setChecked(true);
    ui->SelectRecAreaButton->setText(tr("Click and Drag!"));
    // The whole screen, task bar included, so an area over it can be dragged.
    // Qt places windows in logical coordinates.
    selectAreaWindow->setGeometry(screens->logicalGeometry(ui->ScreenComboBox->currentIndex()));
    selectAreaWindow->show();
}

void MainWindow::onAreaSelected(QPoint start, QPoint end)
{
    qCDebug(lcAreaSelect, "Signal received");
    ui->SelectRecAreaButton->setChecked(false);
    ui->SelectRecAreaButton->setText(tr("Select Area"));

    // A drag up or to the left gives the same area as the mirrored drag:
    // everything downstream expects a positive width and height.
    const int x = qMin(start.x(), end.x());
    const int y = qMin(start.y(), end.y());
    const int w = qAbs(end.x() - start.x());
    const int h = qAbs(end.y() - start.y());

    if (w >= 360 || h >= 360) {
        recordingAreaX = x;
        recordingAreaY = y;
        recordingAreaW = w;
        recordingAreaH = h;
        emit recordingAreaChanged();
    } else {
        QMessageBox::warning(this, tr("Invalid recording area"),
                             tr("The selected area is too small!\nPlease ensure it's atleast "
                                "360px wide or 360px tall."));
    }
}

void MainWindow::onSelectAreaWindowClosed()
{
    ui->SelectRecAreaButton->setChecked(false);
    ui->SelectRecAreaButton->setText(tr("Select Area"));
}

void MainWindow::on_showRecAreaButton_clicked()
{
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
