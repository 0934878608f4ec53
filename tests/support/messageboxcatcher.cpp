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
    handled.removeAll(nullptr);
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible() || handled.contains(box))
            continue;
        handled.append(box);
        seen.append(
            {box->windowTitle(), box->text(), box->icon(), box->textFormat(), box->parentWidget()});
        if (autoClose) {
            QAbstractButton *button = box->defaultButton();
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
            if (button)
                button->click();
            else
                box->close();
        }
    }
}

bool MessageBoxCatcher::waitForBoxes(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return seen.size() >= n; }, timeoutMs);
}
