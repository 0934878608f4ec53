// Runs with QT_SCALE_FACTOR=2 on the test run's 1920x1080 X server: Qt sees
// a 960x540 screen, the window must still work in the grabber's pixels.
#include "mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

class TestScaledDesktop : public QObject
{
    Q_OBJECT

private slots:
    void areaInDevicePixels()
    {
        MainWindow window;
        const QRect full = QtDesktopScreens().geometry(QtDesktopScreens().primary());
        QCOMPARE(full.size(), QSize(1920, 1080));
        QCOMPARE(window.findChild<QLineEdit *>("recordingAreaInputW")->text(),
                 QStringLiteral("1920"));
        QCOMPARE(window.findChild<QLineEdit *>("recordingAreaInputH")->text(),
                 QStringLiteral("1080"));
        QCOMPARE(window.findChild<QComboBox *>("QualityComboBox")->currentText(),
                 QStringLiteral("1080p HD"));
    }
};

QTEST_MAIN(TestScaledDesktop)
#include "tst_scaleddesktop.moc"
