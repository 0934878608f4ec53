// Recording from the real window with the real recorder, on an X server of
// its own under display scaling: the output-size rule, states, locked inputs,
// the readout, pause on focus, crash reports, the folder, refused and failed
// recordings, and whole recordings checked by decoding the files.
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "recordingsettings.h"
#include "screenrecorder.h"
#include "xvfbserver.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/resource.h>
#include <utility>

namespace {

// Red, blue and green parts of the screen; a square moves through the blue one.
class Content : public QWidget
{
public:
    Content() : QWidget(nullptr, Qt::X11BypassWindowManagerHint) { startTimer(40); }
    void timerEvent(QTimerEvent *) override { update(480, 0, 480, 270); }
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(0, 0, 480, 270, Qt::red);
        p.fillRect(480, 0, 480, 270, Qt::blue);
        p.fillRect(0, 270, 960, 270, Qt::green);
        p.fillRect(480 + QTime::currentTime().msec() * 440 / 1000, 115, 40, 40, Qt::black);
    }
};

// "codec,width,height,rate,pictures,decoded,end code" as FFmpeg's own tools
// read the recording; its last picture goes to path + ".png".
QString readVideo(const QString &path)
{
    QFile f(path);
    const bool endCode = f.open(QIODevice::ReadOnly) && f.seek(f.size() - 4) &&
                         f.read(4) == QByteArray("\0\0\1\xb7", 4);
    QProcess probe, decode;
    probe.start("ffprobe", {"-v", "error", "-count_frames", "-of", "csv=p=0", "-show_entries",
                            "stream=codec_name,width,height,r_frame_rate,nb_read_frames", path});
    decode.start("ffmpeg", {"-v", "error", "-i", path, "-update", "1", "-y", path + ".png"});
    const bool clean = decode.waitForFinished(60000) && decode.exitCode() == 0 &&
                       decode.readAllStandardError().trimmed().isEmpty();
    probe.waitForFinished(60000);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed().section(',', 0, 4) +
           (clean ? ",decoded" : ",broken") + (endCode ? ",end code" : ",cut off");
}

} // namespace

class TestRecordingControl : public QObject
{
    Q_OBJECT

    Content content;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MessageBoxCatcher> catcher;
    std::unique_ptr<MainWindow> window;

    template <typename T = QWidget> T *get(const QString &n) { return window->findChild<T *>(n); }
    ScreenRecorder *recorder() { return window->findChild<ScreenRecorder *>(); }
    QPushButton *start() { return get<QPushButton>("startButton"); }
    QString file(QString s = {}) { return dir->filePath("zint_2026-03-07_19-05-08" + s + ".mpg"); }
    void setArea(const QVector<int> &xywh)
    {
        for (int i = 0; i < 4; ++i)
            get<QLineEdit>(QByteArray("recordingAreaInput").append("XYWH"[i]))
                ->setText(QString::number(xywh[i]));
    }
    void stop(const QString &title)
    {
        get<QPushButton>("stopButton")->click();
        QVERIFY(catcher->waitForBoxes(1));
        QCOMPARE(catcher->boxes().last().title, title);
    }
    bool nextPicture()
    {
        return QSignalSpy(recorder(), &ScreenRecorder::progressUpdated).wait(30000);
    }

private slots:
    void initTestCase()
    {
        avdevice_register_all();             // as main() does: the screen grabber is a device
        content.setGeometry(0, 0, 960, 540); // the whole screen, in logical pixels
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        catcher = std::make_unique<MessageBoxCatcher>();
        window = std::make_unique<MainWindow>();
        window->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(19, 5, 8)); });
        get<QLineEdit>("destFolderField")->setText(dir->path());
        get<QSlider>("recSpeedSlider")->setValue(5); // six pictures a second
        get<QCheckBox>("showRecordingAreaCheckBox")->setChecked(false);
        get<QCheckBox>("showMouseCheckBox")->setChecked(false);
        setArea({960, 0, 960, 540});                           // device pixels: the blue quarter
        get<QComboBox>("QualityComboBox")->setCurrentIndex(0); // 360p: 480x270
    }

    void cleanup()
    {
        window.reset(); // finishes a recording a failed test left running
    }

    void outputSize_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<int>("quality"); // row of the full list
        QTest::addColumn<QSize>("expected");
        QTest::addRow("landscape") << QSize(1920, 1080) << 2 << QSize(1280, 720);
        QTest::addRow("float ratio truncates") << QSize(1366, 768) << 2 << QSize(1280, 719);
        QTest::addRow("only width capped") << QSize(1920, 1200) << 2 << QSize(1280, 800);
        QTest::addRow("portrait") << QSize(1080, 1920) << 3 << QSize(607, 1080);
        QTest::addRow("square") << QSize(1000, 1000) << 1 << QSize(480, 480);
        QTest::addRow("never enlarged") << QSize(1280, 720) << 3 << QSize(1280, 720);
    }
    void outputSize()
    {
        QFETCH(QSize, area);
        QFETCH(int, quality);
        QTEST(cappedOutputSize(area.width(), area.height(), makeQualityPresets().at(quality)),
              "expected");
    }

    void statesLockedInputsAndFreshNames()
    {
        const QStringList locked =
            QStringLiteral(
                "destFolderButton destFolderField RecAreaFullscreenButton recordingAreaInputX "
                "recordingAreaInputY recordingAreaInputW recordingAreaInputH recSpeedSlider "
                "showMouseCheckBox showRecordingAreaCheckBox QualityComboBox")
                .split(' ');
        for (const char *text : {"Pause", "Resume", "Pause", "Resume"}) {
            start()->click();
            QCOMPARE(start()->text(), QString::fromLatin1(text));
        }
        for (const QString &name : locked)
            QVERIFY2(!get(name)->isEnabled(), qPrintable(name));
        for (const char *name : {"stopButton", "SelectRecAreaButton", "ScreenComboBox",
                                 "showRecAreaButton", "pauseOnFocusCheckBox"})
            QVERIFY2(get(name)->isEnabled(), name);
        stop(QStringLiteral("Status")); // while paused
        QVERIFY(catcher->boxes().last().text.endsWith(file()));
        for (const QString &name : locked)
            QVERIFY2(get(name)->isEnabled(), qPrintable(name));

        // Within the same second: a name of its own, never the first file.
        start()->click();
        QCOMPARE(start()->text(), QStringLiteral("Pause"));
        QCOMPARE(get<QLabel>("FilenameLabel")->text(),
                 QStringLiteral("File: <b>zint_2026-03-07_19-05-08_2.mpg</b>"));
        stop(QStringLiteral("Status"));
        QVERIFY(catcher->boxes().last().text.endsWith(file("_2")));
        QVERIFY(QFileInfo(file()).size() > 0 && QFileInfo(file("_2")).size() > 0);
    }

    void failedFinishIsAnError()
    {
        start()->click();
        QVERIFY(nextPicture());
        // Paused nothing is written, so a file-size limit at the current size
        // lets the loop run and makes the final writes fail.
        start()->click();
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const rlim_t old = std::exchange(limit.rlim_cur, QFileInfo(file()).size());
        std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed test
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        get<QPushButton>("stopButton")->click();
        limit.rlim_cur = old;
        setrlimit(RLIMIT_FSIZE, &limit);
        QVERIFY(catcher->waitForBoxes(1));
        QCOMPARE(catcher->boxes().first().title, QStringLiteral("Error"));
        QVERIFY(catcher->boxes().first().text.contains(QFileInfo(file()).fileName()));
        QCOMPARE(start()->text(), QStringLiteral("Start"));
    }

    void readout_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("time");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("size");
        const qint64 MiB = 1 << 20;
        QTest::addRow("29") << qint64(29) << "00:00:00" << qint64(0) << "0.00 MB";
        QTest::addRow("30") << qint64(30) << "00:00:01" << MiB << "1.00 MB";
        QTest::addRow("1800") << qint64(1800) << "00:01:00" << MiB * 3 / 2 << "1.50 MB";
        QTest::addRow("1 h") << qint64(108000) << "01:00:00" << 2560 * MiB + 1 << "2560.00 MB";
        QTest::addRow("19 h 53") << qint64(2147484) << "19:53:02" << qint64(0) << "0.00 MB";
        QTest::addRow("100 h") << qint64(10801830) << "100:01:01" << MiB << "1.00 MB";
    }
    void readout()
    {
        QFETCH(qint64, frames);
        QFETCH(qint64, bytes);
        emit recorder()->progressUpdated(frames, bytes);
        QTEST(get<QLabel>("timeCountLabel")->text(), "time");
        QTEST(get<QLabel>("fileSizeLabel")->text(), "size");
    }

    void pauseOnFocus()
    {
        start()->click();
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY2(!recorder()->isPaused(), "paused with the box not ticked");
        get<QCheckBox>("pauseOnFocusCheckBox")->setChecked(true);
        for (int i = 0; i < 2; ++i) { // the second activation changes nothing
            emit qApp->applicationStateChanged(Qt::ApplicationActive);
            QCOMPARE(start()->text(), QStringLiteral("Resume"));
        }
    }

    void crashCodes_data()
    {
        QTest::addColumn<int>("code");
        for (int code : {0, 1, 2, 3})
            QTest::addRow("%d", code) << code;
    }
    void crashCodes()
    {
        QFETCH(int, code);
        window->show();
        emit recorder()->recorderCrashed(static_cast<RecorderCrashCode>(code));
        QCOMPARE(catcher->boxes().size(), code < 3 ? 1 : 0); // 3 is no crash code
        QCOMPARE(window->isVisible(), code == 3);
    }

    void chosenFolderEnablesStart()
    {
        get<QLineEdit>("destFolderField")->clear();
        QVERIFY(!start()->isEnabled());
        QTimer::singleShot(0, this, [this] {
            QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget(); }));
            auto *dialog = static_cast<QFileDialog *>(QApplication::activeModalWidget());
            dialog->setDirectory(dir->path());
            dialog->QDialog::accept(); // as the Choose button does, past the name checks
        });
        get<QPushButton>("destFolderButton")->click();
        QCOMPARE(get<QLineEdit>("destFolderField")->text(), dir->path());
        QVERIFY(start()->isEnabled());
    }

    void refusedStarts_data()
    {
        QTest::addColumn<QString>("folder");    // in the temporary folder, where "file" is a file
        QTest::addColumn<QVector<int>>("area"); // x, y, w, h
        QTest::addColumn<QString>("says");
        QTest::addRow("too small") << "new" << QVector<int>{0, 0, 400, 300} << "480 pixels wide";
        QTest::addRow("portrait") << "new" << QVector<int>{0, 0, 300, 300} << "360 pixels tall";
        QTest::addRow("no height") << "new" << QVector<int>{0, 0, 960, 0} << "at least 1 pixel";
        QTest::addRow("off the desktop") << "new" << QVector<int>{1000, 0, 960, 540} << "inside";
        QTest::addRow("32-bit wrap") << "new" << QVector<int>{2147483000, 0, 1000, 540} << "inside";
        QTest::addRow("bad folder") << "file/new" << QVector<int>{0, 0, 960, 540} << "Couldn't";
    }
    void refusedStarts()
    {
        QFETCH(QString, folder);
        QFETCH(QVector<int>, area);
        QFETCH(QString, says);
        QFile(dir->filePath("file")).open(QIODevice::WriteOnly);
        get<QLineEdit>("destFolderField")->setText(dir->filePath(folder));
        setArea(area);
        start()->click();
        QVERIFY(catcher->waitForBoxes(1));
        const auto box = catcher->boxes().first();
        QCOMPARE(box.title, QString(folder == "new" ? "Invalid recording area" : "Error"));
        QVERIFY2(box.text.contains(says), qPrintable(box.text));
        QVERIFY(!QFileInfo::exists(dir->filePath(folder))); // a refused start makes nothing
        QCOMPARE(start()->text(), QStringLiteral("Start!"));
    }

    void wholeRecording()
    {
        start()->click();
        QVERIFY(nextPicture()); // count from the first picture: opening takes a while
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(2000);
        start()->click();
        const qint64 pausedAt = clock.elapsed();
        QTest::qWait(2000);
        start()->click();
        const qint64 pausedMs = clock.elapsed() - pausedAt;
        QTest::qWait(2000);
        const qint64 activeMs = clock.elapsed() - pausedMs;
        stop(QStringLiteral("Status"));
        const QString video = readVideo(file());
        QCOMPARE(video.section(',', 0, 3), QStringLiteral("mpeg2video,480,270,30/1"));
        QCOMPARE(video.section(',', 5), QStringLiteral("decoded,end code"));
        // One picture per interval while not paused, plus the first; the
        // tolerance stays well below the pictures of the paused time.
        const double expected = 1 + activeMs * 0.006;
        QVERIFY2(qAbs(video.section(',', 4, 4).toInt() - expected) <=
                     qMax(3.0, pausedMs * 0.006 * 0.6),
                 qPrintable(QStringLiteral("%1: %2 pictures expected").arg(video).arg(expected)));
        // The inputs are device pixels: every corner shows the blue quarter.
        const QImage last(file() + ".png");
        for (const QPoint p : {QPoint(4, 4), QPoint(475, 4), QPoint(4, 265), QPoint(475, 265)}) {
            const QColor c = last.pixelColor(p);
            QVERIFY2(c.red() < 40 && c.green() < 40 && c.blue() > 215, qPrintable(c.name()));
        }
    }

    void closingFinishesTheRecording()
    {
        start()->click();
        for (int i = 0; i < 3; ++i)
            QVERIFY(nextPicture());
        get<QAction>("actionExit")->trigger(); // closes the window as its close button does
        // Finished on the way out, without a completion box.
        QVERIFY(!recorder()->isRunning() && catcher->boxes().isEmpty());
        const QString video = readVideo(file());
        QCOMPARE(video.section(',', 5), QStringLiteral("decoded,end code"));
        QVERIFY2(video.section(',', 4, 4).toInt() >= 3, qPrintable(video));
    }
};

int main(int argc, char *argv[])
{
    // A 1920x1080 server of its own, so that no other test's windows end up
    // in the pictures, shown at twice the scale.
    XvfbServer server;
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestRecordingControl test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordingcontrol.moc"
