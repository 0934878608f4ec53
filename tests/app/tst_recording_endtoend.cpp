// Whole recordings through the real window and recorder on the test X
// server, with moving content on the screen, checked by decoding the files.
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "recordedvideo.h"
#include "screenrecorder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Something that changes between grabs, as a real desktop does.
class MovingContent : public QWidget
{
public:
    MovingContent() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            ++step;
            update();
        });
        timer.start(40);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor::fromHsv(step * 7 % 360, 200, 200));
        painter.fillRect(step * 13 % qMax(1, width() - 100), height() / 3, 100, 100, Qt::black);
    }

private:
    QTimer timer;
    int step = 0;
};

// 960x540 recorded at the lowest quality is 480x270; speed 5 grabs six
// pictures a second, enough to count and few enough for a loaded machine.
constexpr int speedFactor = 5;
constexpr double picturesPerSecond = 30.0 / speedFactor;

} // namespace

class TestRecordingEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<MovingContent> content;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MessageBoxCatcher> catcher;

    template <typename T> T *widget(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    ScreenRecorder *recorder() { return window->findChild<ScreenRecorder *>(); }
    QPushButton *startButton() { return widget<QPushButton>("startButton"); }

    QString recordedFile() const
    {
        const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.mpg")});
        return files.size() == 1 ? dir.path() + QLatin1Char('/') + files.first() : QString();
    }

private slots:
    void initTestCase()
    {
        avdevice_register_all(); // as main() does: the screen grabber is a device
        content = std::make_unique<MovingContent>();
        content->setGeometry(0, 0, 960, 540);
        content->show();
        QVERIFY(QTest::qWaitForWindowExposed(content.get()));
    }

    void init()
    {
        QVERIFY(dir.isValid());
        catcher = std::make_unique<MessageBoxCatcher>();
        window = std::make_unique<MainWindow>();
        widget<QLineEdit>("destFolderField")->setText(dir.path());
        widget<QSlider>("recSpeedSlider")->setValue(speedFactor);
        widget<QCheckBox>("showMouseCheckBox")->setChecked(false);
        widget<QCheckBox>("showRecordingAreaCheckBox")->setChecked(false);
        widget<QLineEdit>("recordingAreaInputX")->setText(QStringLiteral("0"));
        widget<QLineEdit>("recordingAreaInputY")->setText(QStringLiteral("0"));
        widget<QLineEdit>("recordingAreaInputW")->setText(QStringLiteral("960"));
        widget<QLineEdit>("recordingAreaInputH")->setText(QStringLiteral("540"));
        auto *quality = widget<QComboBox>("QualityComboBox");
        QCOMPARE(quality->itemText(0), QStringLiteral("360p"));
        quality->setCurrentIndex(0);
        window->move(1200, 100); // clear of the recorded area
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window.reset();
        catcher.reset();
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void startPauseResumeStop()
    {
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        startButton()->click();
        // Count from the first written picture: opening the grabber and the
        // encoder takes a while that records nothing.
        QVERIFY(progress.wait(30000));
        QElapsedTimer active;
        active.start();

        QTest::qWait(2000);
        startButton()->click();
        QCOMPARE(startButton()->text(), QStringLiteral("Resume"));
        qint64 activeMs = active.elapsed();

        QElapsedTimer paused;
        paused.start();
        QTest::qWait(2000);
        startButton()->click();
        QCOMPARE(startButton()->text(), QStringLiteral("Pause"));
        const qint64 pausedMs = paused.elapsed();
        active.restart();

        QTest::qWait(2000);
        widget<QPushButton>("stopButton")->click();
        activeMs += active.elapsed();
        QVERIFY(catcher->waitForBoxes(1));
        QCOMPARE(catcher->boxes().first().title, QStringLiteral("Status"));

        const QString path = recordedFile();
        QVERIFY(!path.isEmpty());
        QVERIFY(catcher->boxes().first().text.endsWith(path));
        const RecordedVideo video = RecordedVideo::read(path);
        QCOMPARE(video.codec, QStringLiteral("mpeg2video"));
        QCOMPARE(video.width, 480);
        QCOMPARE(video.height, 270);
        QCOMPARE(video.frameRate, QStringLiteral("30/1"));
        QVERIFY(video.endsWithEndCode);
        QVERIFY(video.decodesCleanly);

        // One picture per capture interval while not paused, plus the first.
        // The tolerance absorbs a loaded machine, but stays well below the
        // pictures of the paused time, so a pause that kept recording fails.
        const double expected = 1 + activeMs * picturesPerSecond / 1000.0;
        const double pausedPictures = pausedMs * picturesPerSecond / 1000.0;
        const double tolerance = qMax(3.0, qMin(expected * 0.3, pausedPictures * 0.6));
        const QString counts =
            QStringLiteral("%1 pictures, %2 expected (%3 ms active, %4 ms paused)")
                .arg(video.pictures)
                .arg(expected)
                .arg(activeMs)
                .arg(pausedMs);
        QVERIFY2(qAbs(video.pictures - expected) <= tolerance, qPrintable(counts));
        qInfo().noquote() << counts;
    }

    void closingTheWindowFinishesTheRecording()
    {
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        startButton()->click();
        QVERIFY(QTest::qWaitFor([&] { return progress.size() >= 3; }, 30000));

        // File > Exit, which closes the window as its close button does.
        widget<QAction>("actionExit")->trigger();
        QVERIFY(!window->isVisible());
        QVERIFY(!recorder()->isRunning());
        QVERIFY(catcher->boxes().isEmpty()); // no completion box on the way out

        const RecordedVideo video = RecordedVideo::read(recordedFile());
        QVERIFY(video.endsWithEndCode);
        QVERIFY(video.decodesCleanly);
        QVERIFY2(video.pictures >= 3, qPrintable(QString::number(video.pictures)));
    }
};

QTEST_MAIN(TestRecordingEndToEnd)
#include "tst_recording_endtoend.moc"
