// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// Watches for message boxes, notes what they said and closes them with their
// default button, so that tests can run code that shows modal boxes.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        Qt::TextFormat format;
    };

    explicit MessageBoxCatcher(QObject *parent = nullptr);

    const QVector<Box> &boxes() const { return seen; }
    // Waits (processing events) until at least n boxes have been closed.
    bool waitForBoxes(int n, int timeoutMs = 10000);

private:
    void poll();

    QTimer timer;
    QVector<Box> seen;
};
