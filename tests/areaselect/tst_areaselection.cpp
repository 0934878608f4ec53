// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging out the recording area on the selection window and outlining it
// with the preview, through a real main window on the test's X server, on a
// made-up desktop with a scaled screen.

// Mouse events through the window system layer: QTest's default mouse move
// moves the real pointer, which cannot reach the made-up screens.
#define QTEST_QPA_MOUSE_HANDLING

#include "fakescreens.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "transparentwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRubberBand>
#include <QTest>

// The run's X server has one screen of 1920 x 1080; the second and third are
// made up: the second at a scale of 1.5, the third left of the first, with
// 1920 x 1080 device pixels shown at a scale of 2 (its task bar on top).
static const QVector<FakeScreens::Screen> desktop{
    {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
    {QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1040), 1.5},
    {QRect(-1920, 0, 960, 540), QRect(-1920, 20, 960, 520), 2.0}};

static QRect shownArea(MainWindow &window)
{
    auto value = [&](const char *n) { return window.findChild<QLineEdit *>(n)->text().toInt(); };
    return QRect(value("recordingAreaInputX"), value("recordingAreaInputY"),
                 value("recordingAreaInputW"), value("recordingAreaInputH"));
}

// What rubber bands (windows of their own) cover on the screen; null for none.
static QRect shownBands()
{
    QRect shown;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QRubberBand *>(widget) && widget->isVisible())
            shown |= widget->geometry();
    return shown;
}

class TestAreaSelection : public QObject
{
    Q_OBJECT

private slots:
    void drag_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<QLine>("drag"); // in the selection window
        QTest::addColumn<QRect>("area"); // null: unchanged

        // The smallest areas the quality table takes: 480 wide, or 360 tall
        // when not wider than tall.
        QTest::newRow("480 x 100") << 0 << QLine(100, 100, 580, 200) << QRect(100, 100, 480, 100);
        QTest::newRow("400 x 300 refused") << 0 << QLine(100, 100, 500, 400) << QRect();
        QTest::newRow("up and left") << 0 << QLine(460, 460, 100, 100) << QRect(100, 100, 360, 360);
        // Half pixels round: 11 x 1.5 is 17.
        QTest::newRow("screen 2") << 1 << QLine(11, 21, 411, 421) << QRect(1937, 32, 600, 600);
        // 250 x 200 logical pixels would be refused; it is 500 x 400 on the
        // device, mapped from the screen's own corner.
        QTest::newRow("scaled") << 2 << QLine(100, 100, 350, 300) << QRect(-1720, 200, 500, 400);
        QTest::newRow("escape") << 0 << QLine(100, 100, 700, 700) << QRect(); // before the release
    }

    void drag()
    {
        QFETCH(int, screen);
        QFETCH(QLine, drag);
        QFETCH(QRect, area);
        const bool escape = QByteArray(QTest::currentDataTag()) == "escape";

        MessageBoxCatcher catcher;
        MainWindow window(nullptr, std::make_unique<FakeScreens>(desktop, 0));
        window.findChild<QComboBox *>("ScreenComboBox")->setCurrentIndex(screen);
        const QRect areaBefore = shownArea(window);
        auto *button = window.findChild<QPushButton *>("SelectRecAreaButton");
        button->click();
        auto *selection = window.findChild<TransparentWindow *>();
        QVERIFY(selection && QTest::qWaitForWindowExposed(selection));
        // The whole screen, task bar included.
        QCOMPARE(selection->geometry(), desktop[screen].geometry);

        QTest::mousePress(selection, Qt::LeftButton, {}, drag.p1());
        QTest::mouseMove(selection, drag.p2());
        QCOMPARE(
            shownBands(),
            QRect(drag.p1(), drag.p2()).normalized().translated(selection->geometry().topLeft()));
        if (escape)
            QTest::keyClick(selection, Qt::Key_Escape);
        else
            QTest::mouseRelease(selection, Qt::LeftButton, {}, drag.p2());

        // A refused drag says why, as Start would, and the window opens again.
        const bool refused = area.isNull() && !escape;
        QCOMPARE(selection->isVisible() && button->isChecked(), refused);
        QVERIFY(shownBands().isNull());
        QCOMPARE(button->text(), refused ? "Click and Drag!" : "Select Area");
        QVERIFY(catcher.boxes().value(0).text.contains(refused ? "at least 480 pixels wide" : ""));
        QCOMPARE(catcher.boxes().size(), int(refused));
        QCOMPARE(shownArea(window), area.isNull() ? areaBefore : area);
    }

    void preview()
    {
        MainWindow window(nullptr, std::make_unique<FakeScreens>(desktop, 0));
        auto *button = window.findChild<QPushButton *>("showRecAreaButton");
        for (int screen : {0, 2}) {
            // The area becomes the screen's available part, in device pixels.
            window.findChild<QComboBox *>("ScreenComboBox")->setCurrentIndex(screen);
            const int windows = QApplication::topLevelWidgets().size();
            button->click();
            QCOMPARE(shownBands(), desktop[screen].available);
            QVERIFY(!button->isEnabled());
            // The band goes and is released, and the button comes back.
            QVERIFY(QTest::qWaitFor(
                [&] { return QApplication::topLevelWidgets().size() == windows; }, 10000));
            QVERIFY(button->isEnabled() && shownBands().isNull());
        }
    }
};

QTEST_MAIN(TestAreaSelection)
#include "tst_areaselection.moc"
