#include <gtest/gtest.h>

#include "core/alloc.h"
#include "gfx/number_plate.h"
#include "gfx/pixel_buffer.h"

namespace {

const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};

struct ink {
    int count = 0, min_x = 1 << 30, max_x = -1;
};

// Digit-coloured pixels inside the border.
ink ink_of(const char* number)
{
    uint8_t* p = number_plate_build(number, white, black);
    ink k;
    for (int y = 2; y < NUMBER_PLATE_HEIGHT - 2; y++)
        for (int x = 2; x < NUMBER_PLATE_WIDTH - 2; x++)
            if (p[(y * NUMBER_PLATE_WIDTH + x) * 3] == 0) {
                k.count++;
                k.min_x = std::min(k.min_x, x);
                k.max_x = std::max(k.max_x, x);
            }
    alloc_check_free(p);
    return k;
}

TEST(NumberPlate, DigitsCentredOnThePlate)
{
    EXPECT_EQ(ink_of("").count, 0);
    EXPECT_EQ(ink_of(nullptr).count, 0);
    EXPECT_EQ(ink_of("x#").count, 0);  // only digits are drawn
    ink one = ink_of("1"), eight = ink_of("8");
    EXPECT_GT(eight.count, one.count);
    ink wide = ink_of("888");
    EXPECT_EQ(wide.count, 3 * eight.count);
    // Centred: the margins left and right differ by at most a scaled pixel.
    EXPECT_NEAR(wide.min_x, NUMBER_PLATE_WIDTH - 1 - wide.max_x, 4);
    EXPECT_EQ(ink_of("8888").count, wide.count);  // three characters at most
}

TEST(NumberPlate, BorderAndChain)
{
    const uint8_t red[3] = {200, 0, 0}, blue[3] = {0, 0, 200};
    uint8_t* p = number_plate_build("5", red, blue);
    EXPECT_EQ(p[2], 200);  // the corner is border: digit colour
    EXPECT_EQ(p[(10 * NUMBER_PLATE_WIDTH + 10) * 3], 200);  // inside: background
    // The chain's last level is a mix of both colours.
    const uint8_t* last = p + (mip_chain_bytes(NUMBER_PLATE_WIDTH, NUMBER_PLATE_HEIGHT, 3) - 3);
    EXPECT_GT(last[0], 0);
    EXPECT_GT(last[2], 0);
    alloc_check_free(p);
}

} // namespace
