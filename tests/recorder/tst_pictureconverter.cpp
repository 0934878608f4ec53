#include "pictureconverter.h"

#include <QColor>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// A packed BGR0 picture as x11grab delivers it.
ffmpeg::FramePtr makeSource(int width, int height)
{
    ffmpeg::FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_BGR0;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    return frame;
}

void fill(AVFrame *frame, const QColor &colour)
{
    for (int y = 0; y < frame->height; ++y) {
        uint8_t *row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            row[4 * x] = uint8_t(colour.blue());
            row[4 * x + 1] = uint8_t(colour.green());
            row[4 * x + 2] = uint8_t(colour.red());
            row[4 * x + 3] = 0;
        }
    }
}

// Desktop-like content: smooth gradients, noise, hard-edged coloured blocks
// and one-pixel lines, so that both luma and chroma see edges.
void fillDesktopLike(AVFrame *frame)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-12, 12);
    auto clamp = [](int value) { return uint8_t(qBound(0, value, 255)); };
    for (int y = 0; y < frame->height; ++y) {
        uint8_t *row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            int r = 255 * x / frame->width, g = 255 * y / frame->height, b = 128;
            if (((x / 40) + (y / 30)) % 5 == 0) {
                r = 230, g = 30, b = 40;
            } else if (((x / 50) * 3 + (y / 20)) % 7 == 0) {
                r = 20, g = 60, b = 220;
            }
            if (x % 97 == 0 || y % 61 == 0)
                r = g = b = 255;
            row[4 * x] = clamp(b + noise(random));
            row[4 * x + 1] = clamp(g + noise(random));
            row[4 * x + 2] = clamp(r + noise(random));
            row[4 * x + 3] = 0;
        }
    }
}

double psnr(const AVFrame *a, const AVFrame *b, int plane)
{
    const int width = plane == 0 ? a->width : (a->width + 1) / 2;
    const int height = plane == 0 ? a->height : (a->height + 1) / 2;
    double squares = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t *rowA = a->data[plane] + y * a->linesize[plane];
        const uint8_t *rowB = b->data[plane] + y * b->linesize[plane];
        for (int x = 0; x < width; ++x) {
            const double d = double(rowA[x]) - double(rowB[x]);
            squares += d * d;
        }
    }
    const double mse = squares / (double(width) * height);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int sample(const AVFrame *frame, int plane, int x, int y)
{
    return frame->data[plane][y * frame->linesize[plane] + x];
}

} // namespace

class TestPictureConverter : public QObject
{
    Q_OBJECT

private slots:
    void libyuvMatchesSwscale_data();
    void libyuvMatchesSwscale();
    void coloursAreLimitedRangeBt601_data();
    void coloursAreLimitedRangeBt601();
    void scalerThreadsGiveTheSamePicture();
    void heldPictureIsNotOverwritten();
    void refusesWrongSource();
};

void TestPictureConverter::libyuvMatchesSwscale_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addRow("1080p") << QSize(1920, 1080);
    QTest::addRow("4K") << QSize(3840, 2160);
    QTest::addRow("1366x768") << QSize(1366, 768);
}

// Same size goes through libyuv for speed; it must give the picture that
// swscale's bicubic conversion gives.
void TestPictureConverter::libyuvMatchesSwscale()
{
#ifndef ZINTORA_HAVE_LIBYUV
    QSKIP("built without libyuv");
#endif
    QFETCH(QSize, size);
    ffmpeg::FramePtr source = makeSource(size.width(), size.height());
    QVERIFY(source);
    fillDesktopLike(source.get());

    auto fast = PictureConverter::create(size.width(), size.height(), AV_PIX_FMT_BGR0, size.width(),
                                         size.height());
    auto reference = PictureConverter::create(size.width(), size.height(), AV_PIX_FMT_BGR0,
                                              size.width(), size.height(), false);
    QVERIFY(fast && reference);
    QCOMPARE(fast->method(), PictureConverter::Method::Libyuv);
    QCOMPARE(reference->method(), PictureConverter::Method::Swscale);

    ffmpeg::FramePtr fastPicture(av_frame_alloc()), referencePicture(av_frame_alloc());
    QCOMPARE(fast->convert(source.get(), fastPicture.get()), 0);
    QCOMPARE(reference->convert(source.get(), referencePicture.get()), 0);

    const double y = psnr(fastPicture.get(), referencePicture.get(), 0);
    const double u = psnr(fastPicture.get(), referencePicture.get(), 1);
    const double v = psnr(fastPicture.get(), referencePicture.get(), 2);
    qInfo("PSNR libyuv against swscale bicubic: Y %.1f dB, U %.1f dB, V %.1f dB", y, u, v);
    // Rounding differences only in luma; chroma differs by the subsampling
    // filter (2x2 box against bicubic) at edges, far below what MPEG-2 at
    // these rates loses.
    QVERIFY2(y >= 48, qPrintable(QString::number(y)));
    QVERIFY2(u >= 38, qPrintable(QString::number(u)));
    QVERIFY2(v >= 38, qPrintable(QString::number(v)));
}

void TestPictureConverter::coloursAreLimitedRangeBt601_data()
{
    QTest::addColumn<bool>("libyuv");
    QTest::addColumn<QSize>("output");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");

    struct Row
    {
        const char *name;
        QColor colour;
        int y, u, v;
    };
    // BT.601 limited range (16-235 luma, 16-240 chroma).
    const Row rows[] = {
        {"red", Qt::red, 81, 90, 240},      {"green", Qt::green, 145, 54, 34},
        {"blue", Qt::blue, 41, 240, 110},   {"white", Qt::white, 235, 128, 128},
        {"black", Qt::black, 16, 128, 128}, {"grey", QColor(128, 128, 128), 126, 128, 128}};
    for (const Row &row : rows) {
        QTest::addRow("libyuv %s", row.name)
            << true << QSize(320, 240) << row.colour << row.y << row.u << row.v;
        QTest::addRow("swscale %s", row.name)
            << false << QSize(320, 240) << row.colour << row.y << row.u << row.v;
        QTest::addRow("scaled %s", row.name)
            << true << QSize(200, 150) << row.colour << row.y << row.u << row.v;
    }
}

void TestPictureConverter::coloursAreLimitedRangeBt601()
{
    QFETCH(bool, libyuv);
    QFETCH(QSize, output);
    QFETCH(QColor, colour);
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);

    ffmpeg::FramePtr source = makeSource(320, 240);
    fill(source.get(), colour);
    auto converter = PictureConverter::create(320, 240, AV_PIX_FMT_BGR0, output.width(),
                                              output.height(), libyuv);
    QVERIFY(converter);
    ffmpeg::FramePtr picture(av_frame_alloc());
    QCOMPARE(converter->convert(source.get(), picture.get()), 0);
    QCOMPARE(picture->format, int(AV_PIX_FMT_YUV420P));
    QCOMPARE(QSize(picture->width, picture->height), output);
    const int cx = output.width() / 4, cy = output.height() / 4;
    QVERIFY2(std::abs(sample(picture.get(), 0, 2 * cx, 2 * cy) - y) <= 2,
             qPrintable(QString::number(sample(picture.get(), 0, 2 * cx, 2 * cy))));
    QVERIFY2(std::abs(sample(picture.get(), 1, cx, cy) - u) <= 2,
             qPrintable(QString::number(sample(picture.get(), 1, cx, cy))));
    QVERIFY2(std::abs(sample(picture.get(), 2, cx, cy) - v) <= 2,
             qPrintable(QString::number(sample(picture.get(), 2, cx, cy))));
}

// Scaling 4K down runs in slice threads for speed; the picture must be the
// one a single thread makes.
void TestPictureConverter::scalerThreadsGiveTheSamePicture()
{
    ffmpeg::FramePtr source = makeSource(3840, 2160);
    fillDesktopLike(source.get());
    auto automatic = PictureConverter::create(3840, 2160, AV_PIX_FMT_BGR0, 1920, 1080);
    auto single = PictureConverter::create(3840, 2160, AV_PIX_FMT_BGR0, 1920, 1080, true, 1);
    QVERIFY(automatic && single);
    QCOMPARE(automatic->method(), PictureConverter::Method::Swscale);
    QCOMPARE(automatic->threads(), std::clamp(QThread::idealThreadCount(), 1, 4));
    ffmpeg::FramePtr threaded(av_frame_alloc()), reference(av_frame_alloc());
    QCOMPARE(automatic->convert(source.get(), threaded.get()), 0);
    QCOMPARE(single->convert(source.get(), reference.get()), 0);
    for (int plane = 0; plane < 3; ++plane) {
        const double value = psnr(threaded.get(), reference.get(), plane);
        QVERIFY2(value >= 60, qPrintable(QStringLiteral("plane %1: %2 dB").arg(plane).arg(value)));
    }
}

// The encoder keeps a reference to a picture it holds back for reordering;
// the next conversion must not write into it.
void TestPictureConverter::heldPictureIsNotOverwritten()
{
    for (bool libyuv : {true, false}) {
        auto converter = PictureConverter::create(64, 64, AV_PIX_FMT_BGR0, 64, 64, libyuv);
        QVERIFY(converter);
        ffmpeg::FramePtr source = makeSource(64, 64);
        ffmpeg::FramePtr target(av_frame_alloc());
        ffmpeg::FramePtr held(av_frame_alloc());

        fill(source.get(), Qt::black);
        QCOMPARE(converter->convert(source.get(), target.get()), 0);
        QCOMPARE(av_frame_ref(held.get(), target.get()), 0);
        fill(source.get(), Qt::white);
        QCOMPARE(converter->convert(source.get(), target.get()), 0);

        QCOMPARE(sample(held.get(), 0, 10, 10), 16);
        QCOMPARE(sample(target.get(), 0, 10, 10), 235);
    }
}

void TestPictureConverter::refusesWrongSource()
{
    auto converter = PictureConverter::create(64, 64, AV_PIX_FMT_BGR0, 64, 64);
    QVERIFY(converter);
    ffmpeg::FramePtr larger = makeSource(128, 64);
    ffmpeg::FramePtr target(av_frame_alloc());
    QVERIFY(converter->convert(larger.get(), target.get()) < 0);
    QVERIFY(!PictureConverter::create(0, 64, AV_PIX_FMT_BGR0, 64, 64));
}

QTEST_APPLESS_MAIN(TestPictureConverter)
#include "tst_pictureconverter.moc"
