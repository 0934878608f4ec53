#include "fakescreens.h"

#include <QTest>

class TestDesktopScreens : public QObject
{
    Q_OBJECT

private slots:
    void mapsFromEachScreensCorner()
    {
        // Left: 1920 x 1080 device pixels at a scale of 2 (its task bar on
        // top); middle: unscaled and primary; right: at a scale of 1.5.
        const FakeScreens screens({{QRect(-1920, 0, 960, 540), QRect(-1920, 20, 960, 520), 2.0},
                                   {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
                                   {QRect(1920, 0, 1280, 720), QRect(1920, 0, 1280, 720), 1.5}},
                                  1);
        const QVector<QPair<QPoint, QPoint>> logicalToDevice{
            {{100, 200}, {100, 200}}, {{-1820, 10}, {-1720, 20}}, {{2020, 200}, {2070, 300}}};
        for (const auto &pair : logicalToDevice) {
            QCOMPARE(screens.toDevice(pair.first), pair.second);
            QCOMPARE(screens.toLogical(pair.second), pair.first);
        }
        QCOMPARE(screens.toLogical(QRect(-1720, 20, 200, 120)), QRect(-1820, 10, 100, 60));
        QCOMPARE(screens.geometry(0), QRect(-1920, 0, 1920, 1080));
        QCOMPARE(screens.availableGeometry(0), QRect(-1920, 40, 1920, 1040));
        // Left of the primary in device pixels, though not in logical ones.
        QCOMPARE(screens.screenAtDevice(QPoint(-10, 500)), 0);
        // Off every screen: the nearest one, not the primary.
        QCOMPARE(screens.screenAtLogical(QPoint(5000, 5000)), 2);
    }
};

QTEST_MAIN(TestDesktopScreens)
#include "tst_desktopscreens.moc"
