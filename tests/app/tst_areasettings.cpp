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

// Left screen at negative x, primary in the middle with a task bar, and a
// third screen to the right.
std::unique_ptr<DesktopScreens> threeScreens()
{
    return std::make_unique<FakeScreens>(
        QVector<Screen>{
            {QRect(-1280, 0, 1280, 1024), QRect(-1280, 0, 1280, 1024), 1.0},
            {QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040), 1.0},
            {QRect(1920, 0, 2560, 1440), QRect(1920, 0, 2560, 1400), 1.0},
        },
        1);
}

template <typename T> T *child(QWidget *window, const char *name)
{
    auto *found = window->findChild<T *>(QString::fromLatin1(name));
    Q_ASSERT(found);
    return found;
}

QStringList items(QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

struct Area
{
    QLineEdit *x, *y, *w, *h;
    explicit Area(QWidget *window)
        : x(child<QLineEdit>(window, "recordingAreaInputX")),
          y(child<QLineEdit>(window, "recordingAreaInputY")),
          w(child<QLineEdit>(window, "recordingAreaInputW")),
          h(child<QLineEdit>(window, "recordingAreaInputH"))
    {
    }
    void set(int ax, int ay, int aw, int ah)
    {
        x->setText(QString::number(ax));
        y->setText(QString::number(ay));
        w->setText(QString::number(aw));
        h->setText(QString::number(ah));
    }
    QRect rect() const
    {
        return QRect(x->text().toInt(), y->text().toInt(), w->text().toInt(), h->text().toInt());
    }
};

} // namespace

class TestAreaSettings : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void qualityRows_data();
    void qualityRows();
    void qualityChoiceResetOnAreaChange();
    void fullscreenButton();
    void inputsParse();
    void resolutionLabelAndToolTip();
    void screenList();
    void scaledScreenInDevicePixels();
    void speedSlider();
};

void TestAreaSettings::construction()
{
    MainWindow window(nullptr, threeScreens());
    QCOMPARE(window.version(), QStringLiteral("0.5.0"));

    // The first refresh ran: the primary's available area with its rows.
    Area area(&window);
    QCOMPARE(area.rect(), QRect(0, 0, 1920, 1040));
    auto *quality = child<QComboBox>(&window, "QualityComboBox");
    QCOMPARE(quality->count(), 4);
    QCOMPARE(quality->currentIndex(), 3);
    QVERIFY(!child<QPushButton>(&window, "stopButton")->isEnabled());

    // Validators are taken from the start-up screen and never follow others.
    auto *screen = child<QComboBox>(&window, "ScreenComboBox");
    screen->setCurrentIndex(2);
    QCOMPARE(area.rect(), QRect(1920, 0, 2560, 1400));
    const auto *wValidator = qobject_cast<const QIntValidator *>(area.w->validator());
    const auto *hValidator = qobject_cast<const QIntValidator *>(area.h->validator());
    QVERIFY(wValidator && hValidator);
    QCOMPARE(wValidator->bottom(), 0);
    QCOMPARE(wValidator->top(), 1920);
    QCOMPARE(hValidator->top(), 1040);
    QVERIFY(!area.x->validator());
    QVERIFY(!area.y->validator());
}

void TestAreaSettings::qualityRows_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QStringList>("offered");

    const QStringList all = {"360p",     "480p",          "720p HD",
                             "1080p HD", "1440p HD (2K)", "2160p HD (4K)"};
    QTest::newRow("4K offers all six") << QSize(3840, 2160) << all;
    QTest::newRow("1920x1040 up to 1080p") << QSize(1920, 1040) << QStringList(all.mid(0, 4));
    QTest::newRow("1920x1080 up to 1080p") << QSize(1920, 1080) << QStringList(all.mid(0, 4));
    QTest::newRow("one pixel narrower drops 1080p")
        << QSize(1919, 1080) << QStringList(all.mid(0, 3));
    QTest::newRow("1366x728 up to 720p") << QSize(1366, 728) << QStringList(all.mid(0, 3));
    QTest::newRow("640x480 up to 480p") << QSize(640, 480) << QStringList(all.mid(0, 2));
    QTest::newRow("portrait uses heights") << QSize(1080, 1920) << QStringList(all.mid(0, 5));
    QTest::newRow("square uses heights") << QSize(480, 480) << QStringList(all.mid(0, 2));
    QTest::newRow("360 square offers 360p") << QSize(360, 360) << QStringList(all.mid(0, 1));
    QTest::newRow("row 0 is 480 wide") << QSize(479, 300) << QStringList();
    QTest::newRow("400x300 offers none") << QSize(400, 300) << QStringList();
}

void TestAreaSettings::qualityRows()
{
    QFETCH(QSize, area);
    QFETCH(QStringList, offered);

    MainWindow window(nullptr, threeScreens());
    Area inputs(&window);
    inputs.set(0, 0, area.width(), area.height());
    auto *quality = child<QComboBox>(&window, "QualityComboBox");
    QCOMPARE(items(quality), offered);
    QCOMPARE(quality->currentIndex(), offered.size() - 1);
}

void TestAreaSettings::qualityChoiceResetOnAreaChange()
{
    MainWindow window(nullptr, threeScreens());
    Area inputs(&window);
    inputs.set(0, 0, 1920, 1080);
    auto *quality = child<QComboBox>(&window, "QualityComboBox");
    quality->setCurrentIndex(1);
    inputs.h->setText(QStringLiteral("1000"));
    QCOMPARE(quality->currentText(), QStringLiteral("1080p HD"));
}

void TestAreaSettings::fullscreenButton()
{
    MainWindow window(nullptr, threeScreens());
    Area inputs(&window);
    auto *button = child<QPushButton>(&window, "RecAreaFullscreenButton");
    QVERIFY(button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("Fullscreen"));

    // Any one value off by a pixel is no longer fullscreen.
    for (QLineEdit *edit : {inputs.x, inputs.y, inputs.w, inputs.h}) {
        const QString before = edit->text();
        edit->setText(QString::number(before.toInt() + 1));
        QVERIFY2(!button->isChecked(), qPrintable(edit->objectName()));
        QCOMPARE(button->text(), QStringLiteral("Set Fullscreen"));
        edit->setText(before);
        QVERIFY(button->isChecked());
    }

    // A click on the checked button leaves it checked; a click on the
    // unchecked one restores the screen's available area.
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    inputs.set(10, 10, 800, 600);
    QVERIFY(!button->isChecked());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QCOMPARE(button->text(), QStringLiteral("Fullscreen"));
    QCOMPARE(inputs.rect(), QRect(0, 0, 1920, 1040));
}

void TestAreaSettings::inputsParse()
{
    MainWindow window(nullptr, threeScreens());
    Area inputs(&window);
    auto *quality = child<QComboBox>(&window, "QualityComboBox");

    inputs.w->clear();
    QCOMPARE(inputs.w->text(), QStringLiteral("0"));
    inputs.h->setText(QStringLiteral("300"));
    QCOMPARE(quality->count(), 0);
    QCOMPARE(quality->currentIndex(), -1);

    inputs.w->setText(QStringLiteral("007"));
    QCOMPARE(inputs.w->text(), QStringLiteral("7"));

    inputs.x->setText(QStringLiteral("-1280"));
    QCOMPARE(inputs.x->text(), QStringLiteral("-1280"));
    inputs.y->setText(QStringLiteral("abc"));
    QCOMPARE(inputs.y->text(), QStringLiteral("0"));
}

void TestAreaSettings::resolutionLabelAndToolTip()
{
    MainWindow window(nullptr, threeScreens());
    Area inputs(&window);
    inputs.set(100, 50, 640, 480);
    auto *label = child<QLabel>(&window, "recordingAreaCoord");
    QCOMPARE(label->text(), QStringLiteral("Resolution: 640x480"));
    QCOMPARE(label->toolTip(), QStringLiteral("The bounding box for the recording area. \n"
                                              "Covering horizontally from 100px to 740px, \n"
                                              "And vertically from 50px to 530px"));
}

void TestAreaSettings::screenList()
{
    MainWindow window(nullptr, threeScreens());
    auto *screen = child<QComboBox>(&window, "ScreenComboBox");
    QCOMPARE(items(screen), (QStringList{"Screen #1", "Screen #2", "Screen #3"}));
    QCOMPARE(screen->currentIndex(), 1);
    auto *label = child<QLabel>(&window, "SelectedScreenLabel");
    QCOMPARE(label->text(), QStringLiteral("Screen: #2"));

    Area inputs(&window);
    inputs.set(5, 5, 700, 500);
    screen->setCurrentIndex(0);
    QCOMPARE(label->text(), QStringLiteral("Screen: #1"));
    QCOMPARE(inputs.rect(), QRect(-1280, 0, 1280, 1024));
    QVERIFY(child<QPushButton>(&window, "RecAreaFullscreenButton")->isChecked());
}

void TestAreaSettings::scaledScreenInDevicePixels()
{
    // Under a scale factor of 2, Qt sees a 1920x1080 screen as 960x540.
    MainWindow window(nullptr,
                      std::make_unique<FakeScreens>(
                          QVector<Screen>{{QRect(0, 0, 960, 540), QRect(0, 0, 960, 540), 2.0}}, 0));
    Area inputs(&window);
    QCOMPARE(inputs.rect(), QRect(0, 0, 1920, 1080));
    QCOMPARE(child<QLabel>(&window, "recordingAreaCoord")->text(),
             QStringLiteral("Resolution: 1920x1080"));
    QCOMPARE(child<QComboBox>(&window, "QualityComboBox")->currentText(),
             QStringLiteral("1080p HD"));
}

void TestAreaSettings::speedSlider()
{
    MainWindow window(nullptr, threeScreens());
    Area inputs(&window);
    const QRect before = inputs.rect();
    auto *quality = child<QComboBox>(&window, "QualityComboBox");
    quality->setCurrentIndex(0);
    child<QSlider>(&window, "recSpeedSlider")->setValue(30);
    QCOMPARE(child<QLabel>(&window, "RecSpeedLabel")->text(), QStringLiteral("x30"));
    QCOMPARE(inputs.rect(), before);
    QCOMPARE(quality->currentIndex(), 0);
}

QTEST_MAIN(TestAreaSettings)
#include "tst_areasettings.moc"
