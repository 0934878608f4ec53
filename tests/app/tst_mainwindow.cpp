// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with the real recorder, on an X server of its own under
// display scaling: what a user would see go wrong in the layout (a widget
// missing, hidden, cut off or covering another), the area settings (on a
// made-up desktop of three screens, typed with keys), states, locked inputs,
// pause on focus and the click that focuses the window, refused starts,
// failed recordings and a whole recording checked by decoding the file.
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
    QString file() { return dir->filePath("zint_2026-03-07_19-05-08.mpg"); }
    QLineEdit *input(char c) { return get<QLineEdit>(QString("recordingAreaInput") + c); }
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
    // A click on the start button that activates the window, as one does
    // when another program's window is active. Qt's X11 platform asks for the
    // focus on the press, so the activation comes between press and release;
    // on Windows and with some window managers it comes before the press.
    void activatingClick(bool activationFirst)
    {
        QCursor::setPos(start()->mapToGlobal(start()->rect().center()));
        if (activationFirst)
            emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QTest::mousePress(start(), Qt::LeftButton);
        if (!activationFirst)
            emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QTest::mouseRelease(start(), Qt::LeftButton);
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
        get<QSlider>("recSpeedSlider")->setValue(5);           // six pictures a second
        setArea({960, 0, 960, 540});                           // device pixels: the blue quarter
        get<QComboBox>("QualityComboBox")->setCurrentIndex(0); // 360p: 480x270
    }

    void cleanup()
    {
        window.reset(); // finishes a recording a failed test left running
    }

    void layout()
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
            QWidget *widget = get(name);
            QVERIFY2(widget, qPrintable(name));
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
    }

    void areaFromTheScreens()
    {
        // Left screen at negative x, the primary in the middle with a task
        // bar, and a larger screen to the right.
        const QVector<FakeScreens::Screen> desktop{
            {QRect(-1280, 0, 1280, 1024), QRect(-1280, 0, 1280, 1024)},
            {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)},
            {QRect(1920, 0, 2560, 1440), QRect(1920, 0, 2560, 1400)}};
        // No desktop folder is known, in a Wayland session.
        QFile userDirs(dir->filePath("user-dirs.dirs"));
        QVERIFY(userDirs.open(QIODevice::WriteOnly) && userDirs.write("XDG_DESKTOP_DIR=\n") > 0);
        userDirs.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir->path()));
        window = std::make_unique<MainWindow>(nullptr, std::make_unique<FakeScreens>(desktop, 1),
                                              CaptureSession{true, false, true});
        qunsetenv("XDG_CONFIG_HOME");
        QVERIFY(!start()->isEnabled() && start()->toolTip().contains("destination folder"));
        QVERIFY(get("showRecordingAreaCheckBox")->toolTip().contains("Wayland"));

        QCOMPARE(area(), QRect(0, 0, 1920, 1040)); // the primary's, without the task bar
        // The validators span the whole desktop, so the larger screen's width can be typed.
        QCOMPARE(qobject_cast<const QIntValidator *>(input('W')->validator())->top(), 5760);
        get<QComboBox>("ScreenComboBox")->setCurrentIndex(0);
        QCOMPARE(area(), QRect(-1280, 0, 1280, 1024));

        // The fullscreen button follows the area as it is typed, and a click
        // restores it. A lone "-" is left for the number to follow.
        auto *fullscreen = get<QPushButton>("RecAreaFullscreenButton");
        for (QLineEdit *edit : {input('X'), input('Y'), input('W'), input('H')}) {
            const QString before = edit->text();
            edit->setText(QString::number(before.toInt() + 1));
            QVERIFY(!fullscreen->isChecked() && fullscreen->text() == "Set Fullscreen");
            edit->selectAll();
            QTest::keyClicks(edit, before);
            QCOMPARE(edit->text(), before);
            QVERIFY(fullscreen->isChecked() && fullscreen->text() == "Fullscreen");
        }
        fullscreen->click(); // checked stays checked
        QVERIFY(fullscreen->isChecked());
        setArea({10, 10, 800, 600});
        fullscreen->click();
        QCOMPARE(area(), QRect(-1280, 0, 1280, 1024));
        input('W')->clear(); // being typed: left empty, the width kept
        QVERIFY(input('W')->text().isEmpty() && fullscreen->isChecked());
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

    void readoutAndNames()
    {
        // Past 19 h 53 min of video the milliseconds need 64 bits, as do 2 GiB.
        emit recorder()->progressUpdated((qint64(5) << 29) + 1, (qint64(5) << 29) + 1);
        QCOMPARE(get<QLabel>("timeCountLabel")->text(), QStringLiteral("24855:08:05"));
        QCOMPARE(get<QLabel>("fileSizeLabel")->text(), QStringLiteral("2560.00 MB"));
        // Where "\" separates folders (Windows), "~\Videos" is in the home folder too.
        for (const char *typed : {"~/Videos", "~\\Videos"})
            QCOMPARE(absoluteFolder(typed, "/home/ann", '\\'), QStringLiteral("/home/ann/Videos"));
        // A recording started within the same second as one before gets a name of its own.
        const auto taken = [](const QString &path) { return path.endsWith("/zint_1.mpg"); };
        QCOMPARE(unusedFileName("/f", "zint_1.mpg", taken), QStringLiteral("zint_1_2.mpg"));
    }

    // Each ends in at most one box, with the window Idle, every setting as it
    // was, and the file label naming only a file that was made.
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
        row("no height", "new", {0, 0, 960, 0}, invalid, "at least 1 pixel");
        row("off the desktop", "new", {1000, 0, 960, 540}, invalid, "inside");
        row("32-bit wrap", "new", {2147483000, 0, 1000, 540}, invalid, "inside");
        row("typing", "new", {}, invalid, "X is \"-\": type a whole number");
        row("bad folder", "/dev/null/new", {}, "Error", "/dev/null/new: Not a directory");
        row("takes no file", "/proc", {}, "Error", "Couldn't create a file in the target folder");
        // Would record black: this build has no screen sharing for a Wayland session.
        row("Wayland", "", {}, "Error", "cannot record a Wayland desktop");
        row("full at stop", "", {}, crashed, "File too large");
        row("full at close", "", {}, crashed, "File too large");
        row("no display", "", {}, crashed, "No file was written");
        row("sharing refused", "", {}, "Screen sharing", "Sharing cancelled.");
    }
    void refusedAndFailedRecordings()
    {
        QFETCH(QString, folder);
        QFETCH(QVector<int>, area);
        QFETCH(QString, title);
        QFETCH(QString, says);
        const QByteArray how = QTest::currentDataTag();
        if (how == "Wayland")
            window =
                std::make_unique<MainWindow>(nullptr, nullptr, CaptureSession{true, false, false});
        window->show();
        if (!folder.isEmpty())
            get<QLineEdit>("destFolderField")->setText(QDir(dir->path()).filePath(folder));
        if (!area.isEmpty())
            setArea(area);
        if (how == "typing")
            input('X')->setText("-");
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

        if (how.startsWith("full at")) {
            start()->click(); // paused, nothing is written until the finish
            limitFileSize(QFileInfo(path).size());
        }
        if (how == "full at stop") {
            // A crash report still queued when Stop ends the recording adds no box.
            QMetaObject::invokeMethod(recorder(), "recorderCrashed", Qt::QueuedConnection,
                                      Q_ARG(RecorderCrashCode, FrameError));
            get<QPushButton>("stopButton")->click();
        } else if (how == "full at close")
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
        const MessageBoxCatcher::Box box = catcher->boxes().value(0);
        QVERIFY2(box.title == title && box.text.contains(says), qPrintable(box.text));
        // Which file, and what it kept.
        if (title == "Recorder crashed" && recording)
            QVERIFY2(box.text.contains(path) &&
                         box.text.contains("Kept: " + elapsedText(video.frames()) + " of video, " +
                                           fileSizeText(video.fileSize)),
                     qPrintable(box.text));
        QCOMPARE(QFileInfo::exists(path), recording);
        QCOMPARE(get<QLabel>("FilenameLabel")->text().contains(QFileInfo(path).fileName()),
                 recording);
        if (recording) // decodes; finished files end with the end code
            QVERIFY(video.errors == 0 && (title == "Recorder crashed" || video.endsWithEndCode));
        QVERIFY(!QFileInfo::exists(dir->filePath("new"))); // a refused start makes no folder
    }

    // States, settings, locked inputs and pause on focus through a recording
    // checked by decoding it.
    void wholeRecordings()
    {
        QCursor::setPos(0, 0); // off the start button
        // Each box reaches its own setting.
        get<QCheckBox>("showRecordingAreaCheckBox")->setChecked(false);
        const QStringList before = settings();
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        start()->click();
        QVERIFY(recorder()->drawMouse && !recorder()->showRegion);
        emit qApp->applicationStateChanged(Qt::ApplicationActive); // the box is not ticked
        QCOMPARE(start()->text(), QStringLiteral("Pause"));
        QVERIFY(progress.wait(30000)); // count from the first picture: opening takes a while
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(2000);
        get<QCheckBox>("pauseOnFocusCheckBox")->setChecked(true);
        for (int i = 0; i < 2; ++i) { // pauses once, never resumes
            emit qApp->applicationStateChanged(Qt::ApplicationActive);
            QCOMPARE(start()->text(), QStringLiteral("Resume"));
        }
        const qint64 pausedAt = clock.elapsed();
        QTest::qWait(2000);
        // The activation that a click causes undoes neither a resume nor a pause.
        activatingClick(true);
        QVERIFY(start()->text() == "Pause" && !recorder()->isPaused());
        const qint64 pausedMs = clock.elapsed() - pausedAt;
        QTest::qWait(2000);
        activatingClick(false);
        QVERIFY(start()->text() == "Resume" && recorder()->isPaused());
        start()->click(); // a moment's recording, then the other order
        activatingClick(true);
        QVERIFY(start()->text() == "Resume" && recorder()->isPaused());
        const qint64 activeMs = clock.elapsed() - pausedMs;
        QCOMPARE(settings().filter(" locked: ").size(), locked.size());
        QVERIFY(get("stopButton")->isEnabled() && get("pauseOnFocusCheckBox")->isEnabled());
        get<QPushButton>("stopButton")->click(); // while paused
        QVERIFY(catcher->waitForBoxes(1));
        QVERIFY(catcher->boxes().first().title == "Status" &&
                catcher->boxes().first().text.endsWith("\n" + file()));
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
