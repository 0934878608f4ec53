// With display scaling the area inputs are device pixels, and the recorded
// picture must show exactly the area they name. Runs on an X server of its
// own, so that no other test's windows end up in the picture.
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "recordedvideo.h"
#include "screenrecorder.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QColor topLeft(255, 0, 0);
const QColor topRight(0, 0, 255);
const QColor bottomLeft(0, 255, 0);
const QColor bottomRight(255, 255, 0);

// Covers the screen with four quadrants of distinct colours.
class Quadrants : public QWidget
{
public:
    Quadrants() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const int w = width() / 2;
        const int h = height() / 2;
        painter.fillRect(0, 0, w, h, topLeft);
        painter.fillRect(w, 0, width() - w, h, topRight);
        painter.fillRect(0, h, w, height() - h, bottomLeft);
        painter.fillRect(w, h, width() - w, height() - h, bottomRight);
    }
};

bool near(const QColor &a, const QColor &b)
{
    const int tolerance = 40; // the colour conversions of MPEG-2 video
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class TestRecordingScaled : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        avdevice_register_all(); // as main() does: the screen grabber is a device
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 960, 540));
    }

    void recordsTheAreaTheInputsName()
    {
        Quadrants quadrants;
        quadrants.setGeometry(QGuiApplication::primaryScreen()->geometry());
        quadrants.show();
        QVERIFY(QTest::qWaitForWindowExposed(&quadrants));

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        MessageBoxCatcher catcher;
        MainWindow window;
        auto input = [&](const char *name) {
            return window.findChild<QLineEdit *>(QString::fromLatin1(name));
        };
        // The inputs speak device pixels: the whole screen is 1920x1080.
        QCOMPARE(input("recordingAreaInputW")->text(), QStringLiteral("1920"));
        QCOMPARE(input("recordingAreaInputH")->text(), QStringLiteral("1080"));

        window.findChild<QLineEdit *>(QStringLiteral("destFolderField"))->setText(dir.path());
        window.findChild<QSlider *>(QStringLiteral("recSpeedSlider"))->setValue(30);
        window.findChild<QCheckBox *>(QStringLiteral("showMouseCheckBox"))->setChecked(false);
        window.findChild<QCheckBox *>(QStringLiteral("showRecordingAreaCheckBox"))
            ->setChecked(false);
        // The top-right quadrant, in device pixels.
        input("recordingAreaInputX")->setText(QStringLiteral("960"));
        input("recordingAreaInputY")->setText(QStringLiteral("0"));
        input("recordingAreaInputW")->setText(QStringLiteral("960"));
        input("recordingAreaInputH")->setText(QStringLiteral("540"));
        window.findChild<QComboBox *>(QStringLiteral("QualityComboBox"))->setCurrentIndex(0);

        auto *recorder = window.findChild<ScreenRecorder *>();
        QSignalSpy progress(recorder, &ScreenRecorder::progressUpdated);
        window.findChild<QPushButton *>(QStringLiteral("startButton"))->click();
        QVERIFY(QTest::qWaitFor([&] { return progress.size() >= 2; }, 30000));
        window.findChild<QPushButton *>(QStringLiteral("stopButton"))->click();
        QVERIFY(catcher.waitForBoxes(1));
        QCOMPARE(catcher.boxes().first().title, QStringLiteral("Status"));

        const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.mpg")});
        QCOMPARE(files.size(), 1);
        const RecordedVideo video = RecordedVideo::read(dir.filePath(files.first()));
        QCOMPARE(video.width, 480);
        QCOMPARE(video.height, 270);
        QVERIFY(video.decodesCleanly);
        // Every part of the picture is the top-right quadrant, up to a few
        // pixels from its edges (chroma is shared by pixel pairs).
        const QPoint samples[] = {{4, 4},     {240, 4}, {475, 4},   {4, 135},  {240, 135},
                                  {475, 135}, {4, 265}, {240, 265}, {475, 265}};
        for (const QPoint &p : samples) {
            const QColor seen = video.colourAt(p.x(), p.y());
            QVERIFY2(near(seen, topRight),
                     qPrintable(
                         QStringLiteral("(%1, %2) is %3").arg(p.x()).arg(p.y()).arg(seen.name())));
        }
    }
};

int main(int argc, char *argv[])
{
    // A server of our own, chosen before the application connects to one.
    XvfbServer server(QStringLiteral("1920x1080x24"));
    if (!server.isRunning()) {
        qCritical("Could not start Xvfb");
        return 1;
    }
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestRecordingScaled test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recording_scaled.moc"
