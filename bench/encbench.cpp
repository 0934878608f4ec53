// SPDX-License-Identifier: GPL-3.0-or-later
// The MPEG-2 encoder alone, fed the benchmark's moving content as the
// recorder would hand it over, as fast as it takes the pictures. For each
// options set it prints one line: CPU and wall time per picture, the bit
// rate reached and the PSNR of the decoded stream against its input.
//
//   zintora_encbench [--source WxH] [--size WxH] [--bitrate bps]
//                    [--pictures n] [--runs n] [--repeats pattern] options...
//
// The encoder is opened as the recorder opens it, slice threads included.
// Each options argument is one set in FFmpeg's key=value:key=value form,
// "recorder" for the recorder's own (the default) or "default" for none.
// --repeats takes a pattern of N (the next new picture) and R (the previous
// picture again), repeated over the run: "NR" repeats every other instant.
// Then the line also holds what coding a repeat costs against a new picture.

#include "contenttexture.h"
#include "ffmpeg.h"
#include "pictureconverter.h"
#include "videoencoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <time.h>
#include <vector>

namespace {

struct Settings
{
    int sourceWidth = 1920, sourceHeight = 1080;
    int width = 0, height = 0;
    long long bitRate = 8000000;
    int pictures = 60;
    int runs = 3;
    std::string repeats = "N";
    bool repeatsAsP = false;
};

double now(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The picture movingcontent shows at each step: the same texture, built from
// the same noise sequence for a screen of this size, scrolled the same way.
// Its pixel values are those x11grab reads back from the Xvfb (bgr0), so no
// server is needed to get the captured pictures.
class Content
{
public:
    Content(int width, int height)
        : width(width), height(height), stride((width + SCROLL_SPAN) * 4),
          texture(av_buffer_alloc(stride * (height + SCROLL_SPAN)))
    {
        if (!texture)
            return;
        uint32_t noise = 12345;
        for (int y = 0; y < height + SCROLL_SPAN; ++y) {
            auto *row = reinterpret_cast<uint32_t *>(texture->data + size_t(y) * stride);
            for (int x = 0; x < width + SCROLL_SPAN; ++x)
                row[x] = texel(x, y, &noise);
        }
    }
    bool valid() const { return texture != nullptr; }

    // A frame that refers to the texture at step k, as a grab would give it.
    void picture(int k, AVFrame *frame) const
    {
        av_frame_unref(frame);
        const int sx = (k * 7) % SCROLL_SPAN, sy = (k * 5) % SCROLL_SPAN;
        frame->buf[0] = av_buffer_ref(texture.get());
        frame->data[0] = texture->data + size_t(sy) * stride + sx * 4;
        frame->linesize[0] = stride;
        frame->width = width;
        frame->height = height;
        frame->format = AV_PIX_FMT_BGR0;
    }

private:
    struct BufferFree
    {
        void operator()(AVBufferRef *buffer) const { av_buffer_unref(&buffer); }
    };
    int width, height, stride;
    std::unique_ptr<AVBufferRef, BufferFree> texture;
};

struct Result
{
    double cpuMs = 0, wallMs = 0; // per picture
    double repeatCost = 0;        // a repeat's coding time against a new picture's
    double psnr = 0, psnrY = 0, kbps = 0;
    int threads = 1;
};

// Sum of squared differences of one plane.
double planeError(const AVFrame *a, const AVFrame *b, int plane, int w, int h)
{
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t *p = a->data[plane] + size_t(y) * a->linesize[plane];
        const uint8_t *q = b->data[plane] + size_t(y) * b->linesize[plane];
        int64_t row = 0;
        for (int x = 0; x < w; ++x)
            row += (p[x] - q[x]) * (p[x] - q[x]);
        sum += row;
    }
    return sum;
}

// I, P or B (0, 1, 2) from the statistics the encoder attaches to a packet.
int pictureType(const AVPacket *packet)
{
    size_t size = 0;
    const uint8_t *stats = av_packet_get_side_data(packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (!stats || size < 5)
        return -1;
    switch (stats[4]) {
    case AV_PICTURE_TYPE_I:
        return 0;
    case AV_PICTURE_TYPE_P:
        return 1;
    case AV_PICTURE_TYPE_B:
        return 2;
    default:
        return -1;
    }
}

double psnrOf(double squaredError, double samples)
{
    return squaredError > 0 ? 10 * std::log10(255.0 * 255.0 * samples / squaredError) : 99;
}

// One encoder run over the content; false (after a message) when the
// encoder or the options are refused.
bool encodeRun(const Settings &s, const std::string &options, const Content &content,
               PictureConverter &converter, Result &result)
{
    // The recorder's own encoder: its stream, threads and options, unless
    // the set names others.
    QString error;
    const char *chosen = options == "recorder"  ? videoEncoderOptions
                         : options == "default" ? ""
                                                : options.c_str();
    ffmpeg::CodecContextPtr enc =
        openVideoEncoder(s.width, s.height, 30, int(s.bitRate), error, chosen);
    if (!enc) {
        std::fprintf(stderr, "encbench: the encoder refused %s (%s)\n", options.c_str(),
                     qPrintable(error));
        return false;
    }
    const AVCodec *decoder = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
    ffmpeg::CodecContextPtr dec(avcodec_alloc_context3(decoder));
    ffmpeg::FramePtr grabbed(av_frame_alloc()), input(av_frame_alloc()), decoded(av_frame_alloc());
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!dec || !grabbed || !input || !decoded || !packet)
        return false;
    // One thread: a frame-threaded decoder would still be busy while the
    // next picture's encoding is timed.
    dec->thread_count = 1;
    if (avcodec_open2(dec.get(), decoder, nullptr) < 0) {
        std::fprintf(stderr, "encbench: cannot open the decoder\n");
        return false;
    }

    // The pictures handed over, in order, until the decoder gives them back.
    std::deque<ffmpeg::FramePtr> pending;
    std::vector<bool> isRepeat;
    // Coding time and count per picture type (I, P, B), new and repeated.
    double cpuMs = 0, wallMs = 0, squared[3] = {}, typeMs[2][3] = {};
    int typeCount[2][3] = {}, compared = 0;
    long long bytes = 0;
    const int cw = (s.width + 1) / 2, ch = (s.height + 1) / 2;

    auto decodeAndCompare = [&](const AVPacket *p) {
        avcodec_send_packet(dec.get(), p);
        while (avcodec_receive_frame(dec.get(), decoded.get()) >= 0) {
            if (pending.empty())
                break;
            squared[0] += planeError(decoded.get(), pending.front().get(), 0, s.width, s.height);
            squared[1] += planeError(decoded.get(), pending.front().get(), 1, cw, ch);
            squared[2] += planeError(decoded.get(), pending.front().get(), 2, cw, ch);
            pending.pop_front();
            ++compared;
        }
    };

    int next = 0;
    for (int i = 0; i <= s.pictures; ++i) {
        const bool flush = i == s.pictures;
        const bool repeat = !flush && i > 0 && s.repeats[i % s.repeats.size()] == 'R';
        if (!flush && !repeat) {
            content.picture(next++, grabbed.get());
            if (converter.convert(grabbed.get(), input.get()) < 0) {
                std::fprintf(stderr, "encbench: cannot convert the content\n");
                return false;
            }
        }
        if (!flush) {
            // A repeat is the previous picture handed over again, as the
            // recorder would: another reference to the same buffer.
            input->pts = i;
            // Both a repeat and the picture it repeats as P pictures: then
            // the repeat is predicted from its own source, never from a
            // picture two instants back across a B picture.
            const bool repeatNext =
                i + 1 < s.pictures && s.repeats[(i + 1) % s.repeats.size()] == 'R';
            input->pict_type =
                s.repeatsAsP && (repeat || repeatNext) ? AV_PICTURE_TYPE_P : AV_PICTURE_TYPE_NONE;
            pending.emplace_back(av_frame_clone(input.get()));
            if (!pending.back())
                return false;
            isRepeat.push_back(repeat);
        }
        // Each call codes at most one picture, the one whose packet it
        // returns; its time is that picture's.
        const double cpu0 = now(CLOCK_PROCESS_CPUTIME_ID), wall0 = now(CLOCK_MONOTONIC);
        int rc = avcodec_send_frame(enc.get(), flush ? nullptr : input.get());
        std::vector<ffmpeg::PacketPtr> out;
        while (rc >= 0) {
            rc = avcodec_receive_packet(enc.get(), packet.get());
            if (rc >= 0) {
                out.emplace_back(av_packet_clone(packet.get()));
                av_packet_unref(packet.get());
            }
        }
        const double cpu = now(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        wallMs += now(CLOCK_MONOTONIC) - wall0;
        cpuMs += cpu;
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
            std::fprintf(stderr, "encbench: encoding failed: %s\n",
                         qPrintable(ffmpeg::errorText(rc)));
            return false;
        }
        for (const ffmpeg::PacketPtr &p : out) {
            if (!p)
                return false;
            bytes += p->size;
            const int type = pictureType(p.get());
            if (!flush && type >= 0 && p->pts >= 0 && size_t(p->pts) < isRepeat.size()) {
                typeMs[isRepeat[p->pts]][type] += cpu;
                ++typeCount[isRepeat[p->pts]][type];
            }
            decodeAndCompare(p.get());
        }
        // The drain's packets all come from one call: nothing to attribute.
        if (flush)
            decodeAndCompare(nullptr);
    }
    if (compared != s.pictures) {
        std::fprintf(stderr, "encbench: %d pictures decoded of %d\n", compared, s.pictures);
        return false;
    }
    const double lumaSamples = double(s.width) * s.height * s.pictures;
    const double chromaSamples = double(cw) * ch * s.pictures;
    result.cpuMs = cpuMs / s.pictures;
    result.wallMs = wallMs / s.pictures;
    // A repeat against a new picture of the same type: B pictures cost more
    // than P pictures, and a pattern of repeats can fall on one type.
    double repeats = 0, sameAsNew = 0;
    for (int t = 0; t < 3; ++t) {
        if (typeCount[1][t] == 0)
            continue;
        repeats += typeMs[1][t];
        if (typeCount[0][t] > 0)
            sameAsNew += typeMs[0][t] / typeCount[0][t] * typeCount[1][t];
    }
    result.repeatCost = sameAsNew > 0 ? repeats / sameAsNew : 0;
    result.psnrY = psnrOf(squared[0], lumaSamples);
    result.psnr = psnrOf(squared[0] + squared[1] + squared[2], lumaSamples + 2 * chromaSamples);
    result.kbps = bytes * 8.0 / (s.pictures / 30.0) / 1000;
    result.threads = enc->thread_count;
    return true;
}

bool readSize(const char *text, int &w, int &h)
{
    return std::sscanf(text, "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    Settings s;
    std::vector<std::string> optionSets;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : "";
        bool ok = true;
        if (arg == "--source")
            ok = readSize(value, s.sourceWidth, s.sourceHeight);
        else if (arg == "--size")
            ok = readSize(value, s.width, s.height);
        else if (arg == "--bitrate")
            ok = (s.bitRate = std::atoll(value)) > 0;
        else if (arg == "--pictures")
            ok = (s.pictures = std::atoi(value)) > 0;
        else if (arg == "--runs")
            ok = (s.runs = std::atoi(value)) > 0;
        else if (arg == "--repeats")
            ok = !(s.repeats = value).empty() &&
                 s.repeats.find_first_not_of("NR") == std::string::npos;
        else if (arg == "--repeats-as-p") {
            s.repeatsAsP = true;
            continue;
        } else if (arg.rfind("--", 0) == 0)
            ok = false;
        else {
            optionSets.push_back(arg);
            continue;
        }
        if (!ok) {
            std::fprintf(stderr, "encbench: bad argument %s %s (see the head of encbench.cpp)\n",
                         arg.c_str(), value);
            return 2;
        }
        ++i;
    }
    if (s.width == 0) {
        s.width = s.sourceWidth;
        s.height = s.sourceHeight;
    }
    if (optionSets.empty())
        optionSets.push_back("recorder");

    const Content content(s.sourceWidth, s.sourceHeight);
    const auto converter =
        PictureConverter::create(s.sourceWidth, s.sourceHeight, AV_PIX_FMT_BGR0, s.width, s.height);
    if (!content.valid() || !converter) {
        std::fprintf(stderr, "encbench: cannot make the content\n");
        return 1;
    }

    // Run by run across the sets, so that a change in the machine's other
    // work falls on every set alike; medians, since it only ever adds time.
    // PSNR and bit rate are the same in every run.
    struct Runs
    {
        std::vector<double> cpu, wall, repeatCost;
        Result last;
        bool failed = false;
    };
    std::vector<Runs> runs(optionSets.size());
    for (int run = 0; run < s.runs; ++run) {
        for (size_t i = 0; i < optionSets.size(); ++i) {
            Runs &r = runs[i];
            if (r.failed)
                continue;
            if (!encodeRun(s, optionSets[i], content, *converter, r.last)) {
                r.failed = true;
                continue;
            }
            r.cpu.push_back(r.last.cpuMs);
            r.wall.push_back(r.last.wallMs);
            r.repeatCost.push_back(r.last.repeatCost);
        }
    }
    int failed = 0;
    for (size_t i = 0; i < optionSets.size(); ++i) {
        const Runs &r = runs[i];
        if (r.failed) {
            ++failed;
            continue;
        }
        std::printf(
            "options=%s cpu_ms=%.2f wall_ms=%.2f psnr=%.2f psnr_y=%.2f kbps=%.0f threads=%d",
            optionSets[i].c_str(), median(r.cpu), median(r.wall), r.last.psnr, r.last.psnrY,
            r.last.kbps, r.last.threads);
        if (s.repeats.find('R') != std::string::npos)
            std::printf(" repeat_cost=%.2f", median(r.repeatCost));
        std::printf("\n");
    }
    return failed ? 1 : 0;
}
