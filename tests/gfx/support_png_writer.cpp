#include "support_png_writer.h"

#include <zlib.h>

#include <cstring>

int test_png_channels(int colour_type)
{
    switch (colour_type) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
    }
}

namespace {
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

std::vector<uint8_t> compress(const std::vector<uint8_t>& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6);
    out.resize(size);
    return out;
}

// Appends the filtered (filter 0) rows of the sub-image of pixels at
// (x0 + i*dx, y0 + j*dy).
void append_pass(const test_png& png, int x0, int y0, int dx, int dy, std::vector<uint8_t>& raw)
{
    int n = test_png_channels(png.colour_type);
    for (int y = y0; y < png.height; y += dy) {
        if (x0 >= png.width) return;
        raw.push_back(0);
        uint32_t acc = 0;
        int bits = 0;
        for (int x = x0; x < png.width; x += dx) {
            for (int c = 0; c < n; c++) {
                uint16_t v = png.samples[(size_t(y) * png.width + x) * n + c];
                if (png.depth == 16) {
                    raw.push_back(uint8_t(v >> 8));
                    raw.push_back(uint8_t(v));
                } else {
                    acc = (acc << png.depth) | v;
                    bits += png.depth;
                    if (bits == 8) {
                        raw.push_back(uint8_t(acc));
                        acc = 0;
                        bits = 0;
                    }
                }
            }
        }
        if (bits) raw.push_back(uint8_t(acc << (8 - bits)));
    }
}

void text_chunks(std::vector<uint8_t>& out, const std::vector<std::string>& plain,
                 const std::vector<std::string>& zipped)
{
    for (const auto& t : plain) {
        std::vector<uint8_t> body = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
        body.insert(body.end(), t.begin(), t.end());
        auto c = test_png_chunk("tEXt", body);
        out.insert(out.end(), c.begin(), c.end());
    }
    for (const auto& t : zipped) {
        std::vector<uint8_t> body = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
        auto z = compress(std::vector<uint8_t>(t.begin(), t.end()));
        body.insert(body.end(), z.begin(), z.end());
        auto c = test_png_chunk("zTXt", body);
        out.insert(out.end(), c.begin(), c.end());
    }
}
} // namespace

std::vector<uint8_t> test_png_chunk(const char* type, const std::vector<uint8_t>& body)
{
    // Sized up front: length, type, body, CRC.
    std::vector<uint8_t> out(12 + body.size());
    uint32_t n = uint32_t(body.size());
    for (int i = 0; i < 4; i++) out[size_t(i)] = uint8_t(n >> (24 - 8 * i));
    memcpy(out.data() + 4, type, 4);
    if (n) memcpy(out.data() + 8, body.data(), n);
    uint32_t crc = uint32_t(crc32(0, out.data() + 4, uInt(n + 4)));
    for (int i = 0; i < 4; i++) out[8 + n + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
    return out;
}

std::vector<uint8_t> test_png_encode(const test_png& png)
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, uint32_t(png.width));
    put32(ihdr, uint32_t(png.height));
    ihdr.push_back(uint8_t(png.depth));
    ihdr.push_back(uint8_t(png.colour_type));
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(png.interlaced ? 1 : 0);
    auto append = [&](const std::vector<uint8_t>& c) { out.insert(out.end(), c.begin(), c.end()); };
    append(test_png_chunk("IHDR", ihdr));
    text_chunks(out, png.text_before, png.ztext_before);
    if (!png.palette.empty()) append(test_png_chunk("PLTE", png.palette));
    if (!png.trns.empty()) append(test_png_chunk("tRNS", png.trns));
    std::vector<uint8_t> raw;
    if (png.interlaced) {
        static const int passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (auto& p : passes) append_pass(png, p[0], p[1], p[2], p[3], raw);
    } else {
        append_pass(png, 0, 0, 1, 1, raw);
    }
    append(test_png_chunk("IDAT", compress(raw)));
    text_chunks(out, png.text_after, png.ztext_after);
    append(test_png_chunk("IEND", {}));
    return out;
}
