// Asking the project's web host for the latest version.
#include "mainwindow.h"

void MainWindow::onPollFinished(QNetworkReply *) {}
void MainWindow::on_actionCheck_for_updates_triggered() {}
