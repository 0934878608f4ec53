// The real window on Qt's Wayland platform in a private headless Wayland
// desktop: pointer input through the compositor starts and stops a recording
// through the desktop portal.
#include "ffmpeg.h"
#include "mainwindow.h"
#include "messageboxcatcher.h"
#include "screenrecorder.h"
#include "videofile.h"
#include "waylanddesktop.h"

#include <QtTest>
#include <QtWidgets>

class TestWaylandWindow : public QObject
{
    Q_OBJECT

    WaylandDesktop &desktop;
    QTemporaryDir directory;
    MessageBoxCatcher catcher;
    MainWindow window;
    QPoint pointer; // where the last move was, in its window

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
    bool cursor(const QStringList &what)
    {
        return desktop.sway(
            QStringList{QStringLiteral("seat"), QStringLiteral("-"), QStringLiteral("cursor")} +
            what);
    }
    bool moveTo(const QPoint &p)
    {
        return cursor({"set", QString::number(p.x()), QString::number(p.y())});
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove)
            pointer = static_cast<QMouseEvent *>(event)->windowPos().toPoint();
        else if (event->type() == QEvent::Enter)
            pointer = static_cast<QEnterEvent *>(event)->windowPos().toPoint();
        return false;
    }
    // Presses and releases the first button over the widget's centre, once
    // the window has seen the pointer there: the compositor sends a button at
    // once but a move only with its next frame.
    bool click(QWidget *widget)
    {
        const QPoint centre = widget->rect().center();
        return moveTo(widget->mapTo(widget->window(), centre)) && QTest::qWaitFor([&] {
                   return pointer == widget->mapTo(widget->window(), centre);
               }) &&
               cursor({"press", "button1"}) && cursor({"release", "button1"});
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

    void startAndStopByPointer()
    {
        auto *recorder = window.findChild<ScreenRecorder *>();
        QSignalSpy progress(recorder, &ScreenRecorder::progressUpdated);
        QVERIFY(click(window.findChild<QPushButton *>(QStringLiteral("startButton"))));
        QVERIFY(progress.wait(30000));
        QVERIFY(click(window.findChild<QPushButton *>(QStringLiteral("stopButton"))));
        QVERIFY(catcher.waitForBoxes(1, 30000));
        const QStringList files = QDir(directory.path()).entryList({QStringLiteral("*.mpg")});
        QCOMPARE(files.size(), 1);
        const DecodedVideo video = decodeVideoFile(directory.filePath(files[0]));
        QVERIFY(video.frames() >= 1 && video.errors == 0 && video.endsWithEndCode);
    }

    // Closing the window mid-recording finishes the file on the way out.
    void closingFinishesTheRecording()
    {
        QDir(directory.path()).removeRecursively();
        QDir().mkpath(directory.path());
        QSignalSpy progress(window.findChild<ScreenRecorder *>(), &ScreenRecorder::progressUpdated);
        QVERIFY(click(window.findChild<QPushButton *>(QStringLiteral("startButton"))));
        QVERIFY(progress.wait(30000));
        window.close();
        const QStringList files = QDir(directory.path()).entryList({QStringLiteral("*.mpg")});
        QCOMPARE(files.size(), 1);
        const DecodedVideo video = decodeVideoFile(directory.filePath(files[0]));
        QVERIFY(video.frames() >= 1 && video.errors == 0 && video.endsWithEndCode);
    }
};

int main(int argc, char *argv[])
{
    // First: the application connects to the desktop's display.
    WaylandDesktop desktop;
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication application(argc, argv);
    if (!desktop.isRunning())
        qFatal("%s", qPrintable(desktop.errorText()));
    avdevice_register_all();
    TestWaylandWindow test(desktop);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandwindow.moc"
