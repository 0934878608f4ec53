// SPDX-License-Identifier: GPL-3.0-or-later
#include "messageboxcatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>

MessageBoxCatcher::MessageBoxCatcher(QObject *parent) : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    timer.start(10);
}

void MessageBoxCatcher::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        seen.append({box->windowTitle(), box->text(), box->icon(), box->textFormat()});
        // Hidden at once by its button, so that the next poll does not see it again.
        QAbstractButton *button = box->defaultButton();
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button)
            button->click();
        else
            box->close();
    }
}

bool MessageBoxCatcher::waitForBoxes(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return seen.size() >= n; }, timeoutMs);
}
