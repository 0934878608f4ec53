// SPDX-License-Identifier: GPL-3.0-or-later
#include "videostream.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class BitWriter
{
public:
    void put(int bits, quint32 value)
    {
        while (bits-- > 0) {
            byte = quint8(byte << 1 | (value >> bits & 1));
            if (++used == 8) {
                bytes.append(char(byte));
                used = 0;
            }
        }
    }
    void startCode(int code)
    {
        if (used)
            put(8 - used, 0);
        put(24, 1);
        put(8, quint32(code));
    }
    QByteArray bytes;

private:
    quint8 byte = 0;
    int used = 0;
};

// The codes of macroblock_address_increment 1 to 33, value and length.
constexpr quint8 addressIncrement[33][2] = {
    {0x1, 1},   {0x3, 3},   {0x2, 3},   {0x3, 4},   {0x2, 4},   {0x3, 5},   {0x2, 5},
    {0x7, 7},   {0x6, 7},   {0xb, 8},   {0xa, 8},   {0x9, 8},   {0x8, 8},   {0x7, 8},
    {0x6, 8},   {0x17, 10}, {0x16, 10}, {0x15, 10}, {0x14, 10}, {0x13, 10}, {0x12, 10},
    {0x23, 11}, {0x22, 11}, {0x21, 11}, {0x20, 11}, {0x1f, 11}, {0x1e, 11}, {0x1d, 11},
    {0x1c, 11}, {0x1b, 11}, {0x1a, 11}, {0x19, 11}, {0x18, 11}};

// An MPEG-2 P-picture (progressive frame) that shows its reference picture
// unchanged: in each row's slice the first and the last macroblock are
// predicted with a zero motion vector and no coefficients (a slice must
// begin and end with a coded one), the ones between are skipped.
QByteArray skippedPicture(int width, int height)
{
    BitWriter out;
    out.startCode(0x00);
    out.put(10, 0);      // temporal_reference, set when written
    out.put(3, 2);       // picture_coding_type: P
    out.put(16, 0xffff); // vbv_delay: none, as the encoder writes it
    out.put(4, 0x7);     // full_pel_forward_vector, forward_f_code ("111" in MPEG-2)
    out.put(1, 0);       // extra_bit_picture
    out.startCode(0xb5); // picture coding extension
    out.put(4, 8);
    out.put(16, 0x11ff); // f_codes: forward 1, 1; backward unused
    out.put(2, 0);       // intra_dc_precision
    out.put(2, 3);       // picture_structure: frame
    // top_field_first 0, frame_pred_frame_dct 1, concealment_motion_vectors,
    // q_scale_type, intra_vlc_format, alternate_scan, repeat_first_field 0,
    // chroma_420_type 1, progressive_frame 1, composite_display_flag 0
    out.put(10, 0x106);
    const int columns = (width + 15) / 16;
    const auto copied = [&] { out.put(5, 0x7); }; // "MC, not coded", motion codes 0, 0
    for (int row = 0; row < (height + 15) / 16; ++row) {
        if (height > 2800) {
            out.startCode(1 + (row & 127));
            out.put(3, quint32(row >> 7)); // slice_vertical_position_extension
        } else {
            out.startCode(1 + row);
        }
        out.put(5, 1); // quantiser_scale_code, unused
        out.put(1, 0); // extra_bit_slice
        out.put(1, 1); // address increment 1: the first macroblock
        copied();
        if (columns > 1) {
            int increment = columns - 1;
            for (; increment > 33; increment -= 33)
                out.put(11, 0x8); // macroblock_escape
            out.put(addressIncrement[increment - 1][1], addressIncrement[increment - 1][0]);
            copied();
        }
    }
    out.startCode(0); // pads the last byte; the start code itself is dropped
    out.bytes.chop(4);
    return out.bytes;
}

} // namespace

VideoStream::VideoStream(AVCodecContext *encoder, Writer writer, int encodeRepeatEvery)
    : encoder(encoder), writer(std::move(writer)), encodeRepeatEvery(qMax(1, encodeRepeatEvery)),
      repeat(skippedPicture(encoder->width, encoder->height))
{
}

int VideoStream::addPicture(ffmpeg::FramePtr picture, qint64 instant)
{
    int result = repeatUntil(instant - 1);
    if (result == 0 && held)
        result = sendHeld(false);
    held = std::move(picture);
    lastCovered = instant;
    return result;
}

int VideoStream::sendHeld(bool reference)
{
    lastSent = std::move(held);
    sinceEncoded = 0;
    ++encodedNew;
    return encode(lastSent.get(), reference);
}

int VideoStream::repeatUntil(qint64 instant)
{
    if (instant <= lastCovered || (!held && !lastSent))
        return 0;
    // What is repeated must be a reference picture, for the skipped ones to copy.
    int result = held ? sendHeld(true) : 0;
    for (; result == 0 && lastCovered < instant; ++lastCovered) {
        if (++sinceEncoded >= encodeRepeatEvery) {
            sinceEncoded = 0;
            ++encodedRepeats;
            result = encode(lastSent.get(), true);
        } else if (!owed.empty() && owed.back().after == nextPts - 1) {
            ++owed.back().count;
        } else {
            owed.push_back({nextPts - 1, 1});
        }
    }
    return result != 0 ? result : writeOwedRepeats();
}

int VideoStream::finish()
{
    int result = held ? sendHeld(false) : 0;
    if (result == 0)
        result = encode(nullptr, false);
    return result != 0 ? result : writeOwedRepeats();
}

int VideoStream::encode(AVFrame *picture, bool reference)
{
    if (picture) {
        picture->pts = nextPts++;
        picture->pict_type = reference ? AV_PICTURE_TYPE_P : AV_PICTURE_TYPE_NONE;
    }
    Clock::time_point start = Clock::now();
    int result = avcodec_send_frame(encoder, picture);
    while (result >= 0) {
        result = avcodec_receive_packet(encoder, packet.get());
        if (result < 0)
            break;
        encodeMs += millisecondsSince(start);
        const int written = writePacket(packet.get());
        av_packet_unref(packet.get());
        if (written != 0)
            return written;
        start = Clock::now();
    }
    encodeMs += millisecondsSince(start);
    return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? 0 : result;
}

int VideoStream::writePacket(AVPacket *encoded)
{
    int result = av_packet_make_writable(encoded);
    if (result < 0)
        return result;
    const qint64 pts = encoded->pts;
    result = write(encoded->data, encoded->size, pts + repeatsWritten);
    if (result != 0)
        return result;
    if (pts == writtenBelow) {
        ++writtenBelow;
        while (writtenAhead.erase(writtenBelow))
            ++writtenBelow;
    } else {
        writtenAhead.insert(pts);
    }
    return writeOwedRepeats();
}

// A skipped picture may follow the picture it copies once every picture
// shown before that one is in the file.
int VideoStream::writeOwedRepeats()
{
    while (!owed.empty() && owed.front().after < writtenBelow) {
        for (; owed.front().count > 0; --owed.front().count) {
            const int result = write(reinterpret_cast<uint8_t *>(repeat.data()), int(repeat.size()),
                                     lastShown + 1);
            if (result != 0)
                return result;
            ++repeatsWritten;
        }
        owed.pop_front();
    }
    return 0;
}

// Numbers the picture in data by its place in the file (temporal_reference:
// its place in its group of pictures), so that the skipped pictures leave
// no gap or double in the numbering, then hands it to the writer.
int VideoStream::write(uint8_t *data, int size, qint64 shownAt)
{
    for (int i = 0; i + 5 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        if (data[i + 3] == 0xb8) { // group of pictures
            groupStart = lastShown + 1;
        } else if (data[i + 3] == 0x00) { // picture
            const int number = int((shownAt - groupStart) & 0x3ff);
            data[i + 4] = quint8(number >> 2);
            data[i + 5] = quint8((data[i + 5] & 0x3f) | (number & 3) << 6);
            break;
        }
    }
    lastShown = qMax(lastShown, shownAt);
    return writer(data, size) == 0 ? 0 : writeFailed;
}
