#include "ffmpeg.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    avformat_network_init();
    avdevice_register_all();

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
