// Dragging out the recording area on the selection window and outlining it
// with the preview, through a real main window on the test's X server.

// Mouse events through the window system layer: QTest's default mouse move
// moves the real pointer, which cannot reach a made-up second screen.
#define QTEST_QPA_MOUSE_HANDLING

#include "fakescreens.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "qualitypresets.h"
#include "transparentwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRubberBand>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(FakeScreens::Screen)

namespace {

using Screens = QVector<FakeScreens::Screen>;

// The run's X server: one screen of 1920 x 1080 at (0, 0).
const Screens oneScreen{{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0}};
const Screens twoScreens{{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
                         {QRect(1920, 0, 1920, 1080), QRect(1920, 0, 1920, 1040), 1.0}};
// 1920 x 1080 device pixels shown at a scale of 2.
const Screens scaledScreen{{QRect(0, 0, 960, 540), QRect(0, 0, 960, 520), 2.0}};

const QString tooSmallText = QStringLiteral(
    "The selected area is too small!\nPlease ensure it's atleast 360px wide or 360px tall.");

std::unique_ptr<MainWindow> makeWindow(const Screens &screens)
{
    return std::make_unique<MainWindow>(nullptr, std::make_unique<FakeScreens>(screens, 0));
}

template <typename T> T *child(MainWindow &window, const char *name)
{
    T *widget = window.findChild<T *>(QLatin1String(name));
    Q_ASSERT(widget);
    return widget;
}

// The area as the four inputs show it.
QRect shownArea(MainWindow &window)
{
    auto value = [&](const char *name) { return child<QLineEdit>(window, name)->text().toInt(); };
    return QRect(value("recordingAreaInputX"), value("recordingAreaInputY"),
                 value("recordingAreaInputW"), value("recordingAreaInputH"));
}

void setArea(MainWindow &window, const QRect &area)
{
    child<QLineEdit>(window, "recordingAreaInputX")->setText(QString::number(area.x()));
    child<QLineEdit>(window, "recordingAreaInputY")->setText(QString::number(area.y()));
    child<QLineEdit>(window, "recordingAreaInputW")->setText(QString::number(area.width()));
    child<QLineEdit>(window, "recordingAreaInputH")->setText(QString::number(area.height()));
}

int qualityCount(MainWindow &window)
{
    return child<QComboBox>(window, "QualityComboBox")->count();
}

QList<QRubberBand *> visibleBands()
{
    QList<QRubberBand *> bands;
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *band = qobject_cast<QRubberBand *>(widget);
        if (band && band->isVisible())
            bands.append(band);
    }
    return bands;
}

TransparentWindow *openSelection(MainWindow &window)
{
    child<QPushButton>(window, "SelectRecAreaButton")->click();
    auto *selection = window.findChild<TransparentWindow *>();
    if (!selection || !QTest::qWaitForWindowExposed(selection))
        return nullptr;
    return selection;
}

} // namespace

class TestAreaSelection : public QObject
{
    Q_OBJECT

private slots:
    void drag_data();
    void drag();
    void dismissal_data();
    void dismissal();
    void placesOnChosenScreen();
    void reportsDevicePixelsUnderScaling();
    void preview_data();
    void preview();
};

void TestAreaSelection::drag_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QRect>("area");

    QTest::addRow("wide enough although short")
        << QPoint(100, 100) << QPoint(560, 200) << true << QRect(100, 100, 460, 100);
    QTest::addRow("exactly 360 x 10")
        << QPoint(100, 100) << QPoint(460, 110) << true << QRect(100, 100, 360, 10);
    QTest::addRow("359 x 359 refused") << QPoint(100, 100) << QPoint(459, 459) << false << QRect();
    QTest::addRow("click without movement refused")
        << QPoint(100, 100) << QPoint(100, 100) << false << QRect();
    QTest::addRow("up and to the left, mirrored")
        << QPoint(560, 200) << QPoint(100, 100) << true << QRect(100, 100, 460, 100);
    QTest::addRow("down and to the left, tall")
        << QPoint(560, 100) << QPoint(100, 600) << true << QRect(100, 100, 460, 500);
    QTest::addRow("to the left, wide but flat")
        << QPoint(600, 110) << QPoint(100, 100) << true << QRect(100, 100, 500, 10);
    QTest::addRow("up and to the left, too small")
        << QPoint(459, 459) << QPoint(100, 100) << false << QRect();
}

void TestAreaSelection::drag()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(bool, accepted);
    QFETCH(QRect, area);

    MessageBoxCatcher catcher;
    auto window = makeWindow(oneScreen);
    const QRect areaBefore = shownArea(*window);
    const int qualitiesBefore = qualityCount(*window);
    auto *button = child<QPushButton>(*window, "SelectRecAreaButton");

    TransparentWindow *selection = openSelection(*window);
    QVERIFY(selection);
    QCOMPARE(selection->geometry(), QRect(0, 0, 1920, 1080));
    QVERIFY(button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("Click and Drag!"));

    QTest::mousePress(selection, Qt::LeftButton, {}, press);
    QTest::mouseMove(selection, release);
    // The band follows the pointer in every direction, both corners included.
    // (Qt drops a move to where the pointer already is.)
    const auto bands = visibleBands();
    QCOMPARE(bands.size(), 1);
    if (release != press)
        QCOMPARE(bands.first()->geometry(),
                 QRect(QPoint(qMin(press.x(), release.x()), qMin(press.y(), release.y())),
                       QPoint(qMax(press.x(), release.x()), qMax(press.y(), release.y()))));

    QTest::mouseRelease(selection, Qt::LeftButton, {}, release);

    QVERIFY(!selection->isVisible());
    QVERIFY(visibleBands().isEmpty());
    QVERIFY(!button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("Select Area"));
    if (accepted) {
        QVERIFY(catcher.boxes().isEmpty());
        QCOMPARE(shownArea(*window), area);
        QCOMPARE(qualityCount(*window),
                 offeredQualityCount(makeQualityPresets(), area.width(), area.height()));
    } else {
        QCOMPARE(catcher.boxes().size(), 1);
        const MessageBoxCatcher::Box &box = catcher.boxes().first();
        QCOMPARE(box.title, QStringLiteral("Invalid recording area"));
        QCOMPARE(box.text, tooSmallText);
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.parent, window.get());
        QCOMPARE(shownArea(*window), areaBefore);
        QCOMPARE(qualityCount(*window), qualitiesBefore);
    }
}

void TestAreaSelection::dismissal_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("duringDrag");

    QTest::addRow("escape") << true << false;
    QTest::addRow("close") << false << false;
    QTest::addRow("escape during a drag") << true << true;
    QTest::addRow("close during a drag") << false << true;
}

void TestAreaSelection::dismissal()
{
    QFETCH(bool, escape);
    QFETCH(bool, duringDrag);

    MessageBoxCatcher catcher;
    auto window = makeWindow(oneScreen);
    const QRect areaBefore = shownArea(*window);
    const int qualitiesBefore = qualityCount(*window);
    auto *button = child<QPushButton>(*window, "SelectRecAreaButton");

    TransparentWindow *selection = openSelection(*window);
    QVERIFY(selection);
    QSignalSpy selected(selection, &TransparentWindow::areaSelected);
    QSignalSpy rejected(selection, &TransparentWindow::rejected);
    if (duringDrag) {
        QTest::mousePress(selection, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(selection, QPoint(700, 700));
        QCOMPARE(visibleBands().size(), 1);
    }

    if (escape)
        QTest::keyClick(selection, Qt::Key_Escape);
    else
        selection->close();

    QVERIFY(!selection->isVisible());
    QCOMPARE(rejected.count(), 1);
    QVERIFY(visibleBands().isEmpty());
    QVERIFY(!button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("Select Area"));

    // A selection opened afterwards shows no band until the next press, and a
    // release left over from the dismissed drag selects nothing.
    selection = openSelection(*window);
    QVERIFY(selection);
    QTest::mouseMove(selection, QPoint(800, 800));
    QVERIFY(visibleBands().isEmpty());
    QTest::mouseRelease(selection, Qt::LeftButton, {}, QPoint(800, 800));
    QCOMPARE(selected.count(), 0);
    QVERIFY(selection->isVisible());

    QCOMPARE(shownArea(*window), areaBefore);
    QCOMPARE(qualityCount(*window), qualitiesBefore);
    QVERIFY(catcher.boxes().isEmpty());
}

void TestAreaSelection::placesOnChosenScreen()
{
    auto window = makeWindow(twoScreens);
    child<QComboBox>(*window, "ScreenComboBox")->setCurrentIndex(1);

    TransparentWindow *selection = openSelection(*window);
    QVERIFY(selection);
    // The whole screen, task bar included.
    QCOMPARE(selection->geometry(), QRect(1920, 0, 1920, 1080));

    QSignalSpy selected(selection, &TransparentWindow::areaSelected);
    QTest::mousePress(selection, Qt::LeftButton, {}, QPoint(10, 20));
    QTest::mouseMove(selection, QPoint(410, 420));
    QTest::mouseRelease(selection, Qt::LeftButton, {}, QPoint(410, 420));

    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.first().at(0).toPoint(), QPoint(1930, 20));
    QCOMPARE(selected.first().at(1).toPoint(), QPoint(2330, 420));
    QCOMPARE(shownArea(*window), QRect(1930, 20, 400, 400));
}

void TestAreaSelection::reportsDevicePixelsUnderScaling()
{
    MessageBoxCatcher catcher;
    auto window = makeWindow(scaledScreen);

    TransparentWindow *selection = openSelection(*window);
    QVERIFY(selection);
    QCOMPARE(selection->geometry(), QRect(0, 0, 960, 540));

    // 200 x 50 logical pixels would be refused; it is 400 x 100 on the device.
    QTest::mousePress(selection, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(selection, QPoint(300, 150));
    QTest::mouseRelease(selection, Qt::LeftButton, {}, QPoint(300, 150));

    QVERIFY(catcher.boxes().isEmpty());
    QCOMPARE(shownArea(*window), QRect(200, 200, 400, 100));
}

void TestAreaSelection::preview_data()
{
    QTest::addColumn<Screens>("screens");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QRect>("band");

    QTest::addRow("first screen") << oneScreen << QRect(100, 150, 640, 480)
                                  << QRect(100, 150, 640, 480);
    QTest::addRow("second screen")
        << twoScreens << QRect(2000, 100, 640, 480) << QRect(2000, 100, 640, 480);
    QTest::addRow("scaled screen")
        << scaledScreen << QRect(200, 100, 640, 480) << QRect(100, 50, 320, 240);
}

void TestAreaSelection::preview()
{
    QFETCH(Screens, screens);
    QFETCH(QRect, area);
    QFETCH(QRect, band);

    auto window = makeWindow(screens);
    setArea(*window, area);
    QCOMPARE(shownArea(*window), area);
    auto *button = child<QPushButton>(*window, "showRecAreaButton");

    QVERIFY(visibleBands().isEmpty());
    button->click();

    const auto bands = visibleBands();
    QCOMPARE(bands.size(), 1);
    QCOMPARE(bands.first()->geometry(), band);
    QVERIFY(!button->isEnabled());
    QPointer<QRubberBand> shown = bands.first();

    // The band goes and is released, and the button comes back, once.
    QVERIFY(QTest::qWaitFor([&] { return shown.isNull(); }, 10000));
    QVERIFY(visibleBands().isEmpty());
    QVERIFY(button->isEnabled());
    QCOMPARE(shownArea(*window), area);
}

QTEST_MAIN(TestAreaSelection)
#include "tst_areaselection.moc"
