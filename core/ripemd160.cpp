#include "core/ripemd160.h"

#include <cstring>

namespace {

inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t f(int j, uint32_t x, uint32_t y, uint32_t z)
{
    switch (j >> 4) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    case 3: return (x & z) | (y & ~z);
    default: return x ^ (y | ~z);
    }
}

const uint32_t k_left[5] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xA953FD4E};
const uint32_t k_right[5] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9, 0x00000000};

const uint8_t r_left[80] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    7, 4, 13, 1, 10, 6, 15, 3, 12, 0, 9, 5, 2, 14, 11, 8,
    3, 10, 14, 4, 9, 15, 8, 1, 2, 7, 0, 6, 13, 11, 5, 12,
    1, 9, 11, 10, 0, 8, 12, 4, 13, 3, 7, 15, 14, 5, 6, 2,
    4, 0, 5, 9, 7, 12, 2, 10, 14, 1, 3, 8, 11, 6, 15, 13};
const uint8_t r_right[80] = {
    5, 14, 7, 0, 9, 2, 11, 4, 13, 6, 15, 8, 1, 10, 3, 12,
    6, 11, 3, 7, 0, 13, 5, 10, 14, 15, 8, 12, 4, 9, 1, 2,
    15, 5, 1, 3, 7, 14, 6, 9, 11, 8, 12, 2, 10, 0, 4, 13,
    8, 6, 4, 1, 3, 11, 15, 0, 5, 12, 2, 13, 9, 7, 10, 14,
    12, 15, 10, 4, 1, 5, 8, 7, 6, 2, 13, 14, 0, 3, 9, 11};
const uint8_t s_left[80] = {
    11, 14, 15, 12, 5, 8, 7, 9, 11, 13, 14, 15, 6, 7, 9, 8,
    7, 6, 8, 13, 11, 9, 7, 15, 7, 12, 15, 9, 11, 7, 13, 12,
    11, 13, 6, 7, 14, 9, 13, 15, 14, 8, 13, 6, 5, 12, 7, 5,
    11, 12, 14, 15, 14, 15, 9, 8, 9, 14, 5, 6, 8, 6, 5, 12,
    9, 15, 5, 11, 6, 8, 13, 12, 5, 12, 13, 14, 11, 8, 5, 6};
const uint8_t s_right[80] = {
    8, 9, 9, 11, 13, 15, 15, 5, 7, 7, 8, 11, 14, 14, 12, 6,
    9, 13, 15, 7, 12, 8, 9, 11, 7, 7, 12, 7, 6, 15, 13, 11,
    9, 7, 15, 11, 8, 6, 6, 14, 12, 13, 5, 14, 13, 13, 7, 5,
    15, 5, 8, 11, 14, 14, 6, 14, 6, 9, 12, 9, 12, 5, 15, 8,
    8, 5, 12, 9, 12, 5, 14, 6, 8, 13, 6, 5, 15, 13, 11, 11};

void compress(uint32_t h[5], const uint8_t* block)
{
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 |
               uint32_t(block[4 * i + 2]) << 16 | uint32_t(block[4 * i + 3]) << 24;

    uint32_t al = h[0], bl = h[1], cl = h[2], dl = h[3], el = h[4];
    uint32_t ar = h[0], br = h[1], cr = h[2], dr = h[3], er = h[4];
    for (int j = 0; j < 80; j++) {
        uint32_t t = rol(al + f(j, bl, cl, dl) + x[r_left[j]] + k_left[j >> 4], s_left[j]) + el;
        al = el; el = dl; dl = rol(cl, 10); cl = bl; bl = t;
        t = rol(ar + f(79 - j, br, cr, dr) + x[r_right[j]] + k_right[j >> 4], s_right[j]) + er;
        ar = er; er = dr; dr = rol(cr, 10); cr = br; br = t;
    }
    uint32_t t = h[1] + cl + dr;
    h[1] = h[2] + dl + er;
    h[2] = h[3] + el + ar;
    h[3] = h[4] + al + br;
    h[4] = h[0] + bl + cr;
    h[0] = t;
}

int hex_value(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

void ripemd160_init(ripemd160_ctx* ctx)
{
    ctx->h[0] = 0x67452301;
    ctx->h[1] = 0xEFCDAB89;
    ctx->h[2] = 0x98BADCFE;
    ctx->h[3] = 0x10325476;
    ctx->h[4] = 0xC3D2E1F0;
    memset(ctx->digest, 0, sizeof ctx->digest);
    ctx->length = 0;
    ctx->block_fill = 0;
}

void ripemd160_update(ripemd160_ctx* ctx, const void* bytes, size_t length)
{
    // Nothing to add; bytes may then be null, which memcpy must never see.
    if (length == 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    ctx->length += length;
    if (ctx->block_fill) {
        size_t take = 64 - ctx->block_fill;
        if (take > length) take = length;
        memcpy(ctx->block + ctx->block_fill, p, take);
        ctx->block_fill += uint32_t(take);
        p += take;
        length -= take;
        if (ctx->block_fill < 64) return;
        compress(ctx->h, ctx->block);
        ctx->block_fill = 0;
    }
    for (; length >= 64; p += 64, length -= 64)
        compress(ctx->h, p);
    memcpy(ctx->block, p, length);
    ctx->block_fill = uint32_t(length);
}

void ripemd160_final(ripemd160_ctx* ctx)
{
    uint64_t bits = ctx->length * 8;
    uint32_t n = ctx->block_fill;
    ctx->block[n++] = 0x80;
    if (n > 56) {
        memset(ctx->block + n, 0, 64 - n);
        compress(ctx->h, ctx->block);
        n = 0;
    }
    memset(ctx->block + n, 0, 56 - n);
    for (int i = 0; i < 8; i++)
        ctx->block[56 + i] = uint8_t(bits >> (8 * i));
    compress(ctx->h, ctx->block);
    ctx->block_fill = 0;
    for (int i = 0; i < 5; i++)
        for (int b = 0; b < 4; b++)
            ctx->digest[4 * i + b] = uint8_t(ctx->h[i] >> (8 * b));
}

int digest_hex_equal(const char* hex_text, const uint8_t digest[20])
{
    if (!hex_text) return 0;
    for (int i = 0; i < 20; i++) {
        int hi = hex_value(static_cast<unsigned char>(hex_text[2 * i]));
        if (hi < 0) return 0;
        int lo = hex_value(static_cast<unsigned char>(hex_text[2 * i + 1]));
        if (lo < 0 || ((hi << 4) | lo) != digest[i]) return 0;
    }
    return hex_text[40] == '\0';
}
