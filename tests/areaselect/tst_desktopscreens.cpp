#include "fakescreens.h"

#include <QTest>

using Screen = FakeScreens::Screen;

class TestDesktopScreens : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void geometriesInDevicePixels();
};

void TestDesktopScreens::mapping_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QRect>("logicalScreen");
    QTest::addColumn<QPoint>("logical");
    QTest::addColumn<QPoint>("device");

    QTest::newRow("no scaling") << 1.0 << QRect(0, 0, 1920, 1080) << QPoint(100, 200)
                                << QPoint(100, 200);
    QTest::newRow("1.5 at origin")
        << 1.5 << QRect(0, 0, 1280, 720) << QPoint(100, 200) << QPoint(150, 300);
    QTest::newRow("2 at origin") << 2.0 << QRect(0, 0, 960, 540) << QPoint(959, 539)
                                 << QPoint(1918, 1078);
    // A screen keeps its device top-left; inside it positions scale from there.
    QTest::newRow("2 on a screen at negative x")
        << 2.0 << QRect(-1920, 0, 960, 540) << QPoint(-1820, 10) << QPoint(-1720, 20);
    QTest::newRow("1.5 on a screen at negative x")
        << 1.5 << QRect(-1920, 0, 1280, 720) << QPoint(-1920, 0) << QPoint(-1920, 0);
}

void TestDesktopScreens::mapping()
{
    QFETCH(double, ratio);
    QFETCH(QRect, logicalScreen);
    QFETCH(QPoint, logical);
    QFETCH(QPoint, device);

    const FakeScreens screens({{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
                               {logicalScreen, logicalScreen, ratio}},
                              0);
    // Keep the unscaled primary out of the way when the row is about it.
    const FakeScreens single({{logicalScreen, logicalScreen, ratio}}, 0);
    const DesktopScreens &s = logicalScreen.topLeft() == QPoint(0, 0)
                                  ? static_cast<const DesktopScreens &>(single)
                                  : screens;

    QCOMPARE(s.toDevice(logical), device);
    QCOMPARE(s.toLogical(device), logical);
    const QRect deviceRect(device, QSize(qRound(100 * ratio), qRound(60 * ratio)));
    QCOMPARE(s.toLogical(deviceRect), QRect(logical, QSize(100, 60)));
}

void TestDesktopScreens::geometriesInDevicePixels()
{
    const FakeScreens screens({{QRect(-1920, 0, 960, 540), QRect(-1920, 20, 960, 520), 2.0},
                               {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0}},
                              1);
    QCOMPARE(screens.geometry(0), QRect(-1920, 0, 1920, 1080));
    QCOMPARE(screens.availableGeometry(0), QRect(-1920, 40, 1920, 1040));
    QCOMPARE(screens.availableGeometry(1), QRect(0, 0, 1920, 1040));
    QCOMPARE(screens.screenAtDevice(QPoint(-10, 500)), 0);
    QCOMPARE(screens.screenAtDevice(QPoint(10, 500)), 1);
    // Off every screen: the nearest one.
    QCOMPARE(screens.screenAtLogical(QPoint(5000, 5000)), 1);
}

QTEST_MAIN(TestDesktopScreens)
#include "tst_desktopscreens.moc"
