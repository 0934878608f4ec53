// Dragging out the recording area on the selection window and outlining it
// with the preview, through a real main window on the test's X server.

// Mouse events through the window system layer: QTest's default mouse move
// moves the real pointer, which cannot reach the made-up screens.
#define QTEST_QPA_MOUSE_HANDLING

#include "fakescreens.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "qualitypresets.h"
#include "transparentwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRubberBand>
#include <QTest>

// The run's X server has one screen of 1920 x 1080; the second and third are
// made up, the third with 1920 x 1080 device pixels shown at a scale of 2.
static const QVector<FakeScreens::Screen> desktop{
    {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
    {QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1040), 1.0},
    {QRect(3840, 0, 960, 540), QRect(3840, 20, 960, 500), 2.0}};

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

static void row(const char *name, int screen, QLine drag, QRect area, bool escape = false)
{
    QTest::newRow(name) << screen << drag << area << escape;
}

class TestAreaSelection : public QObject
{
    Q_OBJECT

private slots:
    void drag_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<QLine>("drag");  // in the selection window
        QTest::addColumn<QRect>("area");  // null: unchanged
        QTest::addColumn<bool>("escape"); // before the release

        row("460 x 100", 0, {100, 100, 560, 200}, {100, 100, 460, 100});
        row("360 x 10", 0, {100, 100, 460, 110}, {100, 100, 360, 10});
        row("359 x 359 refused", 0, {100, 100, 459, 459}, {});
        row("up and left", 0, {560, 200, 100, 100}, {100, 100, 460, 100});
        row("second screen", 1, {10, 20, 410, 420}, {1930, 20, 400, 400});
        // 200 x 50 logical pixels would be refused; it is 400 x 100 on the device.
        row("scaled", 2, {100, 100, 300, 150}, {4040, 200, 400, 100});
        row("escape during a drag", 0, {100, 100, 700, 700}, {}, true);
    }

    void drag()
    {
        QFETCH(int, screen);
        QFETCH(QLine, drag);
        QFETCH(QRect, area);
        QFETCH(bool, escape);

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

        QVERIFY(!selection->isVisible() && shownBands().isNull());
        QVERIFY(!button->isChecked() && button->text() == QStringLiteral("Select Area"));
        QCOMPARE(catcher.boxes().value(0).title,
                 area.isNull() && !escape ? QStringLiteral("Invalid recording area") : QString());
        area = area.isNull() ? areaBefore : area;
        QCOMPARE(shownArea(window), area);
        QCOMPARE(window.findChild<QComboBox *>("QualityComboBox")->count(),
                 offeredQualityCount(makeQualityPresets(), area.width(), area.height()));
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
