#include "screenpainter.h"

#include <X11/Xlib.h>

ScreenPainter::ScreenPainter(const QByteArray &display)
{
    connection = XOpenDisplay(display.constData());
}

ScreenPainter::~ScreenPainter()
{
    if (connection)
        XCloseDisplay(connection);
}

QSize ScreenPainter::screenSize() const
{
    if (!connection)
        return QSize();
    const int screen = DefaultScreen(connection);
    return QSize(DisplayWidth(connection, screen), DisplayHeight(connection, screen));
}

void ScreenPainter::fill(const QRect &area, const QColor &colour)
{
    if (!connection)
        return;
    const int screen = DefaultScreen(connection);
    const Window root = RootWindow(connection, screen);
    GC context = XCreateGC(connection, root, 0, nullptr);
    // The servers of the tests are 24-bit TrueColor: the pixel is 0xRRGGBB.
    XSetForeground(connection, context,
                   (unsigned long)((colour.red() << 16) | (colour.green() << 8) | colour.blue()));
    XFillRectangle(connection, root, context, area.x(), area.y(), unsigned(area.width()),
                   unsigned(area.height()));
    XFreeGC(connection, context);
}

void ScreenPainter::sync()
{
    if (connection)
        XSync(connection, False);
}
