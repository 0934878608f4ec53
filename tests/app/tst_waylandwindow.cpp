// SPDX-License-Identifier: GPL-3.0-or-later
// The real window on Qt's Wayland platform in a private headless Wayland
// desktop of two screens: pointer input through the compositor starts and
// stops a recording through the desktop portal, also while the desktop asks
// which screen to share, and a drag on the selection window sets the area.
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "screenrecorder.h"
#include "videofile.h"
#include "waylanddesktop.h"

#include <QtTest>
#include <QtWidgets>

#include <future>

class TestWaylandWindow : public QObject
{
    Q_OBJECT

    WaylandDesktop &desktop;
    QTemporaryDir directory;
    MessageBoxCatcher catcher;
    MainWindow window;
    QPoint pointer; // where the last move was, in its window
    bool released = false;

    // Wayland tells a client nothing of its place on the screen: the test
    // puts the window at the top left corner once the compositor shows it.
    bool moveToCorner(QWidget *window)
    {
        const QString match = QStringLiteral("[title=\"^%1$\"]").arg(window->windowTitle());
        return QTest::qWaitFor([&] {
            return desktop.sway(
                {match, "floating", "enable,", "move", "absolute", "position", "0", "0"});
        });
    }
    // Moves the pointer to a point of the widget (the window is at the
    // corner) and waits until the window has seen it there.
    bool moveTo(QWidget *widget, QPoint at)
    {
        const QPoint inWindow = widget->mapTo(widget->window(), at);
        return desktop.pointer(QStringLiteral("move %1 %2").arg(inWindow.x()).arg(inWindow.y())) &&
               QTest::qWaitFor([&] { return pointer == inWindow; });
    }
    // Returns once the window has seen the release: a change on screen
    // before that can take the pointer's focus away and lose it.
    bool drag(QWidget *widget, QPoint from, QPoint to)
    {
        released = false;
        return moveTo(widget, from) && desktop.pointer(QStringLiteral("press")) &&
               moveTo(widget, to) && desktop.pointer(QStringLiteral("release")) &&
               QTest::qWaitFor([&] { return released; });
    }
    bool click(QWidget *widget)
    {
        return drag(widget, widget->rect().center(), widget->rect().center());
    }
    // The desktop sends pictures only when the screen changes, and its one
    // unasked picture of a new cast is lost when it comes before the stream
    // is ready (as on a busy machine): the background changes until the
    // recording reports progress.
    bool waitForProgress(QSignalSpy &progress, const QString &output)
    {
        for (int wait = 0; progress.isEmpty() && wait < 240; ++wait) {
            desktop.setBackground(wait % 2 ? Qt::darkGray : Qt::black, output);
            progress.wait(500);
        }
        return !progress.isEmpty();
    }
    QPushButton *button(const char *name) { return window.findChild<QPushButton *>(name); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        released = released || event->type() == QEvent::MouseButtonRelease;
        if (event->type() == QEvent::MouseMove)
            pointer = static_cast<QMouseEvent *>(event)->windowPos().toPoint();
        else if (event->type() == QEvent::Enter)
            pointer = static_cast<QEnterEvent *>(event)->windowPos().toPoint();
        return false;
    }

public:
    explicit TestWaylandWindow(WaylandDesktop &desktop) : desktop(desktop) {}

private slots:
    void initTestCase()
    {
        qApp->installEventFilter(this);
        window.findChild<QLineEdit *>(QStringLiteral("destFolderField"))->setText(directory.path());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window) && moveToCorner(&window));
    }

    // First, while no screen is shared yet: a Stop while the desktop asks
    // which screen to share ends the recording at once, with no file and no
    // message, and the window follows the pointer meanwhile.
    void stopWhileTheDesktopAsks()
    {
        desktop.setChooser(QStringLiteral("wait"));
        // Answers in the end anyway, so that a window that waits for the
        // answer fails here instead of hanging.
        std::promise<void> done;
        auto answer = std::async(std::launch::async, [&, finished = done.get_future()] {
            finished.wait_for(std::chrono::seconds(60));
            desktop.setSharing(true);
        });
        auto stopWaiting = qScopeGuard([&] { done.set_value(); });
        QVERIFY(click(button("startButton")));
        QVERIFY(QTest::qWaitFor([&] { return desktop.chooserIsAsking(); }, 60000));
        QVERIFY(click(button("stopButton")));
        QVERIFY(QTest::qWaitFor([&] { return !button("stopButton")->isEnabled(); }, 20000));
        QVERIFY2(desktop.chooserIsAsking(), "the Stop waited for the desktop's answer");
        QVERIFY(catcher.boxes().isEmpty() && QDir(directory.path()).isEmpty());
    }

    // The second screen, where the window is not, placed by its size.
    void startAndStopByPointer()
    {
        auto *screenList = window.findChild<QComboBox *>(QStringLiteral("ScreenComboBox"));
        screenList->setCurrentIndex(1);
        desktop.setChooser(QStringLiteral("HEADLESS-2"));
        auto firstScreen = qScopeGuard([&] {
            screenList->setCurrentIndex(0);
            desktop.setSharing(true);
        });
        QSignalSpy progress(window.findChild<ScreenRecorder *>(), &ScreenRecorder::progressUpdated);
        QVERIFY(click(button("startButton")));
        QVERIFY(waitForProgress(progress, QStringLiteral("HEADLESS-2")));
        QVERIFY(click(button("stopButton")));
        QVERIFY(catcher.waitForBoxes(1, 30000));
        const QStringList files = QDir(directory.path()).entryList({QStringLiteral("*.mpg")});
        QCOMPARE(files.size(), 1);
        const DecodedVideo video = decodeVideoFile(directory.filePath(files[0]));
        QVERIFY(video.frames() >= 1 && video.errors == 0 && video.endsWithEndCode);
    }

    // A drag on the selection window gives the area in device pixels.
    void dragSetsTheArea()
    {
        QVERIFY(click(button("SelectRecAreaButton")));
        auto *selection = window.findChild<QDialog *>();
        // Over the whole screen from its top left corner, where the window
        // must be for the area to be right; the compositor decides that.
        QVERIFY(QTest::qWaitForWindowExposed(selection) && moveToCorner(selection));
        QVERIFY(drag(selection, QPoint(100, 50), QPoint(600, 450)));
        QTRY_VERIFY(!selection->isVisible());
        QStringList area;
        for (const char *input : {"recordingAreaInputX", "recordingAreaInputY",
                                  "recordingAreaInputW", "recordingAreaInputH"})
            area << window.findChild<QLineEdit *>(QLatin1String(input))->text();
        QCOMPARE(area, QStringList({"100", "50", "500", "400"}));
    }

    // Closing the window mid-recording finishes the file on the way out. The
    // area is on the first screen now: the second, shared last, is not
    // shared again for it.
    void closingFinishesTheRecording()
    {
        QDir(directory.path()).removeRecursively();
        QDir().mkpath(directory.path());
        QSignalSpy progress(window.findChild<ScreenRecorder *>(), &ScreenRecorder::progressUpdated);
        QVERIFY(desktop.setBackground(Qt::red, QStringLiteral("HEADLESS-2")));
        QVERIFY(click(button("startButton")));
        QVERIFY(waitForProgress(progress, QStringLiteral("HEADLESS-1")));
        window.close();
        const QStringList files = QDir(directory.path()).entryList({QStringLiteral("*.mpg")});
        QCOMPARE(files.size(), 1);
        const DecodedVideo video = decodeVideoFile(directory.filePath(files[0]));
        QVERIFY(video.frames() >= 1 && video.errors == 0 && video.endsWithEndCode);
        const QColor last = video.colours.last();
        QVERIFY2(qAbs(last.red() - 255) + last.green() + last.blue() > 100, "the second screen");
    }
};

int main(int argc, char *argv[])
{
    // First: the application connects to the desktop's display.
    WaylandDesktop desktop(QStringLiteral("1280x720"), QStringLiteral("800x600"));
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication application(argc, argv);
    if (!desktop.isRunning())
        qFatal("%s", qPrintable(desktop.errorText()));
    avdevice_register_all();
    TestWaylandWindow test(desktop);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandwindow.moc"
