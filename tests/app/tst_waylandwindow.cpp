// The real window on Qt's Wayland platform in a private headless Wayland
// desktop: pointer input through the compositor starts and stops a recording
// through the desktop portal, and a drag on the selection window sets the
// area.
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
    // Moves the pointer to a point of the widget (the window is at the
    // corner) and waits until the window has seen it there.
    bool moveTo(QWidget *widget, QPoint at)
    {
        const QPoint inWindow = widget->mapTo(widget->window(), at);
        return desktop.pointer(QStringLiteral("move %1 %2").arg(inWindow.x()).arg(inWindow.y())) &&
               QTest::qWaitFor([&] { return pointer == inWindow; });
    }
    bool drag(QWidget *widget, QPoint from, QPoint to)
    {
        return moveTo(widget, from) && desktop.pointer(QStringLiteral("press")) &&
               moveTo(widget, to) && desktop.pointer(QStringLiteral("release"));
    }
    bool click(QWidget *widget)
    {
        return drag(widget, widget->rect().center(), widget->rect().center());
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
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

    // A drag on the selection window gives the area in device pixels.
    void dragSetsTheArea()
    {
        QVERIFY(click(window.findChild<QPushButton *>(QStringLiteral("SelectRecAreaButton"))));
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
