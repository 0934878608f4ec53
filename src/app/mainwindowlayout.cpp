#include "mainwindowlayout.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include <tuple>

namespace {

// Every layout of the window: spacing 6, no margins.
template <typename Layout> Layout *makeLayout(QWidget *container, const char *name)
{
    auto *layout = new Layout(container);
    layout->setSpacing(6);
    layout->setObjectName(QString::fromLatin1(name));
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QWidget *makeContainer(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *container = new QWidget(parent);
    container->setObjectName(QString::fromLatin1(name));
    container->setGeometry(geometry);
    return container;
}

template <typename Widget> Widget *make(QWidget *parent, const char *name)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

template <typename Widget> Widget *make(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *widget = make<Widget>(parent, name);
    widget->setGeometry(geometry);
    return widget;
}

QLabel *makeFieldLabel(QWidget *parent, const char *name)
{
    auto *label = make<QLabel>(parent, name);
    label->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    return label;
}

struct InputNames
{
    const char *container, *layout, *label, *edit;
};

// A right-aligned label and its line edit, side by side on a container.
std::tuple<QWidget *, QHBoxLayout *, QLabel *, QLineEdit *>
makeLabelledInput(QWidget *parent, const InputNames &names, const QRect &geometry,
                  Qt::InputMethodHints hints)
{
    QWidget *container = makeContainer(parent, names.container, geometry);
    auto *layout = makeLayout<QHBoxLayout>(container, names.layout);
    QLabel *label = makeFieldLabel(container, names.label);
    layout->addWidget(label);
    auto *edit = make<QLineEdit>(container, names.edit);
    if (hints != Qt::ImhNone)
        edit->setInputMethodHints(hints);
    layout->addWidget(edit);
    return {container, layout, label, edit};
}

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text, nullptr);
}

} // namespace

void MainWindowLayout::setupLayout(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(310, 466);
    QSizePolicy sizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    sizePolicy.setHorizontalStretch(0);
    sizePolicy.setVerticalStretch(0);
    sizePolicy.setHeightForWidth(window->sizePolicy().hasHeightForWidth());
    window->setSizePolicy(sizePolicy);
    window->setMinimumSize(QSize(310, 460));
    window->setMaximumSize(QSize(310, 475));
    window->setWindowTitle(QStringLiteral("Zintora"));

    actionExit = new QAction(window);
    actionExit->setObjectName(QStringLiteral("actionExit"));
    actionAbout = new QAction(window);
    actionAbout->setObjectName(QStringLiteral("actionAbout"));
    actionCheck_for_updates = new QAction(window);
    actionCheck_for_updates->setObjectName(QStringLiteral("actionCheck_for_updates"));

    centralWidget = make<QWidget>(window, "centralWidget");
    startButton = make<QPushButton>(centralWidget, "startButton", QRect(10, 380, 91, 41));
    stopButton = make<QPushButton>(centralWidget, "stopButton", QRect(110, 380, 61, 41));
    FilenameLabel = make<QLabel>(centralWidget, "FilenameLabel", QRect(10, 360, 281, 16));
    tabWidget = make<QTabWidget>(centralWidget, "tabWidget", QRect(10, 10, 291, 341));

    // Page "Basic".
    tab = make<QWidget>(nullptr, "tab");
    groupBox = make<QGroupBox>(tab, "groupBox", QRect(10, 180, 261, 121));
    SelectRecAreaButton =
        make<QPushButton>(groupBox, "SelectRecAreaButton", QRect(140, 80, 111, 31));
    SelectRecAreaButton->setEnabled(true);
    SelectRecAreaButton->setCheckable(true);
    RecAreaFullscreenButton =
        make<QPushButton>(groupBox, "RecAreaFullscreenButton", QRect(10, 80, 121, 31));
    RecAreaFullscreenButton->setCheckable(true);
    recordingAreaCoord = make<QLabel>(groupBox, "recordingAreaCoord", QRect(10, 10, 161, 31));
    showRecAreaButton = make<QPushButton>(groupBox, "showRecAreaButton", QRect(10, 40, 241, 31));
    SelectedScreenLabel = make<QLabel>(groupBox, "SelectedScreenLabel", QRect(180, 10, 71, 31));
    groupBox_3 = make<QGroupBox>(tab, "groupBox_3", QRect(10, 10, 261, 91));
    destFolderField = make<QLineEdit>(groupBox_3, "destFolderField", QRect(10, 20, 241, 21));
    destFolderButton = make<QPushButton>(groupBox_3, "destFolderButton", QRect(10, 50, 241, 31));
    groupBox_2 = make<QGroupBox>(tab, "groupBox_2", QRect(10, 110, 261, 61));
    layoutWidget = makeContainer(groupBox_2, "layoutWidget", QRect(10, 20, 241, 24));
    horizontalLayout_6 = makeLayout<QHBoxLayout>(layoutWidget, "horizontalLayout_6");
    RecSpeedLabel = make<QLabel>(layoutWidget, "RecSpeedLabel");
    horizontalLayout_6->addWidget(RecSpeedLabel);
    recSpeedSlider = make<QSlider>(layoutWidget, "recSpeedSlider");
    recSpeedSlider->setMinimum(1);
    recSpeedSlider->setMaximum(30);
    recSpeedSlider->setPageStep(1);
    recSpeedSlider->setOrientation(Qt::Horizontal);
    horizontalLayout_6->addWidget(recSpeedSlider);
    tabWidget->addTab(tab, QString());

    // Page "Advanced".
    tab_2 = make<QWidget>(nullptr, "tab_2");
    groupBox_4 = make<QGroupBox>(tab_2, "groupBox_4", QRect(10, 10, 261, 171));
    showRecordingAreaCheckBox =
        make<QCheckBox>(groupBox_4, "showRecordingAreaCheckBox", QRect(10, 140, 261, 20));
    showRecordingAreaCheckBox->setChecked(true);
    std::tie(layoutWidget1, horizontalLayout, label_3, recordingAreaInputW) = makeLabelledInput(
        groupBox_4, {"layoutWidget1", "horizontalLayout", "label_3", "recordingAreaInputW"},
        QRect(10, 100, 111, 30), Qt::ImhLatinOnly);
    std::tie(layoutWidget2, horizontalLayout_3, label_6, recordingAreaInputX) = makeLabelledInput(
        groupBox_4, {"layoutWidget2", "horizontalLayout_3", "label_6", "recordingAreaInputX"},
        QRect(10, 60, 111, 30), Qt::ImhLatinOnly);
    std::tie(layoutWidget3, horizontalLayout_2, label_5, recordingAreaInputH) = makeLabelledInput(
        groupBox_4, {"layoutWidget3", "horizontalLayout_2", "label_5", "recordingAreaInputH"},
        QRect(130, 100, 121, 30), Qt::ImhNone);
    std::tie(layoutWidget4, horizontalLayout_4, label_7, recordingAreaInputY) = makeLabelledInput(
        groupBox_4, {"layoutWidget4", "horizontalLayout_4", "label_7", "recordingAreaInputY"},
        QRect(130, 60, 121, 30), Qt::ImhLatinOnly);
    layoutWidget5 = makeContainer(groupBox_4, "layoutWidget5", QRect(10, 20, 241, 24));
    gridLayout = makeLayout<QGridLayout>(layoutWidget5, "gridLayout");
    label_2 = make<QLabel>(layoutWidget5, "label_2");
    gridLayout->addWidget(label_2, 0, 0, 1, 1);
    ScreenComboBox = make<QComboBox>(layoutWidget5, "ScreenComboBox");
    gridLayout->addWidget(ScreenComboBox, 0, 1, 1, 1);
    groupBox_5 = make<QGroupBox>(tab_2, "groupBox_5", QRect(10, 190, 261, 81));
    showMouseCheckBox = make<QCheckBox>(groupBox_5, "showMouseCheckBox", QRect(10, 50, 261, 20));
    showMouseCheckBox->setChecked(true);
    layoutWidget6 = makeContainer(groupBox_5, "layoutWidget6", QRect(10, 20, 241, 24));
    horizontalLayout_5 = makeLayout<QHBoxLayout>(layoutWidget6, "horizontalLayout_5");
    label = make<QLabel>(layoutWidget6, "label");
    horizontalLayout_5->addWidget(label);
    QualityComboBox = make<QComboBox>(layoutWidget6, "QualityComboBox");
    horizontalLayout_5->addWidget(QualityComboBox);
    pauseOnFocusCheckBox = make<QCheckBox>(tab_2, "pauseOnFocusCheckBox", QRect(10, 280, 261, 20));
    tabWidget->addTab(tab_2, QString());

    // Readout of video time and file size.
    layoutWidget7 = makeContainer(centralWidget, "layoutWidget7", QRect(181, 378, 121, 41));
    verticalLayout = makeLayout<QVBoxLayout>(layoutWidget7, "verticalLayout");
    timeCountLabel = make<QLabel>(layoutWidget7, "timeCountLabel");
    verticalLayout->addWidget(timeCountLabel);
    fileSizeLabel = make<QLabel>(layoutWidget7, "fileSizeLabel");
    verticalLayout->addWidget(fileSizeLabel);

    window->setCentralWidget(centralWidget);

    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(QRect(0, 0, 310, 26));
    menuFile = new QMenu(menuBar);
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuHelp = new QMenu(menuBar);
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    window->setMenuBar(menuBar);
    menuBar->addAction(menuFile->menuAction());
    menuBar->addAction(menuHelp->menuAction());
    menuFile->addAction(actionExit);
    menuHelp->addAction(actionCheck_for_updates);
    menuHelp->addAction(actionAbout);

    retranslateLayout(window);

    tabWidget->setCurrentIndex(0);
    QualityComboBox->setCurrentIndex(-1);

    QMetaObject::connectSlotsByName(window);
}

void MainWindowLayout::retranslateLayout(QMainWindow *window)
{
    Q_UNUSED(window)
    actionExit->setText(tr("Exit"));
    actionAbout->setText(tr("About"));
    actionCheck_for_updates->setText(tr("Check for updates..."));
    startButton->setText(tr("Start!"));
    stopButton->setText(tr("Stop"));
    FilenameLabel->setText(tr("File: <b>zint_YEAR-MM-DD_HH-MM-SS.mpg</b>"));
    groupBox->setToolTip(tr("The area of the screen that will be recorded."));
    groupBox->setTitle(tr("Recording Area"));
    SelectRecAreaButton->setText(tr("Select Area"));
    RecAreaFullscreenButton->setToolTip(
        tr("Not exactly fullscreen.\nThe task bar will be cropped."));
    RecAreaFullscreenButton->setText(tr("Set Fullscreen"));
    recordingAreaCoord->setText(tr("Resolution: 640x480         "));
    showRecAreaButton->setText(tr("Show Selected Area"));
    SelectedScreenLabel->setText(tr("Screen: #1"));
    groupBox_3->setToolTip(tr("The folder where the recordings will be saved."));
    groupBox_3->setTitle(tr("Destination Folder"));
    destFolderButton->setText(tr("Change..."));
    groupBox_2->setToolTip(
        tr("Records at slower intervals, producing an accelerated output video."));
    groupBox_2->setTitle(tr("Recording Speed Factor"));
    RecSpeedLabel->setText(tr("x1"));
    tabWidget->setTabText(tabWidget->indexOf(tab), tr("Basic"));
    groupBox_4->setTitle(tr("Recording Area"));
    showRecordingAreaCheckBox->setText(tr("Show area while recording"));
    label_3->setText(tr("Width"));
    recordingAreaInputW->setText(tr("640"));
    label_6->setText(tr("X"));
    recordingAreaInputX->setText(tr("0"));
    label_5->setText(tr("Height"));
    recordingAreaInputH->setText(tr("480"));
    label_7->setText(tr("Y"));
    recordingAreaInputY->setText(tr("0"));
    label_2->setText(tr("Screen"));
    groupBox_5->setTitle(tr("Output Settings"));
    showMouseCheckBox->setToolTip(tr("Show/hide the mouse cursor in the output video."));
    showMouseCheckBox->setText(tr("Show mouse cursor"));
    label->setText(tr("Quality"));
    QualityComboBox->setToolTip(
        tr("The output quality options are limited by the recording area.\nThe bigger the "
           "recording area, the more quality options you have.\n\nThe better the quality "
           "setting, the more CPU and RAM will be consumed while recording.\nBetter quality "
           "settings increase the resolution and filesize of the output file."));
    pauseOnFocusCheckBox->setToolTip(tr("Pause the recording as soon as this window regains "
                                        "focus.\nDon't forget to resume the recording!"));
    pauseOnFocusCheckBox->setText(tr("Pause recording on windows focus"));
    tabWidget->setTabText(tabWidget->indexOf(tab_2), tr("Advanced"));
    timeCountLabel->setText(tr("00:00:00"));
    fileSizeLabel->setText(tr("0 MB"));
    menuFile->setTitle(tr("File"));
    menuHelp->setTitle(tr("Help"));
}
