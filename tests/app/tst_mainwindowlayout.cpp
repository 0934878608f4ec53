#include "mainwindowlayout.h"

#include <QMainWindow>
#include <QTest>

class TestMainWindowLayout : public QObject
{
    Q_OBJECT
private slots:
    void builds()
    {
        QMainWindow window;
        MainWindowLayout layout;
        layout.setupLayout(&window);
        QVERIFY(layout.startButton);
    }
};

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
