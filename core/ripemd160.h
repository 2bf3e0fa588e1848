#pragma once
// RIPEMD-160 message digest (160-bit output, 64-byte blocks): fingerprints
// track data, the stock bike shapes and the data root, and proves passwords.
#include <cstddef>
#include <cstdint>

struct ripemd160_ctx {
    uint32_t h[5];          // chaining words
    uint8_t digest[20];     // filled by ripemd160_final
    uint64_t length;        // message bytes so far
    uint8_t block[64];      // bytes waiting for a full block
    uint32_t block_fill;
};

void ripemd160_init(ripemd160_ctx* ctx);
void ripemd160_update(ripemd160_ctx* ctx, const void* bytes, size_t length);
void ripemd160_final(ripemd160_ctx* ctx);

// 1 when hex_text is exactly 40 hexadecimal digits (either case) naming the
// 20 digest bytes in order; 0 for anything else, a short text included.
int digest_hex_equal(const char* hex_text, const uint8_t digest[20]);
