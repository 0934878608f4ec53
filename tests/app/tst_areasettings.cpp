#include "fakescreens.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

namespace {

using Screen = FakeScreens::Screen;

// Left screen at negative x, the primary in the middle with a task bar, and
// a larger screen to the right.
std::unique_ptr<DesktopScreens> threeScreens()
{
    return std::make_unique<FakeScreens>(
        QVector<Screen>{{QRect(-1280, 0, 1280, 1024), QRect(-1280, 0, 1280, 1024), 1.0},
                        {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
                        {QRect(1920, 0, 2560, 1440), QRect(1920, 0, 2560, 1400), 1.0}},
        1);
}

// The window and its area widgets.
struct Window
{
    MainWindow window;
    QLineEdit *x = input("X"), *y = input("Y"), *w = input("W"), *h = input("H");
    QComboBox *quality = window.findChild<QComboBox *>("QualityComboBox");
    QComboBox *screen = window.findChild<QComboBox *>("ScreenComboBox");
    QPushButton *fullscreen = window.findChild<QPushButton *>("RecAreaFullscreenButton");

    explicit Window(std::unique_ptr<DesktopScreens> s = threeScreens())
        : window(nullptr, std::move(s))
    {
    }
    QLineEdit *input(const char *which)
    {
        return window.findChild<QLineEdit *>(QStringLiteral("recordingAreaInput") + which);
    }
    void set(const QRect &r)
    {
        x->setText(QString::number(r.x()));
        y->setText(QString::number(r.y()));
        w->setText(QString::number(r.width()));
        h->setText(QString::number(r.height()));
    }
    QRect area() const
    {
        return QRect(x->text().toInt(), y->text().toInt(), w->text().toInt(), h->text().toInt());
    }
    QString label(const char *name) const
    {
        return window.findChild<QLabel *>(QString::fromLatin1(name))->text();
    }
};

} // namespace

class TestAreaSettings : public QObject
{
    Q_OBJECT

private slots:
    void construction()
    {
        Window t;
        QCOMPARE(t.window.version(), QStringLiteral("0.5.0"));
        QCOMPARE(t.screen->currentIndex(), 1);
        QCOMPARE(t.screen->itemText(2), QStringLiteral("Screen #3"));
        QCOMPARE(t.label("SelectedScreenLabel"), QStringLiteral("Screen: #2"));
        QCOMPARE(t.area(), QRect(0, 0, 1920, 1040));
        QCOMPARE(t.quality->currentText(), QStringLiteral("1080p HD"));
        QVERIFY(t.fullscreen->isChecked());

        // Choosing a screen takes its available area; the validators keep
        // the start-up screen's size.
        t.screen->setCurrentIndex(0);
        QCOMPARE(t.area(), QRect(-1280, 0, 1280, 1024));
        QCOMPARE(t.label("SelectedScreenLabel"), QStringLiteral("Screen: #1"));
        QCOMPARE(qobject_cast<const QIntValidator *>(t.w->validator())->top(), 1920);
        QCOMPARE(qobject_cast<const QIntValidator *>(t.h->validator())->top(), 1040);
        QVERIFY(!t.x->validator());
    }

    void qualityRows_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<int>("offered");
        QTest::newRow("4K") << QSize(3840, 2160) << 6;
        QTest::newRow("1920x1050") << QSize(1920, 1050) << 4;
        QTest::newRow("one pixel narrower than 1080p") << QSize(1919, 1080) << 3;
        QTest::newRow("640x480") << QSize(640, 480) << 2;
        QTest::newRow("portrait by heights") << QSize(1080, 1920) << 5;
        QTest::newRow("square by heights") << QSize(480, 480) << 2;
        QTest::newRow("360 square") << QSize(360, 360) << 1;
        QTest::newRow("row 0 is 480 wide") << QSize(479, 300) << 0;
    }

    void qualityRows()
    {
        QFETCH(QSize, area);
        QFETCH(int, offered);
        const QStringList labels = {"360p",     "480p",          "720p HD",
                                    "1080p HD", "1440p HD (2K)", "2160p HD (4K)"};
        Window t;
        t.quality->setCurrentIndex(0); // a choice is not kept across area changes
        t.set(QRect(QPoint(0, 0), area));
        QCOMPARE(t.quality->count(), offered);
        for (int i = 0; i < offered; ++i)
            QCOMPARE(t.quality->itemText(i), labels.at(i));
        QCOMPARE(t.quality->currentIndex(), offered - 1);
    }

    void fullscreenButtonFollowsTheArea()
    {
        Window t;
        for (QLineEdit *edit : {t.x, t.y, t.w, t.h}) {
            const QString before = edit->text();
            edit->setText(QString::number(before.toInt() + 1));
            QVERIFY(!t.fullscreen->isChecked());
            QCOMPARE(t.fullscreen->text(), QStringLiteral("Set Fullscreen"));
            edit->setText(before);
            QVERIFY(t.fullscreen->isChecked());
        }
        QTest::mouseClick(t.fullscreen, Qt::LeftButton); // checked stays checked
        QVERIFY(t.fullscreen->isChecked());
        t.set(QRect(10, 10, 800, 600));
        QTest::mouseClick(t.fullscreen, Qt::LeftButton);
        QCOMPARE(t.area(), QRect(0, 0, 1920, 1040));
        QCOMPARE(t.fullscreen->text(), QStringLiteral("Fullscreen"));
    }

    void inputsLabelAndSlider()
    {
        Window t;
        t.w->clear();
        QCOMPARE(t.w->text(), QStringLiteral("0"));
        t.w->setText(QStringLiteral("007"));
        QCOMPARE(t.w->text(), QStringLiteral("7"));
        t.set(QRect(-1280, 50, 640, 480));
        QCOMPARE(t.x->text(), QStringLiteral("-1280"));
        QCOMPARE(t.label("recordingAreaCoord"), QStringLiteral("Resolution: 640x480"));
        QCOMPARE(t.window.findChild<QLabel *>("recordingAreaCoord")->toolTip(),
                 QStringLiteral("The bounding box for the recording area. \nCovering "
                                "horizontally from -1280px to -640px, \nAnd vertically from "
                                "50px to 530px"));

        t.window.findChild<QSlider *>("recSpeedSlider")->setValue(30);
        QCOMPARE(t.label("RecSpeedLabel"), QStringLiteral("x30"));
        QCOMPARE(t.area(), QRect(-1280, 50, 640, 480));
    }

    void scaledScreenInDevicePixels()
    {
        // Under a scale factor of 2, Qt sees a 1920x1080 screen as 960x540.
        Window t(std::make_unique<FakeScreens>(
            QVector<Screen>{{QRect(0, 0, 960, 540), QRect(0, 0, 960, 540), 2.0}}, 0));
        QCOMPARE(t.area(), QRect(0, 0, 1920, 1080));
        QCOMPARE(t.quality->currentText(), QStringLiteral("1080p HD"));
    }
};

QTEST_MAIN(TestAreaSettings)
#include "tst_areasettings.moc"
