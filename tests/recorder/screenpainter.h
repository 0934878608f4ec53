#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>

struct _XDisplay;

// Paints known colours straight onto the root window of an X server, so a
// recording of that screen has content the test can check. sync() returns
// once the server has drawn everything: any later grab sees it.
class ScreenPainter
{
public:
    explicit ScreenPainter(const QByteArray &display);
    ~ScreenPainter();
    ScreenPainter(const ScreenPainter &) = delete;
    ScreenPainter &operator=(const ScreenPainter &) = delete;

    bool isOpen() const { return connection != nullptr; }
    QSize screenSize() const;
    void fill(const QRect &area, const QColor &colour);
    void fillScreen(const QColor &colour) { fill(QRect(QPoint(0, 0), screenSize()), colour); }
    void sync();

private:
    _XDisplay *connection = nullptr;
};
