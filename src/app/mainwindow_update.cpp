// SPDX-License-Identifier: GPL-3.0-or-later
// Asking the project's web host for the latest version.
#include "mainwindow.h"

#include "updatecheck.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

void MainWindow::on_actionCheck_for_updates_triggered()
{
    // A manager per check, so that checks may overlap and each gives its own
    // box.
    auto *manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &MainWindow::onPollFinished);
    startPoll(manager, updateEndpoint, updateDeadlineMs);
}

void MainWindow::onPollFinished(QNetworkReply *poll_result)
{
    showPollResult(this, poll_result, versionString);
    // The check is over: its manager goes, and with it the reply, its child.
    poll_result->manager()->deleteLater();
}
