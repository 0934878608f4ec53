// The window's side of a recording, with the real recorder on the test X
// server: state texts, locked inputs, pause on focus, crash reports, the
// destination folder and the starts that must be refused.
#include "fakescreens.h"
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "screenrecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace {

const char *const lockedInputs[] = {
    "destFolderButton",          "destFolderField",     "RecAreaFullscreenButton",
    "recordingAreaInputX",       "recordingAreaInputY", "recordingAreaInputH",
    "recordingAreaInputW",       "recSpeedSlider",      "showMouseCheckBox",
    "showRecordingAreaCheckBox", "QualityComboBox",
};
const char *const usableInputs[] = {
    "startButton",    "stopButton",        "SelectRecAreaButton",
    "ScreenComboBox", "showRecAreaButton", "pauseOnFocusCheckBox",
};

const QDateTime fixedTime(QDate(2026, 3, 7), QTime(9, 5, 0));

} // namespace

class TestRecordingControl : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
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
    QPushButton *stopButton() { return widget<QPushButton>("stopButton"); }

    // A small, slow recording keeps the load low: 480x360 at one picture a second.
    void setArea(int x, int y, int w, int h)
    {
        widget<QLineEdit>("recordingAreaInputX")->setText(QString::number(x));
        widget<QLineEdit>("recordingAreaInputY")->setText(QString::number(y));
        widget<QLineEdit>("recordingAreaInputW")->setText(QString::number(w));
        widget<QLineEdit>("recordingAreaInputH")->setText(QString::number(h));
    }

    // Stop, with the completion box closed by the catcher.
    void stop()
    {
        const int before = catcher->boxes().size();
        stopButton()->click();
        QVERIFY(catcher->waitForBoxes(before + 1));
    }

private slots:
    void initTestCase()
    {
        avdevice_register_all(); // as main() does: the screen grabber is a device
    }

    void init()
    {
        QVERIFY(dir.isValid());
        catcher = std::make_unique<MessageBoxCatcher>();
        auto screens = std::make_unique<FakeScreens>(
            QVector<FakeScreens::Screen>{{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}}, 0);
        window = std::make_unique<MainWindow>(nullptr, std::move(screens));
        window->setClock([] { return fixedTime; });
        widget<QLineEdit>("destFolderField")->setText(dir.path());
        widget<QSlider>("recSpeedSlider")->setValue(30);
        widget<QCheckBox>("showMouseCheckBox")->setChecked(false);
        widget<QCheckBox>("showRecordingAreaCheckBox")->setChecked(false);
        setArea(0, 0, 480, 360);
    }

    void cleanup()
    {
        window.reset(); // finishes a recording a failed test left running
        catcher.reset();
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void startPauseResumeStop()
    {
        QCOMPARE(startButton()->text(), QStringLiteral("Start!"));
        QVERIFY(!stopButton()->isEnabled());

        startButton()->click();
        QVERIFY(recorder()->isRunning());
        QCOMPARE(startButton()->text(), QStringLiteral("Pause"));
        QVERIFY(stopButton()->isEnabled());
        QCOMPARE(widget<QLabel>("FilenameLabel")->text(),
                 QStringLiteral("File: <b>zint_2026-03-07_09-05-00.mpg</b>"));
        for (const char *name : lockedInputs)
            QVERIFY2(!widget<QWidget>(name)->isEnabled(), name);
        for (const char *name : usableInputs)
            QVERIFY2(widget<QWidget>(name)->isEnabled(), name);

        startButton()->click();
        QCOMPARE(startButton()->text(), QStringLiteral("Resume"));
        QVERIFY(recorder()->isPaused());
        startButton()->click();
        QCOMPARE(startButton()->text(), QStringLiteral("Pause"));
        QVERIFY(!recorder()->isPaused());

        // Stopped while paused.
        startButton()->click();
        QVERIFY(recorder()->isPaused());
        stop();
        QVERIFY(!recorder()->isRunning());
        const auto box = catcher->boxes().last();
        QCOMPARE(box.title, QStringLiteral("Status"));
        QCOMPARE(box.icon, QMessageBox::Information);
        const QString first = dir.path() + QStringLiteral("/zint_2026-03-07_09-05-00.mpg");
        QCOMPARE(box.text,
                 QStringLiteral("Recording completed!\n\nVideo file has been saved to:\n") + first);
        QCOMPARE(startButton()->text(), QStringLiteral("Start"));
        QVERIFY(!stopButton()->isEnabled());
        for (const char *name : lockedInputs)
            QVERIFY2(widget<QWidget>(name)->isEnabled(), name);
        QVERIFY(QFile::exists(first));
        const QByteArray firstContent = [&] {
            QFile f(first);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QVERIFY(!firstContent.isEmpty());

        // The next start records at once, and in the same second it gets a
        // name of its own instead of replacing the first file.
        startButton()->click();
        QCOMPARE(startButton()->text(), QStringLiteral("Pause"));
        QVERIFY(!recorder()->isPaused());
        QCOMPARE(widget<QLabel>("FilenameLabel")->text(),
                 QStringLiteral("File: <b>zint_2026-03-07_09-05-00_2.mpg</b>"));
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        QVERIFY(progress.wait(10000));
        stop();
        QVERIFY(catcher->boxes().last().text.endsWith(
            QStringLiteral("/zint_2026-03-07_09-05-00_2.mpg")));
        QFile again(first);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), firstContent);
        QVERIFY(QFile::exists(dir.path() + QStringLiteral("/zint_2026-03-07_09-05-00_2.mpg")));
    }

    void failedFinishIsAnErrorNotACompletion()
    {
        startButton()->click();
        QSignalSpy progress(recorder(), &ScreenRecorder::progressUpdated);
        QVERIFY(progress.wait(20000));
        // While paused nothing is written, so a file-size limit at the current
        // size lets the loop run and makes the final writes fail.
        startButton()->click();
        QVERIFY(recorder()->isPaused());
        const QString path = dir.path() + QStringLiteral("/zint_2026-03-07_09-05-00.mpg");
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit limit = old;
        limit.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size());
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        stopButton()->click();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(catcher->waitForBoxes(1));
        const auto box = catcher->boxes().first();
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(box.text.contains(QStringLiteral("zint_2026-03-07_09-05-00.mpg")),
                 qPrintable(box.text));
        QVERIFY(!box.text.contains(QStringLiteral("completed")));
        // The window is ready for the next recording all the same.
        QCOMPARE(startButton()->text(), QStringLiteral("Start"));
        QVERIFY(widget<QWidget>("QualityComboBox")->isEnabled());
    }

    void progressReadout()
    {
        // The labels follow the recorder's signal; the texts themselves are
        // tabled with the readout rules.
        emit recorder()->progressUpdated(108000 * 25, (qint64(3) << 30) + (qint64(1) << 19));
        QCOMPARE(widget<QLabel>("timeCountLabel")->text(), QStringLiteral("25:00:00"));
        QCOMPARE(widget<QLabel>("fileSizeLabel")->text(), QStringLiteral("3072.50 MB"));
    }

    void pauseOnFocus()
    {
        auto *pauseOnFocus = widget<QCheckBox>("pauseOnFocusCheckBox");
        QVERIFY(!pauseOnFocus->isChecked());
        startButton()->click();
        QVERIFY(recorder()->isRunning());

        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY2(!recorder()->isPaused(), "paused although the box is not ticked");

        pauseOnFocus->setChecked(true); // takes effect during a recording
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QVERIFY(!recorder()->isPaused());
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY(recorder()->isPaused());
        QCOMPARE(startButton()->text(), QStringLiteral("Resume"));
        emit qApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY2(recorder()->isPaused(), "a second activation resumed");
        QCOMPARE(startButton()->text(), QStringLiteral("Resume"));
        stop();
    }

    void crashCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("reported");
        QTest::addRow("input") << 0 << true;
        QTest::addRow("output") << 1 << true;
        QTest::addRow("frame") << 2 << true;
        QTest::addRow("unknown") << 3 << false;
    }
    void crashCodes()
    {
        QFETCH(int, code);
        QFETCH(bool, reported);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        emit recorder()->recorderCrashed(static_cast<RecorderCrashCode>(code));
        QCoreApplication::processEvents();
        QCOMPARE(catcher->boxes().size(), reported ? 1 : 0);
        QCOMPARE(window->isVisible(), !reported);
        if (reported) {
            QCOMPARE(catcher->boxes().first().title, QStringLiteral("Recorder crashed"));
            QCOMPARE(catcher->boxes().first().text,
                     QStringLiteral("Something is seriously wrong, dude."));
            QCOMPARE(catcher->boxes().first().icon, QMessageBox::Critical);
        }
    }

    void destinationFolder()
    {
        auto *field = widget<QLineEdit>("destFolderField");
        field->clear();
        QVERIFY(!startButton()->isEnabled());

        // Cancelling the chooser changes nothing; choosing a folder fills the
        // field and allows a start again.
        const QString chosen = dir.path() + QStringLiteral("/chosen");
        QVERIFY(QDir().mkpath(chosen));
        for (const bool accept : {false, true}) {
            QTimer::singleShot(0, this, [&] {
                QVERIFY(QTest::qWaitFor(
                    [] { return qobject_cast<QFileDialog *>(QApplication::activeModalWidget()); },
                    10000));
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                QCOMPARE(dialog->windowTitle(), QStringLiteral("Choose destination folder..."));
                if (accept) {
                    dialog->setDirectory(chosen);
                    static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides it
                } else {
                    dialog->reject();
                }
            });
            widget<QPushButton>("destFolderButton")->click();
            QCOMPARE(field->text(), accept ? chosen : QString());
            QCOMPARE(startButton()->isEnabled(), accept);
        }
    }

    void folderThatCannotBeCreated()
    {
        QFile blocker(dir.path() + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        widget<QLineEdit>("destFolderField")->setText(blocker.fileName() + QStringLiteral("/sub"));

        startButton()->click();
        QVERIFY(catcher->waitForBoxes(1));
        const auto box = catcher->boxes().first();
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.text, QStringLiteral("Couldn't create directory for target folder\n"
                                          "(Try with another folder)"));
        QVERIFY(!recorder()->isRunning());
        QCOMPARE(startButton()->text(), QStringLiteral("Start!"));
        QVERIFY(!stopButton()->isEnabled());
        QVERIFY(widget<QWidget>("destFolderField")->isEnabled());
    }

    void refusedStarts_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<int>("quality"); // -1: as the list offers
        QTest::addColumn<QString>("says");

        QTest::addRow("too small for any quality")
            << QRect(0, 0, 400, 300) << -1 << "480 pixels wide";
        QTest::addRow("portrait too small") << QRect(0, 0, 300, 300) << -1 << "360 pixels tall";
        QTest::addRow("past the right edge") << QRect(1000, 0, 960, 540) << -1 << "desktop";
        QTest::addRow("left of the desktop") << QRect(-10, 0, 960, 540) << -1 << "desktop";
        QTest::addRow("no height") << QRect(0, 0, 960, 0) << -1 << "at least 1 pixel";
        QTest::addRow("too thin for the quality") << QRect(0, 0, 1920, 3) << 0 << "0 pixels";
    }
    void refusedStarts()
    {
        QFETCH(QRect, area);
        QFETCH(int, quality);
        QFETCH(QString, says);
        // A folder not yet made: a refused start must not make it either.
        const QString folder = dir.path() + QStringLiteral("/new");
        widget<QLineEdit>("destFolderField")->setText(folder);
        setArea(area.x(), area.y(), area.width(), area.height());
        if (quality >= 0)
            widget<QComboBox>("QualityComboBox")->setCurrentIndex(quality);

        startButton()->click();
        QVERIFY(catcher->waitForBoxes(1));
        const auto box = catcher->boxes().first();
        QCOMPARE(box.title, QStringLiteral("Invalid recording area"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(box.text.contains(says), qPrintable(box.text));
        QVERIFY(!recorder()->isRunning());
        QCOMPARE(startButton()->text(), QStringLiteral("Start!"));
        QVERIFY(!stopButton()->isEnabled());
        QVERIFY(widget<QWidget>("recordingAreaInputW")->isEnabled());
        QVERIFY(!QFileInfo::exists(folder));
    }
};

QTEST_MAIN(TestRecordingControl)
#include "tst_recordingcontrol.moc"
