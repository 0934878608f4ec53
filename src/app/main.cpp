#include "mainwindow.h"

#include <QApplication>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

int main(int argc, char *argv[])
{
#if LIBAVFORMAT_VERSION_MAJOR < 58
    av_register_all(); // gone since FFmpeg 4.0, where formats register themselves
#endif
    avformat_network_init();
    avdevice_register_all();

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
