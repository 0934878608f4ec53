#include "mainwindowlayout.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

// Hands a window whose slots the layout connects by name.
class SlotWindow : public QMainWindow
{
    Q_OBJECT
public:
    int startClicks = 0;
    QString destText;
private slots:
    void on_startButton_clicked() { ++startClicks; }
    void on_destFolderField_textChanged(const QString &text) { destText = text; }
};

namespace {

// The text a widget shows: button, label, line edit, check box text, or a
// group box's title.
QString shownText(QObject *object)
{
    if (auto *b = qobject_cast<QAbstractButton *>(object))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(object))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(object))
        return e->text();
    if (auto *g = qobject_cast<QGroupBox *>(object))
        return g->title();
    if (auto *a = qobject_cast<QAction *>(object))
        return a->text();
    if (auto *m = qobject_cast<QMenu *>(object))
        return m->title();
    return QString();
}

} // namespace

class TestMainWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        window = new SlotWindow;
        layout = MainWindowLayout();
        layout.setupLayout(window);
    }
    void cleanup() { delete window; }

    void objects_data();
    void objects();
    void creationOrder();
    void windowAndMenus();
    void initialState();
    void slotsConnectedByNameAfterTexts();

private:
    SlotWindow *window = nullptr;
    MainWindowLayout layout;
};

void TestMainWindowLayout::objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry"); // null: placed by a layout
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    const QRect byLayout;
    auto row = [](const char *name, const char *cls, const char *parent, QRect geometry,
                  const QString &text, const QString &tip = QString()) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                            << QString::fromLatin1(parent) << geometry << text << tip;
    };

    row("startButton", "QPushButton", "centralWidget", QRect(10, 380, 91, 41), "Start!");
    row("stopButton", "QPushButton", "centralWidget", QRect(110, 380, 61, 41), "Stop");
    row("FilenameLabel", "QLabel", "centralWidget", QRect(10, 360, 281, 16),
        "File: <b>zint_YEAR-MM-DD_HH-MM-SS.mpg</b>");
    row("tabWidget", "QTabWidget", "centralWidget", QRect(10, 10, 291, 341), "");
    row("layoutWidget7", "QWidget", "centralWidget", QRect(181, 378, 121, 41), "");
    row("groupBox", "QGroupBox", "tab", QRect(10, 180, 261, 121), "Recording Area",
        "The area of the screen that will be recorded.");
    row("SelectRecAreaButton", "QPushButton", "groupBox", QRect(140, 80, 111, 31), "Select Area");
    row("RecAreaFullscreenButton", "QPushButton", "groupBox", QRect(10, 80, 121, 31),
        "Set Fullscreen", "Not exactly fullscreen.\nThe task bar will be cropped.");
    row("recordingAreaCoord", "QLabel", "groupBox", QRect(10, 10, 161, 31),
        "Resolution: 640x480         ");
    row("showRecAreaButton", "QPushButton", "groupBox", QRect(10, 40, 241, 31),
        "Show Selected Area");
    row("SelectedScreenLabel", "QLabel", "groupBox", QRect(180, 10, 71, 31), "Screen: #1");
    row("groupBox_3", "QGroupBox", "tab", QRect(10, 10, 261, 91), "Destination Folder",
        "The folder where the recordings will be saved.");
    row("destFolderField", "QLineEdit", "groupBox_3", QRect(10, 20, 241, 21), "");
    row("destFolderButton", "QPushButton", "groupBox_3", QRect(10, 50, 241, 31), "Change...");
    row("groupBox_2", "QGroupBox", "tab", QRect(10, 110, 261, 61), "Recording Speed Factor",
        "Records at slower intervals, producing an accelerated output video.");
    row("layoutWidget", "QWidget", "groupBox_2", QRect(10, 20, 241, 24), "");
    row("RecSpeedLabel", "QLabel", "layoutWidget", byLayout, "x1");
    row("recSpeedSlider", "QSlider", "layoutWidget", byLayout, "");
    row("groupBox_4", "QGroupBox", "tab_2", QRect(10, 10, 261, 171), "Recording Area");
    row("showRecordingAreaCheckBox", "QCheckBox", "groupBox_4", QRect(10, 140, 261, 20),
        "Show area while recording");
    row("layoutWidget1", "QWidget", "groupBox_4", QRect(10, 100, 111, 30), "");
    row("label_3", "QLabel", "layoutWidget1", byLayout, "Width");
    row("recordingAreaInputW", "QLineEdit", "layoutWidget1", byLayout, "640");
    row("layoutWidget2", "QWidget", "groupBox_4", QRect(10, 60, 111, 30), "");
    row("label_6", "QLabel", "layoutWidget2", byLayout, "X");
    row("recordingAreaInputX", "QLineEdit", "layoutWidget2", byLayout, "0");
    row("layoutWidget3", "QWidget", "groupBox_4", QRect(130, 100, 121, 30), "");
    row("label_5", "QLabel", "layoutWidget3", byLayout, "Height");
    row("recordingAreaInputH", "QLineEdit", "layoutWidget3", byLayout, "480");
    row("layoutWidget4", "QWidget", "groupBox_4", QRect(130, 60, 121, 30), "");
    row("label_7", "QLabel", "layoutWidget4", byLayout, "Y");
    row("recordingAreaInputY", "QLineEdit", "layoutWidget4", byLayout, "0");
    row("layoutWidget5", "QWidget", "groupBox_4", QRect(10, 20, 241, 24), "");
    row("label_2", "QLabel", "layoutWidget5", byLayout, "Screen");
    row("ScreenComboBox", "QComboBox", "layoutWidget5", byLayout, "");
    row("groupBox_5", "QGroupBox", "tab_2", QRect(10, 190, 261, 81), "Output Settings");
    row("showMouseCheckBox", "QCheckBox", "groupBox_5", QRect(10, 50, 261, 20), "Show mouse cursor",
        "Show/hide the mouse cursor in the output video.");
    row("layoutWidget6", "QWidget", "groupBox_5", QRect(10, 20, 241, 24), "");
    row("label", "QLabel", "layoutWidget6", byLayout, "Quality");
    row("QualityComboBox", "QComboBox", "layoutWidget6", byLayout, "",
        "The output quality options are limited by the recording area.\nThe bigger the "
        "recording area, the more quality options you have.\n\nThe better the quality "
        "setting, the more CPU and RAM will be consumed while recording.\nBetter quality "
        "settings increase the resolution and filesize of the output file.");
    row("pauseOnFocusCheckBox", "QCheckBox", "tab_2", QRect(10, 280, 261, 20),
        "Pause recording on windows focus",
        "Pause the recording as soon as this window regains focus.\nDon't forget to resume "
        "the recording!");
    row("timeCountLabel", "QLabel", "layoutWidget7", byLayout, "00:00:00");
    row("fileSizeLabel", "QLabel", "layoutWidget7", byLayout, "0 MB");
}

void TestMainWindowLayout::objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);

    const auto found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *widget = found.first();
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QVERIFY(widget->parent());
    QCOMPARE(widget->parent()->objectName(), parentName);
    if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
    else
        QVERIFY(widget->parentWidget()->layout()->indexOf(widget) >= 0);
    QCOMPARE(shownText(widget), text);
    QCOMPARE(widget->toolTip(), toolTip);
}

void TestMainWindowLayout::creationOrder()
{
    // Creation order fixes stacking and the focus chain: siblings keep it.
    const QStringList expected = {"startButton", "stopButton", "FilenameLabel", "tabWidget",
                                  "layoutWidget7"};
    QStringList actual;
    for (QObject *child : layout.centralWidget->children())
        if (child->isWidgetType())
            actual << child->objectName();
    QCOMPARE(actual, expected);

    QStringList basic;
    for (QObject *child : layout.groupBox->children())
        basic << child->objectName();
    QCOMPARE(basic,
             (QStringList{"SelectRecAreaButton", "RecAreaFullscreenButton", "recordingAreaCoord",
                          "showRecAreaButton", "SelectedScreenLabel"}));

    // Each container's layout holds its items in order, spacing 6, no margins.
    const QList<QPair<QWidget *, QStringList>> containers = {
        {layout.layoutWidget, {"RecSpeedLabel", "recSpeedSlider"}},
        {layout.layoutWidget1, {"label_3", "recordingAreaInputW"}},
        {layout.layoutWidget2, {"label_6", "recordingAreaInputX"}},
        {layout.layoutWidget3, {"label_5", "recordingAreaInputH"}},
        {layout.layoutWidget4, {"label_7", "recordingAreaInputY"}},
        {layout.layoutWidget5, {"label_2", "ScreenComboBox"}},
        {layout.layoutWidget6, {"label", "QualityComboBox"}},
        {layout.layoutWidget7, {"timeCountLabel", "fileSizeLabel"}},
    };
    for (const auto &c : containers) {
        QLayout *l = c.first->layout();
        QVERIFY(l);
        QCOMPARE(l->spacing(), 6);
        QCOMPARE(l->contentsMargins(), QMargins(0, 0, 0, 0));
        QStringList items;
        for (int i = 0; i < l->count(); ++i)
            items << l->itemAt(i)->widget()->objectName();
        QCOMPARE(items, c.second);
    }
}

void TestMainWindowLayout::windowAndMenus()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Zintora"));
    QCOMPARE(window->size(), QSize(310, 466));
    QCOMPARE(window->minimumSize(), QSize(310, 460));
    QCOMPARE(window->maximumSize(), QSize(310, 475));
    QCOMPARE(window->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(window->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(window->centralWidget(), layout.centralWidget);
    QCOMPARE(window->menuBar(), layout.menuBar);

    const auto menus = layout.menuBar->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->text(), QStringLiteral("File"));
    QCOMPARE(menus.at(1)->text(), QStringLiteral("Help"));
    QCOMPARE(layout.menuFile->actions(), QList<QAction *>{layout.actionExit});
    QCOMPARE(layout.menuHelp->actions(),
             (QList<QAction *>{layout.actionCheck_for_updates, layout.actionAbout}));
    QCOMPARE(layout.actionExit->text(), QStringLiteral("Exit"));
    QCOMPARE(layout.actionCheck_for_updates->text(), QStringLiteral("Check for updates..."));
    QCOMPARE(layout.actionAbout->text(), QStringLiteral("About"));
    QCOMPARE(layout.actionExit->parent(), window);

    QCOMPARE(layout.tabWidget->count(), 2);
    QCOMPARE(layout.tabWidget->widget(0), layout.tab);
    QCOMPARE(layout.tabWidget->tabText(0), QStringLiteral("Basic"));
    QCOMPARE(layout.tabWidget->widget(1), layout.tab_2);
    QCOMPARE(layout.tabWidget->tabText(1), QStringLiteral("Advanced"));
}

void TestMainWindowLayout::initialState()
{
    QCOMPARE(layout.tabWidget->currentIndex(), 0);
    QCOMPARE(layout.ScreenComboBox->count(), 0);
    QCOMPARE(layout.QualityComboBox->count(), 0);
    QCOMPARE(layout.QualityComboBox->currentIndex(), -1);
    QCOMPARE(layout.recSpeedSlider->minimum(), 1);
    QCOMPARE(layout.recSpeedSlider->maximum(), 30);
    QCOMPARE(layout.recSpeedSlider->value(), 1);
    QCOMPARE(layout.recSpeedSlider->pageStep(), 1);
    QCOMPARE(layout.recSpeedSlider->orientation(), Qt::Horizontal);
    QVERIFY(layout.showRecordingAreaCheckBox->isChecked());
    QVERIFY(layout.showMouseCheckBox->isChecked());
    QVERIFY(!layout.pauseOnFocusCheckBox->isChecked());
    QVERIFY(layout.SelectRecAreaButton->isCheckable());
    QVERIFY(!layout.SelectRecAreaButton->isChecked());
    QVERIFY(layout.RecAreaFullscreenButton->isCheckable());
    QVERIFY(!layout.RecAreaFullscreenButton->isChecked());
    QCOMPARE(layout.recordingAreaInputW->inputMethodHints(), Qt::ImhLatinOnly);
    QCOMPARE(layout.recordingAreaInputX->inputMethodHints(), Qt::ImhLatinOnly);
    QCOMPARE(layout.recordingAreaInputY->inputMethodHints(), Qt::ImhLatinOnly);
    QCOMPARE(layout.recordingAreaInputH->inputMethodHints(), Qt::ImhNone);
    for (QLabel *label : {layout.label_3, layout.label_5, layout.label_6, layout.label_7})
        QVERIFY(label->alignment() & Qt::AlignRight && label->alignment() & Qt::AlignVCenter);
}

void TestMainWindowLayout::slotsConnectedByNameAfterTexts()
{
    // The initial texts are set before the by-name connection, so the
    // text-changed slots did not see them.
    QVERIFY(window->destText.isEmpty());
    layout.destFolderField->setText(QStringLiteral("/tmp"));
    QCOMPARE(window->destText, QStringLiteral("/tmp"));
    QTest::mouseClick(layout.startButton, Qt::LeftButton);
    QCOMPARE(window->startClicks, 1);
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
