// What a user would see go wrong in the main window's layout: a widget
// missing, hidden, cut off by its parent or covering another, and the menus.
#include "mainwindowlayout.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>

class TestMainWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void widgetsFitWithoutOverlap()
    {
        QMainWindow window;
        MainWindowLayout ui;
        ui.setupLayout(&window);
        window.resize(window.minimumSize()); // everything must fit the smallest window
        window.show();
        const QStringList names =
            QStringLiteral(
                "startButton stopButton FilenameLabel tabWidget timeCountLabel fileSizeLabel "
                "groupBox SelectRecAreaButton RecAreaFullscreenButton recordingAreaCoord "
                "showRecAreaButton SelectedScreenLabel groupBox_3 destFolderField destFolderButton "
                "groupBox_2 RecSpeedLabel recSpeedSlider groupBox_4 showRecordingAreaCheckBox "
                "label_3 recordingAreaInputW label_6 recordingAreaInputX label_5 "
                "recordingAreaInputH label_7 recordingAreaInputY label_2 ScreenComboBox "
                "groupBox_5 showMouseCheckBox label QualityComboBox pauseOnFocusCheckBox")
                .split(' ');
        for (const QString &name : names) {
            const auto found = window.findChildren<QWidget *>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            QWidget *widget = found.first();
            for (int tab = 0; tab < ui.tabWidget->count(); ++tab)
                if (ui.tabWidget->widget(tab)->isAncestorOf(widget))
                    ui.tabWidget->setCurrentIndex(tab);
            QVERIFY2(widget->isVisible(), qPrintable(name));
            QWidget *parent = widget->parentWidget();
            // Edges may touch: the layout puts a label's last row on a button's first.
            const QRect inner = widget->geometry().adjusted(1, 1, -1, -1);
            // What it shows must fit; a check box may be wider than its text.
            const QSize shown = widget->size().boundedTo(widget->sizeHint());
            QVERIFY2(parent->rect().contains(QRect(widget->pos(), shown)), qPrintable(name));
            for (QWidget *sibling :
                 parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
                QVERIFY2(sibling == widget || !sibling->isVisible() ||
                             !sibling->geometry().intersects(inner),
                         qPrintable(name + " covers " + sibling->objectName()));
        }
    }

    void menus()
    {
        QMainWindow window;
        MainWindowLayout ui;
        ui.setupLayout(&window);
        QStringList shown;
        for (QAction *menu : window.menuBar()->actions()) {
            shown << menu->text();
            for (QAction *action : menu->menu()->actions())
                shown << "  " + action->text();
        }
        QCOMPARE(shown,
                 (QStringList{"File", "  Exit", "Help", "  Check for updates...", "  About"}));
    }
};

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
