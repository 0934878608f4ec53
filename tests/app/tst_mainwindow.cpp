// The main window with the real recorder, on an X server of its own under
// display scaling: what a user would see go wrong in the layout (a widget
// missing, hidden, cut off or covering another; the menus), the area settings (on a made-up desktop
// of three screens), states, locked inputs, pause on focus, the folder, refused starts, failed
// recordings and whole recordings checked by decoding the files.
#include "fakescreens.h"
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "recordingsettings.h"
#include "screenrecorder.h"
#include "videofile.h"
#include "xvfbserver.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

// Every later write past this size fails, as on a full disk.
void limitFileSize(rlim_t size)
{
    const rlimit limit{size, RLIM_INFINITY};
    std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed test
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
}

const QStringList locked =
    QStringLiteral("destFolderButton destFolderField RecAreaFullscreenButton "
                   "recordingAreaInputX recordingAreaInputY recordingAreaInputW "
                   "recordingAreaInputH recSpeedSlider showMouseCheckBox "
                   "showRecordingAreaCheckBox QualityComboBox")
        .split(' ');

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    QWidget content; // blue where the tests record
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MessageBoxCatcher> catcher;
    std::unique_ptr<MainWindow> window;

    template <typename T = QWidget> T *get(const QString &n) { return window->findChild<T *>(n); }
    ScreenRecorder *recorder() { return window->findChild<ScreenRecorder *>(); }
    QPushButton *start() { return get<QPushButton>("startButton"); }
    QString file(QString s = {}) { return dir->filePath("zint_2026-03-07_19-05-08" + s + ".mpg"); }
    QString mountPoint() { return dir->filePath("mnt"); }
    QLineEdit *input(char which)
    {
        return get<QLineEdit>(QStringLiteral("recordingAreaInput") + QLatin1Char(which));
    }
    void setArea(const QVector<int> &xywh)
    {
        for (int i = 0; i < 4; ++i)
            input("XYWH"[i])->setText(QString::number(xywh[i]));
    }
    QRect area()
    {
        return QRect(input('X')->text().toInt(), input('Y')->text().toInt(),
                     input('W')->text().toInt(), input('H')->text().toInt());
    }
    // The settings inputs as the user sees them: value and whether locked.
    QStringList settings()
    {
        QStringList shown;
        for (const QString &name : locked)
            shown << name + (get(name)->isEnabled() ? ": " : " locked: ") +
                         get(name)->metaObject()->userProperty().read(get(name)).toString();
        return shown;
    }
    void stop(const QString &title)
    {
        get<QPushButton>("stopButton")->click();
        QVERIFY(catcher->waitForBoxes(1));
        QCOMPARE(catcher->boxes().last().title, title);
    }

private slots:
    void initTestCase()
    {
        avdevice_register_all(); // as main() does: the screen grabber is a device
        content.setPalette(QPalette(Qt::blue));
        content.setAutoFillBackground(true);
        content.setGeometry(480, 0, 480, 270); // logical pixels: the top right quarter
        content.show();
        QVERIFY(QTest::qWaitForWindowExposed(&content));
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(dir->path())); // every recording goes to "~"
        catcher = std::make_unique<MessageBoxCatcher>();
        window = std::make_unique<MainWindow>();
        window->setClock([] { return QDateTime(QDate(2026, 3, 7), QTime(19, 5, 8)); });
        get<QLineEdit>("destFolderField")->setText("~");
        get<QSlider>("recSpeedSlider")->setValue(5); // six pictures a second
        get<QCheckBox>("showRecordingAreaCheckBox")->setChecked(false);
        get<QCheckBox>("showMouseCheckBox")->setChecked(false);
        setArea({960, 0, 960, 540});                           // device pixels: the blue quarter
        get<QComboBox>("QualityComboBox")->setCurrentIndex(0); // 360p: 480x270
    }

    void cleanup()
    {
        window.reset(); // finishes a recording a failed test left running
        umount2(QFile::encodeName(mountPoint()), MNT_DETACH);
    }

    void layoutAndMenus()
    {
        window->resize(window->minimumSize()); // everything must fit the smallest window
        window->show();
        auto *tabs = get<QTabWidget>("tabWidget");
        const QStringList names =
            QStringLiteral(
                "startButton stopButton FilenameLabel tabWidget timeCountLabel fileSizeLabel "
                "groupBox SelectRecAreaButton RecAreaFullscreenButton recordingAreaCoord "
                "showRecAreaButton SelectedScreenLabel groupBox_3 destFolderField destFolderButton "
                "groupBox_2 RecSpeedLabel recSpeedSlider groupBox_4 showRecordingAreaCheckBox "
                "label_3 recordingAreaInputW label_6 recordingAreaInputX label_5 "
                "recordingAreaInputH label_7 recordingAreaInputY label_2 ScreenComboBox "
                "groupBox_5 showMouseCheckBox label QualityComboBox pauseOnFocusCheckBox")
                .split(' ');
        for (const QString &name : names) {
            const auto found = window->findChildren<QWidget *>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            QWidget *widget = found.first();
            for (int tab = 0; tab < tabs->count(); ++tab)
                if (tabs->widget(tab)->isAncestorOf(widget))
                    tabs->setCurrentIndex(tab);
            QVERIFY2(widget->isVisible(), qPrintable(name));
            QWidget *parent = widget->parentWidget();
            // What it shows must fit; a check box may be wider than its text.
            const QSize shown = widget->size().boundedTo(widget->sizeHint());
            QVERIFY2(parent->rect().contains(QRect(widget->pos(), shown)), qPrintable(name));
            // Edges may touch: the layout puts a label's last row on a button's first.
            for (QWidget *sibling :
                 parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
                QVERIFY2(
                    sibling == widget || !sibling->isVisible() ||
                        !sibling->geometry().intersects(widget->geometry().adjusted(1, 1, -1, -1)),
                    qPrintable(name + " covers " + sibling->objectName()));
        }

        QStringList shown;
        for (QAction *menu : window->menuBar()->actions()) {
            shown << menu->text();
            for (QAction *action : menu->menu()->actions())
                shown << " " + action->text();
        }
        QCOMPARE(shown, (QStringList{"File", " Exit", "Help", " Check for updates...", " About"}));
    }

    void areaFromTheScreens()
    {
        // Left screen at negative x, the primary in the middle with a task
        // bar, and a larger screen to the right.
        const QVector<FakeScreens::Screen> desktop{
            {QRect(-1280, 0, 1280, 1024), QRect(-1280, 0, 1280, 1024)},
            {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)},
            {QRect(1920, 0, 2560, 1440), QRect(1920, 0, 2560, 1400)}};
        // In a Wayland session (recordings through the desktop's screen
        // sharing) the outline while recording is said to be unavailable.
        qputenv("WAYLAND_DISPLAY", "wayland-test");
        window = std::make_unique<MainWindow>(nullptr, std::make_unique<FakeScreens>(desktop, 1));
        qunsetenv("WAYLAND_DISPLAY");
        QVERIFY(get("showRecordingAreaCheckBox")->toolTip().contains("Wayland"));
        QCOMPARE(get<QLabel>("SelectedScreenLabel")->text(), QStringLiteral("Screen: #2"));
        QCOMPARE(area(), QRect(0, 0, 1920, 1040)); // the primary's, without the task bar
        QCOMPARE(get<QComboBox>("QualityComboBox")->currentText(), QStringLiteral("1080p HD"));
        // The validators span the whole desktop, so the larger screen's width can be typed.
        QCOMPARE(qobject_cast<const QIntValidator *>(input('W')->validator())->top(), 5760);
        QCOMPARE(qobject_cast<const QIntValidator *>(input('H')->validator())->top(), 1440);
        get<QComboBox>("ScreenComboBox")->setCurrentIndex(0);
        QCOMPARE(area(), QRect(-1280, 0, 1280, 1024));
        QCOMPARE(get<QLabel>("SelectedScreenLabel")->text(), QStringLiteral("Screen: #1"));

        // The fullscreen button follows the area, and a click restores it.
        auto *fullscreen = get<QPushButton>("RecAreaFullscreenButton");
        for (QLineEdit *edit : {input('X'), input('Y'), input('W'), input('H')}) {
            const QString before = edit->text();
            edit->setText(QString::number(before.toInt() + 1));
            QVERIFY(!fullscreen->isChecked() && fullscreen->text() == "Set Fullscreen");
            edit->setText(before);
            QVERIFY(fullscreen->isChecked() && fullscreen->text() == "Fullscreen");
        }
        fullscreen->click(); // checked stays checked
        QVERIFY(fullscreen->isChecked());
        setArea({10, 10, 800, 600});
        fullscreen->click();
        QCOMPARE(area(), QRect(-1280, 0, 1280, 1024));

        input('W')->clear();
        QCOMPARE(input('W')->text(), QStringLiteral("0"));
        input('W')->setText(QStringLiteral("007"));
        QCOMPARE(input('W')->text(), QStringLiteral("7"));
        // Bounds past the 32-bit limit, and a negative position.
        setArea({2147483000, -50, 1000, 480});
        QCOMPARE(get<QLabel>("recordingAreaCoord")->text(), QStringLiteral("Resolution: 1000x480"));
        QCOMPARE(get<QLabel>("recordingAreaCoord")->toolTip(),
                 QStringLiteral("The bounding box for the recording area. \nCovering horizontally "
                                "from 2147483000px to 2147484000px, \nAnd vertically from -50px "
                                "to 430px"));
        get<QSlider>("recSpeedSlider")->setValue(30);
        QCOMPARE(get<QLabel>("RecSpeedLabel")->text(), QStringLiteral("x30"));
        QCOMPARE(area(), QRect(2147483000, -50, 1000, 480));
    }

    void qualityRows_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<int>("offered");
        QTest::addColumn<int>("row"); // whose output size is checked
        QTest::addColumn<QSize>("output");
        QTest::newRow("4K") << QSize(3840, 2160) << 6 << 5 << QSize(3840, 2160);
        QTest::newRow("1919x1080") << QSize(1919, 1080) << 3 << 2 << QSize(1280, 720);
        QTest::newRow("float ratio truncates") << QSize(1366, 768) << 3 << 2 << QSize(1280, 719);
        QTest::newRow("only width capped") << QSize(1920, 1200) << 4 << 2 << QSize(1280, 800);
        QTest::newRow("portrait by heights") << QSize(1080, 1920) << 5 << 3 << QSize(607, 1080);
        QTest::newRow("square by heights") << QSize(1000, 1000) << 3 << 1 << QSize(480, 480);
        QTest::newRow("360 square") << QSize(360, 360) << 1 << 0 << QSize(360, 360);
        QTest::newRow("row 0 is 480 wide") << QSize(479, 300) << 0 << 0 << QSize(479, 300);
    }
    void qualityRows()
    {
        QFETCH(QSize, area);
        QFETCH(int, offered);
        QFETCH(int, row);
        const QVector<QualityPreset> rows = makeQualityPresets();
        auto *quality = get<QComboBox>("QualityComboBox");
        quality->setCurrentIndex(0); // a choice is not kept across area changes
        setArea({0, 0, area.width(), area.height()});
        QCOMPARE(quality->count(), offered);
        for (int i = 0; i < offered; ++i)
            QCOMPARE(quality->itemText(i), rows.at(i).label);
        QCOMPARE(quality->currentIndex(), offered - 1);
        QTEST(cappedOutputSize(area.width(), area.height(), rows.at(row)), "output");
    }

    // Frames and bytes alike.
    void readout_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("size");
        QTest::addRow("29") << qint64(29) << "00:00:00"
                            << "0.00 MB";
        // Past 19 h 53 min the milliseconds need 64 bits, as do 2 GiB.
        QTest::addRow("100 h") << qint64(10801830) << "100:01:01"
                               << "10.30 MB";
        QTest::addRow("2.5 GiB") << (qint64(5) << 29) + 1 << "24855:08:05"
                                 << "2560.00 MB";
    }
    void readout()
    {
        QFETCH(qint64, count);
        emit recorder()->progressUpdated(count, count);
        QTEST(get<QLabel>("timeCountLabel")->text(), "time");
        QTEST(get<QLabel>("fileSizeLabel")->text(), "size");
    }

    // Each ends in at most one box, with the window Idle and every setting as
    // it was.
    void refusedAndFailedRecordings_data()
    {
        QTest::addColumn<QString>("folder");    // in the temporary folder; empty: "~"
        QTest::addColumn<QVector<int>>("area"); // x, y, w, h; empty: the blue quarter
        QTest::addColumn<QString>("title");     // empty: no box
        QTest::addColumn<QString>("says");
        const auto row = [](const char *name, const char *folder, QVector<int> area,
                            const char *title, const char *says) {
            QTest::newRow(name) << QString(folder) << area << QString(title) << QString(says);
        };
        const char *const invalid = "Invalid recording area", *const crashed = "Recorder crashed";
        row("too small", "new", {0, 0, 400, 300}, invalid, "480 pixels wide");
        row("no height", "new", {0, 0, 960, 0}, invalid, "at least 1 pixel");
        row("off the desktop", "new", {1000, 0, 960, 540}, invalid, "inside");
        row("32-bit wrap", "new", {2147483000, 0, 1000, 540}, invalid, "inside");
        row("bad folder", "/dev/null/new", {}, "Error", "/dev/null/new: Not a directory");
        row("read-only", "mnt", {}, "Error", "mnt: Read-only file system");
        row("disk full", "mnt", {}, crashed, "No space left on device");
        row("full at stop", "", {}, crashed, "File too large");
        row("full at close", "", {}, crashed, "File too large");
        row("no display", "", {}, crashed, "No file was written");
        row("closed", "", {}, "", "");
        row("sharing refused", "", {}, "Screen sharing", "Sharing cancelled.");
        row("sharing not begun", "", {}, "", "");
    }
    void refusedAndFailedRecordings()
    {
        QFETCH(QString, folder);
        QFETCH(QVector<int>, area);
        QFETCH(QString, title);
        QFETCH(QString, says);
        const QByteArray how = QTest::currentDataTag();
        if (folder == "mnt" && (!QDir().mkpath(mountPoint()) ||
                                mount("tmpfs", QFile::encodeName(mountPoint()), "tmpfs",
                                      how == "read-only" ? MS_RDONLY : 0, "size=4m") != 0))
            QSKIP("no file system can be mounted here (the test needs root)");
        window->show();
        if (!folder.isEmpty())
            get<QLineEdit>("destFolderField")->setText(QDir(dir->path()).filePath(folder));
        if (!area.isEmpty())
            setArea(area);
        get<QSlider>("recSpeedSlider")->setValue(1); // a second of video in a second
        const QString path =
            QDir(dir->path()).filePath(folder) + "/" + QFileInfo(file()).fileName();
        const bool refused = title == "Error" || title.startsWith("Invalid");
        const bool recording = !refused && how != "no display";
        const QStringList before = settings();
        const QByteArray display = qgetenv("DISPLAY");
        if (how == "no display")
            qputenv("DISPLAY", ":12345");
        start()->click();
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        QTRY_VERIFY_WITH_TIMEOUT(!recording || progress.size() > 30, 30000);

        if (how == "disk full") {
            QFile filler(mountPoint() + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 0)) == 4096)
                ;
        } else if (how.startsWith("full at")) {
            start()->click(); // paused, nothing is written until the finish
            limitFileSize(QFileInfo(path).size());
        }
        if (how == "full at stop")
            get<QPushButton>("stopButton")->click();
        else if (how == "full at close" || how == "closed")
            window->close();
        else if (how.startsWith("sharing"))
            emit recorder()->captureRefused(says);
        limitFileSize(RLIM_INFINITY);
        QVERIFY(catcher->waitForBoxes(title.isEmpty() ? 0 : 1, 30000));
        qputenv("DISPLAY", display);
        QCOMPARE(catcher->boxes().size(), title.isEmpty() ? 0 : 1);
        QCOMPARE(window->isVisible(), !how.contains("close"));
        QVERIFY(start()->text() == (refused ? "Start!" : "Start") &&
                !get("stopButton")->isEnabled());
        QCOMPARE(settings(), before);
        const DecodedVideo video = decodeVideoFile(path);
        if (!title.isEmpty()) {
            const QString text = catcher->boxes().first().text;
            QCOMPARE(catcher->boxes().first().title, title);
            QVERIFY2(text.contains(says), qPrintable(text));
            // Which file, and what it kept.
            if (title == "Recorder crashed" && recording)
                QVERIFY2(text.contains(path) &&
                             text.contains("Kept: " + elapsedText(video.frames()) + " of video, " +
                                           fileSizeText(video.fileSize)),
                         qPrintable(text));
        }
        QCOMPARE(QFileInfo::exists(path), recording);
        if (recording) // decodes; finished files end with the end code
            QVERIFY(video.errors == 0 && (title == "Recorder crashed" || video.endsWithEndCode));
        QVERIFY(!QFileInfo::exists(dir->filePath("new"))); // a refused start makes no folder
    }

    // Folder, states, locked inputs and pause on focus on the way through two
    // recordings, the first one decoded.
    void wholeRecordings()
    {
        get<QLineEdit>("destFolderField")->clear();
        QVERIFY(!start()->isEnabled() && start()->toolTip().contains("destination folder"));
        QTimer::singleShot(0, this, [this] {
            QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget(); }));
            auto *dialog = static_cast<QFileDialog *>(QApplication::activeModalWidget());
            dialog->setDirectory(dir->path());
            dialog->QDialog::accept(); // as the Choose button does, past the name checks
        });
        get<QPushButton>("destFolderButton")->click();
        QVERIFY(start()->isEnabled() && start()->toolTip().isEmpty());

        const QStringList before = settings();
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        start()->click();
        emit qApp->applicationStateChanged(Qt::ApplicationActive); // the box is not ticked
        QCOMPARE(start()->text(), QStringLiteral("Pause"));
        QVERIFY(progress.wait(30000)); // count from the first picture: opening takes a while
        QElapsedTimer clock;
        clock.start();
        emit recorder()->recorderCrashed(RecorderCrashCode(3)); // no crash code: ignored
        QTest::qWait(2000);
        get<QCheckBox>("pauseOnFocusCheckBox")->setChecked(true);
        for (int i = 0; i < 2; ++i) { // pauses once, never resumes
            emit qApp->applicationStateChanged(Qt::ApplicationActive);
            QCOMPARE(start()->text(), QStringLiteral("Resume"));
        }
        const qint64 pausedAt = clock.elapsed();
        QTest::qWait(2000);
        start()->click();
        QCOMPARE(start()->text(), QStringLiteral("Pause"));
        const qint64 pausedMs = clock.elapsed() - pausedAt;
        QTest::qWait(2000);
        start()->click();
        QCOMPARE(start()->text(), QStringLiteral("Resume"));
        const qint64 activeMs = clock.elapsed() - pausedMs;
        QCOMPARE(settings().filter(" locked: ").size(), locked.size());
        for (const char *name : {"stopButton", "SelectRecAreaButton", "ScreenComboBox",
                                 "showRecAreaButton", "pauseOnFocusCheckBox"})
            QVERIFY2(get(name)->isEnabled(), name);
        stop(QStringLiteral("Status")); // while paused
        QVERIFY(catcher->boxes().last().text.endsWith("\n" + file()));
        QCOMPARE(settings(), before);

        const DecodedVideo video = decodeVideoFile(file(), QPointF(0.02, 0.02));
        QVERIFY(video.size == QSize(480, 270) && video.frameRate == 30.0);
        QVERIFY(video.errors == 0 && video.endsWithEndCode);
        // One picture per interval while not paused, plus the first; the
        // tolerance stays well below the pictures of the paused time.
        const double expected = 1 + activeMs * 0.006;
        QVERIFY2(qAbs(video.frames() - expected) <= qMax(3.0, pausedMs * 0.006 * 0.6),
                 qPrintable(QString("%1 pictures, %2 expected").arg(video.frames()).arg(expected)));
        // The inputs are device pixels: opposite corners show the blue quarter.
        for (QColor c :
             {video.colours.last(), decodeVideoFile(file(), QPointF(0.98, 0.98)).colours.last()})
            QVERIFY2(c.red() < 40 && c.green() < 40 && c.blue() > 215, qPrintable(c.name()));

        // Within the same second: a name of its own, never the first file;
        // "~" is the home folder, and the box names the file by its full path.
        get<QLineEdit>("destFolderField")->setText("~");
        start()->click();
        QCOMPARE(start()->text(), QStringLiteral("Pause"));
        QCOMPARE(get<QLabel>("FilenameLabel")->text(),
                 QStringLiteral("File: <b>zint_2026-03-07_19-05-08_2.mpg</b>"));
        // A crash report still queued when Stop ends the recording adds no box.
        QMetaObject::invokeMethod(recorder(), "recorderCrashed", Qt::QueuedConnection,
                                  Q_ARG(RecorderCrashCode, FrameError));
        stop(QStringLiteral("Status"));
        QVERIFY(catcher->boxes().last().text.endsWith(file("_2")));
        QTRY_COMPARE(catcher->boxes().size(), 2);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QFileInfo(file()).fileName(), QFileInfo(file("_2")).fileName()}));
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
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
