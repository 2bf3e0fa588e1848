// The pipe shape of an engine sound's resonator. The expected delays are the
// built-in engines' published tap tables (four-stroke: a 5-ft pipe spread
// over 0.918 ft; two-stroke: 1.75 ft over 0.3 ft), not a retyped formula.
#include <gtest/gtest.h>

#include "physics/engine_pipe.h"

namespace {

engine_pipe filled(int32_t offset, float gain)
{
    engine_pipe p;
    for (int k = 0; k < engine_pipe_taps; k++) {
        p.tap_offset[k] = offset;
        p.tap_gain[k] = gain;
    }
    return p;
}

TEST(PipeShape, WholeBankShapesGiveTheBuiltInEngines)
{
    struct row {
        const char* engine;
        float length, spread, reflection;
        int delays[16];
        float gain;
    } rows[] = {
        {"four-stroke", 5.0f, 0.91820717f, -0.85f,
         {386, 382, 377, 373, 368, 363, 359, 354, 349, 345, 340, 335, 330, 325, 320, 315}, -0.053125f},
        {"two-stroke", 1.75f, 0.3f, -0.75f,
         {135, 133, 132, 130, 129, 127, 126, 124, 123, 121, 120, 118, 116, 115, 113, 112}, -0.046875f},
    };
    for (const row& r : rows) {
        engine_pipe p = filled(0, 0.0f);
        set_pipe_shape(&p, r.length, r.spread, r.reflection, 0, 15);
        for (int k = 0; k < engine_pipe_taps; k++) {
            EXPECT_EQ(engine_pipe_ring - p.tap_offset[k], r.delays[k]) << r.engine << " tap " << k;
            EXPECT_FLOAT_EQ(p.tap_gain[k], r.gain) << r.engine << " tap " << k;
        }
    }
}

TEST(PipeShape, OneTapTakesThePlainLengthAndTheOthersKeepTheirValues)
{
    struct row {
        int first, last, tap;
    } rows[] = {
        {4, 4, 4},    // one tap
        {9, 2, 9},    // last before first: tap first alone
        {-3, -1, 0},  // clamped to tap 0
        {20, 30, 15}, // clamped to tap 15
    };
    for (const row& r : rows) {
        engine_pipe p = filled(12345, 0.25f);
        set_pipe_shape(&p, 3.0f, 1.0f, -0.5f, r.first, r.last);
        // 3 ft of pipe: 6 ft of round trip at 1140.6 ft/s is 231.98 samples
        // at 44.1 kHz, cut to whole samples.
        for (int k = 0; k < engine_pipe_taps; k++) {
            if (k == r.tap) {
                EXPECT_EQ(engine_pipe_ring - p.tap_offset[k], 231) << r.first << ".." << r.last;
                EXPECT_FLOAT_EQ(p.tap_gain[k], -0.5f);
            } else {
                EXPECT_EQ(p.tap_offset[k], 12345) << "tap " << k << " of " << r.first << ".." << r.last;
                EXPECT_FLOAT_EQ(p.tap_gain[k], 0.25f);
            }
        }
    }
}

TEST(PipeShape, APartialRangeSpreadsOverItsOwnTapsOnly)
{
    // Taps 8..11 (n = 4) of a 2-ft pipe with a 4-ft spread: the spread is
    // capped at the length, so the taps are 0.5 ft apart plus the square
    // term (k/3)^2 * 0.5 ft: 2, 1.444, 0.778, 0 ft of delay left, each a
    // round trip at the speed of sound (1140.6 ft/s) sampled at 44.1 kHz.
    engine_pipe p = filled(7, 0.5f);
    set_pipe_shape(&p, 2.0f, 4.0f, 1.0f, 8, 11);
    const double feet[4] = {2.0, 2.0 - (1.0 / 9.0 + 1.0) * 0.5, 2.0 - (4.0 / 9.0 + 2.0) * 0.5, 0.0};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(engine_pipe_ring - p.tap_offset[8 + k], (int)(2.0 * feet[k] / 1140.6 * 44100.0)) << k;
        EXPECT_FLOAT_EQ(p.tap_gain[8 + k], 0.25f);
    }
    EXPECT_EQ(p.tap_offset[7], 7);
    EXPECT_EQ(p.tap_offset[12], 7);
}

}  // namespace
