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

// A window whose slots the layout connects by name.
class SlotWindow : public QMainWindow
{
    Q_OBJECT
public:
    QString destText;
private slots:
    void on_destFolderField_textChanged(const QString &text) { destText = text; }
};

namespace {

struct Expected
{
    const char *name, *className, *parent;
    QRect geometry; // null: placed by its parent's layout, at this index
    int layoutIndex;
    const char *text, *toolTip;
};

const QRect L; // placed by a layout
const Expected expectedWidgets[] = {
    {"startButton", "QPushButton", "centralWidget", {10, 380, 91, 41}, 0, "Start!", ""},
    {"stopButton", "QPushButton", "centralWidget", {110, 380, 61, 41}, 0, "Stop", ""},
    {"FilenameLabel",
     "QLabel",
     "centralWidget",
     {10, 360, 281, 16},
     0,
     "File: <b>zint_YEAR-MM-DD_HH-MM-SS.mpg</b>",
     ""},
    {"tabWidget", "QTabWidget", "centralWidget", {10, 10, 291, 341}, 0, "", ""},
    {"layoutWidget7", "QWidget", "centralWidget", {181, 378, 121, 41}, 0, "", ""},
    {"groupBox",
     "QGroupBox",
     "tab",
     {10, 180, 261, 121},
     0,
     "Recording Area",
     "The area of the screen that will be recorded."},
    {"SelectRecAreaButton", "QPushButton", "groupBox", {140, 80, 111, 31}, 0, "Select Area", ""},
    {"RecAreaFullscreenButton",
     "QPushButton",
     "groupBox",
     {10, 80, 121, 31},
     0,
     "Set Fullscreen",
     "Not exactly fullscreen.\nThe task bar will be cropped."},
    {"recordingAreaCoord",
     "QLabel",
     "groupBox",
     {10, 10, 161, 31},
     0,
     "Resolution: 640x480         ",
     ""},
    {"showRecAreaButton",
     "QPushButton",
     "groupBox",
     {10, 40, 241, 31},
     0,
     "Show Selected Area",
     ""},
    {"SelectedScreenLabel", "QLabel", "groupBox", {180, 10, 71, 31}, 0, "Screen: #1", ""},
    {"groupBox_3",
     "QGroupBox",
     "tab",
     {10, 10, 261, 91},
     0,
     "Destination Folder",
     "The folder where the recordings will be saved."},
    {"destFolderField", "QLineEdit", "groupBox_3", {10, 20, 241, 21}, 0, "", ""},
    {"destFolderButton", "QPushButton", "groupBox_3", {10, 50, 241, 31}, 0, "Change...", ""},
    {"groupBox_2",
     "QGroupBox",
     "tab",
     {10, 110, 261, 61},
     0,
     "Recording Speed Factor",
     "Records at slower intervals, producing an accelerated output video."},
    {"layoutWidget", "QWidget", "groupBox_2", {10, 20, 241, 24}, 0, "", ""},
    {"RecSpeedLabel", "QLabel", "layoutWidget", L, 0, "x1", ""},
    {"recSpeedSlider", "QSlider", "layoutWidget", L, 1, "", ""},
    {"groupBox_4", "QGroupBox", "tab_2", {10, 10, 261, 171}, 0, "Recording Area", ""},
    {"showRecordingAreaCheckBox",
     "QCheckBox",
     "groupBox_4",
     {10, 140, 261, 20},
     0,
     "Show area while recording",
     ""},
    {"layoutWidget1", "QWidget", "groupBox_4", {10, 100, 111, 30}, 0, "", ""},
    {"label_3", "QLabel", "layoutWidget1", L, 0, "Width", ""},
    {"recordingAreaInputW", "QLineEdit", "layoutWidget1", L, 1, "640", ""},
    {"layoutWidget2", "QWidget", "groupBox_4", {10, 60, 111, 30}, 0, "", ""},
    {"label_6", "QLabel", "layoutWidget2", L, 0, "X", ""},
    {"recordingAreaInputX", "QLineEdit", "layoutWidget2", L, 1, "0", ""},
    {"layoutWidget3", "QWidget", "groupBox_4", {130, 100, 121, 30}, 0, "", ""},
    {"label_5", "QLabel", "layoutWidget3", L, 0, "Height", ""},
    {"recordingAreaInputH", "QLineEdit", "layoutWidget3", L, 1, "480", ""},
    {"layoutWidget4", "QWidget", "groupBox_4", {130, 60, 121, 30}, 0, "", ""},
    {"label_7", "QLabel", "layoutWidget4", L, 0, "Y", ""},
    {"recordingAreaInputY", "QLineEdit", "layoutWidget4", L, 1, "0", ""},
    {"layoutWidget5", "QWidget", "groupBox_4", {10, 20, 241, 24}, 0, "", ""},
    {"label_2", "QLabel", "layoutWidget5", L, 0, "Screen", ""},
    {"ScreenComboBox", "QComboBox", "layoutWidget5", L, 1, "", ""},
    {"groupBox_5", "QGroupBox", "tab_2", {10, 190, 261, 81}, 0, "Output Settings", ""},
    {"showMouseCheckBox",
     "QCheckBox",
     "groupBox_5",
     {10, 50, 261, 20},
     0,
     "Show mouse cursor",
     "Show/hide the mouse cursor in the output video."},
    {"layoutWidget6", "QWidget", "groupBox_5", {10, 20, 241, 24}, 0, "", ""},
    {"label", "QLabel", "layoutWidget6", L, 0, "Quality", ""},
    {"QualityComboBox", "QComboBox", "layoutWidget6", L, 1, "",
     "The output quality options are limited by the recording area.\nThe bigger the recording "
     "area, the more quality options you have.\n\nThe better the quality setting, the more CPU "
     "and RAM will be consumed while recording.\nBetter quality settings increase the "
     "resolution and filesize of the output file."},
    {"pauseOnFocusCheckBox",
     "QCheckBox",
     "tab_2",
     {10, 280, 261, 20},
     0,
     "Pause recording on windows focus",
     "Pause the recording as soon as this window regains focus.\nDon't forget to resume the "
     "recording!"},
    {"timeCountLabel", "QLabel", "layoutWidget7", L, 0, "00:00:00", ""},
    {"fileSizeLabel", "QLabel", "layoutWidget7", L, 1, "0 MB", ""},
};

QString shownText(QObject *o)
{
    if (auto *b = qobject_cast<QAbstractButton *>(o))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(o))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(o))
        return e->text();
    if (auto *g = qobject_cast<QGroupBox *>(o))
        return g->title();
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
        ui = MainWindowLayout();
        ui.setupLayout(window);
    }
    void cleanup() { delete window; }

    void widgets_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(expectedWidgets)); ++i)
            QTest::newRow(expectedWidgets[i].name) << i;
    }

    void widgets()
    {
        QFETCH(int, row);
        const Expected &e = expectedWidgets[row];
        const auto found = window->findChildren<QWidget *>(QString::fromLatin1(e.name));
        QCOMPARE(found.size(), 1);
        QWidget *w = found.first();
        QCOMPARE(w->metaObject()->className(), e.className);
        QCOMPARE(w->parent()->objectName(), QString::fromLatin1(e.parent));
        if (e.geometry.isNull()) {
            QLayout *layout = w->parentWidget()->layout();
            QCOMPARE(layout->indexOf(w), e.layoutIndex);
            QCOMPARE(layout->spacing(), 6);
            QCOMPARE(layout->contentsMargins(), QMargins());
        } else {
            QCOMPARE(w->geometry(), e.geometry);
        }
        QCOMPARE(shownText(w), QString::fromUtf8(e.text));
        QCOMPARE(w->toolTip(), QString::fromUtf8(e.toolTip));
    }

    void windowMenusAndInitialState()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Zintora"));
        QCOMPARE(window->minimumSize(), QSize(310, 460));
        QCOMPARE(window->maximumSize(), QSize(310, 475));
        QCOMPARE(ui.menuFile->actions(), QList<QAction *>{ui.actionExit});
        QCOMPARE(ui.menuHelp->actions(),
                 (QList<QAction *>{ui.actionCheck_for_updates, ui.actionAbout}));
        const QStringList texts = {ui.menuFile->title(),    ui.menuHelp->title(),
                                   ui.actionExit->text(),   ui.actionCheck_for_updates->text(),
                                   ui.actionAbout->text(),  ui.tabWidget->tabText(0),
                                   ui.tabWidget->tabText(1)};
        QCOMPARE(texts, (QStringList{"File", "Help", "Exit", "Check for updates...", "About",
                                     "Basic", "Advanced"}));
        QCOMPARE(ui.QualityComboBox->currentIndex(), -1);
        QCOMPARE(ui.recSpeedSlider->value(), 1);
        QCOMPARE(ui.recSpeedSlider->maximum(), 30);
        QVERIFY(ui.showRecordingAreaCheckBox->isChecked() && ui.showMouseCheckBox->isChecked());
        QVERIFY(!ui.pauseOnFocusCheckBox->isChecked());
        QCOMPARE(ui.recordingAreaInputX->inputMethodHints(), Qt::ImhLatinOnly);
        QCOMPARE(ui.recordingAreaInputH->inputMethodHints(), Qt::ImhNone);
        // Texts are set before the by-name connection, so the slots missed them.
        QVERIFY(window->destText.isEmpty());
        ui.destFolderField->setText(QStringLiteral("/tmp"));
        QCOMPARE(window->destText, QStringLiteral("/tmp"));
    }

private:
    SlotWindow *window = nullptr;
    MainWindowLayout ui;
};

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
