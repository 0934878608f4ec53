#pragma once

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QVBoxLayout;
class QWidget;

// Pointers to every object of the main window's widget tree, each named after
// its object name. Owns nothing: the window's object tree owns the widgets.
struct MainWindowLayout
{
    QAction *actionExit = nullptr;
    QAction *actionAbout = nullptr;
    QAction *actionCheck_for_updates = nullptr;
    QWidget *centralWidget = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *stopButton = nullptr;
    QLabel *FilenameLabel = nullptr;
    QTabWidget *tabWidget = nullptr;
    QWidget *tab = nullptr;
    QGroupBox *groupBox = nullptr;
    QPushButton *SelectRecAreaButton = nullptr;
    QPushButton *RecAreaFullscreenButton = nullptr;
    QLabel *recordingAreaCoord = nullptr;
    QPushButton *showRecAreaButton = nullptr;
    QLabel *SelectedScreenLabel = nullptr;
    QGroupBox *groupBox_3 = nullptr;
    QLineEdit *destFolderField = nullptr;
    QPushButton *destFolderButton = nullptr;
    QGroupBox *groupBox_2 = nullptr;
    QWidget *layoutWidget = nullptr;
    QHBoxLayout *horizontalLayout_6 = nullptr;
    QLabel *RecSpeedLabel = nullptr;
    QSlider *recSpeedSlider = nullptr;
    QWidget *tab_2 = nullptr;
    QGroupBox *groupBox_4 = nullptr;
    QCheckBox *showRecordingAreaCheckBox = nullptr;
    QWidget *layoutWidget1 = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QLabel *label_3 = nullptr;
    QLineEdit *recordingAreaInputW = nullptr;
    QWidget *layoutWidget2 = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    QLabel *label_6 = nullptr;
    QLineEdit *recordingAreaInputX = nullptr;
    QWidget *layoutWidget3 = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *label_5 = nullptr;
    QLineEdit *recordingAreaInputH = nullptr;
    QWidget *layoutWidget4 = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QLabel *label_7 = nullptr;
    QLineEdit *recordingAreaInputY = nullptr;
    QWidget *layoutWidget5 = nullptr;
    QGridLayout *gridLayout = nullptr;
    QLabel *label_2 = nullptr;
    QComboBox *ScreenComboBox = nullptr;
    QGroupBox *groupBox_5 = nullptr;
    QCheckBox *showMouseCheckBox = nullptr;
    QWidget *layoutWidget6 = nullptr;
    QHBoxLayout *horizontalLayout_5 = nullptr;
    QLabel *label = nullptr;
    QComboBox *QualityComboBox = nullptr;
    QCheckBox *pauseOnFocusCheckBox = nullptr;
    QWidget *layoutWidget7 = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QLabel *timeCountLabel = nullptr;
    QLabel *fileSizeLabel = nullptr;
    QMenuBar *menuBar = nullptr;
    QMenu *menuFile = nullptr;
    QMenu *menuHelp = nullptr;

    // Builds the whole tree on the window, sets its texts, and connects the
    // window's on_<objectName>_<signal> slots by name.
    void setupLayout(QMainWindow *window);
    // Puts every user-visible text in place (context "MainWindow").
    void retranslateLayout(QMainWindow *window);
};
