// Starting, pausing and stopping a recording, and what it reports.
#include "mainwindow.h"

void MainWindow::on_startButton_clicked() {}
void MainWindow::onProgressUpdated(qint64, qint64) {}
void MainWindow::onRecorderCrashed(RecorderCrashCode) {}
void MainWindow::toggleDisabledInputs() {}
void MainWindow::onApplicationStateChanged(Qt::ApplicationState) {}
void MainWindow::on_destFolderButton_clicked() {}
void MainWindow::on_destFolderField_textChanged(const QString &) {}
void MainWindow::on_stopButton_clicked() {}
