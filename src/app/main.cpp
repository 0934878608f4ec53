// SPDX-License-Identifier: GPL-3.0-or-later
#include "ffmpeg.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    avformat_network_init();
    avdevice_register_all();

    QApplication app(argc, argv);
    // The icon compiled in, so that the window has it also where the program
    // is not installed; the desktop entry's name ties a Wayland window to it.
    QIcon icon;
    for (const QString &size : QDir(QStringLiteral(":/icons")).entryList())
        icon.addFile(QStringLiteral(":/icons/%1/zintora.png").arg(size));
    app.setWindowIcon(icon);
    app.setDesktopFileName(QStringLiteral("zintora"));
    MainWindow window;
    window.show();
    return app.exec();
}
