// The software mixer, checked sample by sample through readback and through
// a stereo mixer fed directly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/vesk_mixer.h"

namespace {

// What a full-volume voice at the output rate gives for one sample value.
int expected(int sample, int gain) { return ((sample - 128) * 256 * gain) >> 15; }

struct readback : ::testing::Test {
    vesk_audio* audio = vesk_audio_open_readback(1000);
    ~readback() override { vesk_audio_close(audio); }
    std::vector<int16_t> read(int n)
    {
        std::vector<int16_t> out(size_t(n), 12345);
        EXPECT_EQ(vesk_audio_readback(audio, out.data(), n), n);
        return out;
    }
};

TEST_F(readback, silence_without_voices_and_stopped_voices)
{
    uint8_t loud[4] = {255, 255, 255, 255};
    vesk_sound* v = vesk_sound_new(audio, 4, loud, 1000);
    ASSERT_NE(v, nullptr);
    for (int16_t s : read(10)) EXPECT_EQ(s, 0);
    vesk_sound_free(v);
}

TEST_F(readback, same_rate_voice_plays_its_samples_scaled_by_volume)
{
    const uint8_t samples[] = {128, 255, 0, 192, 64};
    vesk_sound* v = vesk_sound_new(audio, 5, samples, 1000);
    vesk_sound_set_volume(v, 16384);
    vesk_sound_play(v);
    std::vector<int16_t> out = read(8);
    for (int i = 0; i < 5; i++) EXPECT_EQ(out[i], expected(samples[i], 16384)) << i;
    // Without looping the voice ends and stays silent.
    for (int i = 5; i < 8; i++) EXPECT_EQ(out[i], 0) << i;
    EXPECT_EQ(vesk_sound_get_position(v), 0);
    vesk_sound_free(v);
}

TEST_F(readback, half_rate_interpolates_between_samples)
{
    const uint8_t samples[] = {128, 192, 128, 128};
    vesk_sound* v = vesk_sound_new(audio, 4, samples, 500);
    vesk_sound_play(v);
    std::vector<int16_t> out = read(4);
    // 0, halfway to 64*256, 64*256, halfway back (at full volume 32767/32768).
    EXPECT_EQ(out[0], 0);
    EXPECT_NEAR(out[1], 64 * 128, 2);
    EXPECT_NEAR(out[2], 64 * 256, 2);
    EXPECT_NEAR(out[3], 64 * 128, 2);
    vesk_sound_free(v);
}

TEST_F(readback, loop_ring_wraps_and_writes_wrap_too)
{
    uint8_t ring[8];
    for (int i = 0; i < 8; i++) ring[i] = uint8_t(128 + 10 * i);
    vesk_sound* v = vesk_sound_new(audio, 8, ring, 1000);
    vesk_sound_set_loop(v, 1);
    vesk_sound_play(v);
    std::vector<int16_t> out = read(20);
    for (int i = 0; i < 20; i++) EXPECT_EQ(out[i], expected(128 + 10 * (i % 8), 32767)) << i;
    EXPECT_EQ(vesk_sound_get_position(v), 20 % 8);
    // A write from offset 6 of 4 bytes fills 6, 7, 0, 1.
    const uint8_t patch[] = {200, 201, 202, 203};
    vesk_sound_write(v, 4, patch, 6);
    vesk_sound_play(v);
    out = read(8);
    EXPECT_EQ(out[0], expected(202, 32767));
    EXPECT_EQ(out[1], expected(203, 32767));
    EXPECT_EQ(out[2], expected(148, 32767));
    EXPECT_EQ(out[6], expected(200, 32767));
    EXPECT_EQ(out[7], expected(201, 32767));
    // An over-long write keeps its last bytes at their ring places, even from
    // an offset near the largest int.
    uint8_t twelve[12];
    for (int i = 0; i < 12; i++) twelve[i] = uint8_t(i);
    EXPECT_EQ(vesk_sound_write(v, 12, twelve, 2147483645), 1);
    for (int k = 0; k < 8; k++) EXPECT_EQ(v->data->samples[(2147483649LL + k) % 8], twelve[4 + k]) << k;
    vesk_sound_free(v);
}

TEST_F(readback, duplicates_share_data_but_not_settings)
{
    uint8_t data[4] = {128, 128, 128, 128};
    vesk_sound* a = vesk_sound_new(audio, 4, data, 1000);
    vesk_sound* b = vesk_sound_dup(a);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->data, b->data);
    uint8_t high[4] = {228, 228, 228, 228};
    vesk_sound_write(a, 4, high, 0);
    vesk_sound_set_volume(a, 0);
    vesk_sound_play(a);
    vesk_sound_play(b);
    std::vector<int16_t> out = read(2);
    EXPECT_EQ(out[0], expected(228, 32767));  // only b is heard, with a's samples
    // Freeing the original leaves the duplicate's samples alive.
    vesk_sound_free(a);
    vesk_sound_play(b);
    out = read(2);
    EXPECT_EQ(out[1], expected(228, 32767));
    vesk_sound_free(b);
}

TEST_F(readback, yields_exactly_rate_times_seconds_and_voice_keeps_its_rate)
{
    vesk_audio* capture = vesk_audio_open_readback(88320);
    std::vector<uint8_t> data(32768, 128);
    vesk_sound* v = vesk_sound_new(capture, 32768, data.data(), 44100);
    vesk_sound_set_loop(v, 1);
    vesk_sound_play(v);
    int16_t block[690];
    long total = 0;
    for (int tic = 0; tic < 128 * 3; tic++) total += vesk_audio_readback(capture, block, 690);
    EXPECT_EQ(total, 88320L * 3);
    // 3 s at 44100 Hz is 132300 samples: 132300 mod 32768 = 1228, no drift.
    EXPECT_EQ(vesk_sound_get_position(v), 132300 % 32768);
    vesk_audio_close(capture);
    vesk_sound_free(v);
}

// Voices belong to whoever made them; the audio only lists them. Closing the
// audio first or last must leave every later call on a voice sound (the
// sanitizer build turns any use of a freed voice or record into a failure,
// and its leak check any voice nobody frees).
TEST(audio_shutdown, voices_outlive_or_predecease_their_audio)
{
    uint8_t data[4] = {200, 200, 200, 200};
    for (bool audio_first : {true, false}) {
        SCOPED_TRACE(audio_first ? "audio closed first" : "voices freed first");
        vesk_audio* audio = vesk_audio_open_readback(1000);
        vesk_sound* a = vesk_sound_new(audio, 4, data, 1000);
        vesk_sound* b = vesk_sound_dup(a);
        ASSERT_TRUE(a && b);
        vesk_sound_play(a);
        int16_t out[2];
        ASSERT_EQ(vesk_audio_readback(audio, out, 2), 2);
        EXPECT_EQ(out[0], expected(200, 32767));
        if (audio_first) {
            vesk_audio_close(audio);
            // The voices are inert now, and say so.
            EXPECT_EQ(vesk_sound_play(a), 0);
            EXPECT_EQ(vesk_sound_set_volume(b, 100), 0);
            EXPECT_EQ(vesk_sound_write(a, 4, data, 0), 0);
            EXPECT_EQ(vesk_sound_dup(b), nullptr);
            EXPECT_EQ(a->data, b->data) << "the shared samples stay until both are freed";
            EXPECT_EQ(a->data->samples[3], 200);
            vesk_sound_free(a);
            EXPECT_EQ(b->data->samples[3], 200);
            vesk_sound_free(b);
        } else {
            vesk_sound_free(b);
            vesk_sound_free(a);
            EXPECT_EQ(audio->voice_count, 0);
            vesk_audio_close(audio);
        }
    }
}

TEST_F(readback, rates_and_volumes_clamp_to_their_ranges)
{
    uint8_t data[2] = {128, 128};
    vesk_sound* v = vesk_sound_new(audio, 2, data, 0);
    EXPECT_EQ(v->rate, 100);
    vesk_sound_set_rate(v, 5000000);
    EXPECT_EQ(v->rate, 1000000);
    vesk_sound_set_volume(v, -5);
    EXPECT_EQ(v->volume, 0);
    vesk_sound_set_pan(v, 99999);
    EXPECT_EQ(v->pan, 32767);
    EXPECT_EQ(vesk_sound_new(audio, 0, data, 100), nullptr);
    EXPECT_EQ(vesk_sound_new(nullptr, 2, data, 100), nullptr);
    EXPECT_EQ(vesk_sound_play(nullptr), 0);
    EXPECT_EQ(vesk_sound_write(nullptr, 1, data, 0), 0);
    vesk_sound_free(v);
}

struct stereo : ::testing::Test {
    vesk_audio* audio = vesk_audio_new(vesk_audio_kind_device, 44100, 2);
    ~stereo() override { vesk_audio_delete(audio); }
    std::vector<int16_t> mix(int frames)
    {
        std::vector<int16_t> out(size_t(frames) * 2);
        std::lock_guard<std::mutex> lock(audio->lock);
        vesk_mix(audio, out.data(), frames);
        return out;
    }
};

TEST_F(stereo, pan_moves_the_voice_between_channels)
{
    uint8_t data[4] = {228, 228, 228, 228};
    vesk_sound* v = vesk_sound_new(audio, 4, data, 44100);
    vesk_sound_set_loop(v, 1);
    vesk_sound_play(v);
    struct {
        int pan, left, right;
    } cases[] = {
        {0, 32767, 32767},
        {-32768, 32767, 0},
        {32767, 0, 32767},
        {16384, 16383, 32767},
        {-16384, 32767, 16384},
    };
    for (auto& c : cases) {
        vesk_sound_set_pan(v, c.pan);
        std::vector<int16_t> out = mix(2);
        EXPECT_NEAR(out[0], expected(228, c.left), 1) << c.pan;
        EXPECT_NEAR(out[1], expected(228, c.right), 1) << c.pan;
    }
    vesk_sound_free(v);
}

TEST_F(stereo, many_loud_voices_saturate_without_wrapping)
{
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); i++) data[i] = i % 2 ? 255 : 0;
    std::vector<vesk_sound*> voices;
    for (int i = 0; i < 160; i++) {
        vesk_sound* v = vesk_sound_new(audio, 64, data.data(), 44100);
        vesk_sound_set_loop(v, 1);
        vesk_sound_play(v);
        voices.push_back(v);
    }
    std::vector<int16_t> out = mix(64);
    for (int i = 0; i < 64; i++) {
        int16_t want = i % 2 ? 32767 : -32768;
        EXPECT_EQ(out[2 * i], want) << i;
        EXPECT_EQ(out[2 * i + 1], want) << i;
    }
    for (vesk_sound* v : voices) vesk_sound_free(v);
    EXPECT_EQ(audio->voice_count, 0);
}

TEST_F(stereo, silent_voice_keeps_time)
{
    std::vector<uint8_t> data(1000, 128);
    vesk_sound* a = vesk_sound_new(audio, 1000, data.data(), 30000);
    vesk_sound* b = vesk_sound_dup(a);
    vesk_sound_set_rate(b, 30000);
    vesk_sound_set_volume(a, 0);
    vesk_sound_set_loop(a, 1);
    vesk_sound_set_loop(b, 1);
    vesk_sound_play(a);
    vesk_sound_play(b);
    mix(1000);
    EXPECT_EQ(vesk_sound_get_position(a), vesk_sound_get_position(b));
    EXPECT_EQ(a->fraction, b->fraction);
    vesk_sound_free(a);
    vesk_sound_free(b);
}

TEST(sound_device, opens_on_the_dummy_driver_and_plays)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    vesk_audio* audio = vesk_audio_open();
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->channels, 2);
    EXPECT_EQ(audio->rate, 22050);
    uint8_t data[4] = {128, 128, 128, 128};
    vesk_sound* v = vesk_sound_new(audio, 4, data, 22050);
    EXPECT_EQ(vesk_sound_play(v), 1);
    vesk_audio_update(audio);
    int16_t none[4];
    EXPECT_EQ(vesk_audio_readback(audio, none, 4), 0);
    vesk_sound_free(v);
    vesk_audio_close(audio);
}

}  // namespace
