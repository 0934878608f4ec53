// Dragging out the recording area and outlining it on the screen.
#include "mainwindow.h"

void MainWindow::onAreaSelected(QPoint, QPoint) {}
void MainWindow::onSelectAreaWindowClosed() {}
void MainWindow::onShowRecAreaButtonTimerTimeout() {}
void MainWindow::on_SelectRecAreaButton_clicked() {}
void MainWindow::on_showRecAreaButton_clicked() {}
