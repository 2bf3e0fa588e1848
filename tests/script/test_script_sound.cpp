// Script sounds over a readback audio back end (no device needed).
#include <cmath>
#include <string>

#include "game/startup.h"
#include "platform/vesk_audio.h"
#include "platform/vesk_mixer.h"
#include "script/script_sound.h"
#include "script_fixture.h"

namespace {

struct sounds : script_fixture {
    void SetUp() override
    {
        script_fixture::SetUp();
        main_audio = vesk_audio_open_readback(22050);
    }
    void TearDown() override
    {
        script_sounds_release();
        vesk_audio_close(main_audio);
        main_audio = nullptr;
        script_fixture::TearDown();
    }
};

TEST_F(sounds, samples_are_the_high_bytes_with_the_top_bit_flipped)
{
    // Little-endian 0x8000 (most negative), 0x7fff, then a lone byte.
    write_data_file("s3.raw", std::string("\x00\x80\xff\x7f\x11", 5));
    write_data_file("three.raw", std::string("\x34\x12\x99", 3));
    write_data_file("empty.raw", "");
    write_data_file("one.raw", "x");
    int32_t a = script_sound_add("@s3.raw");
    ASSERT_EQ(a, 0);
    const vesk_sound_data* d = script_sounds[a].voice->data;
    ASSERT_EQ(d->length, 2);
    EXPECT_EQ(d->samples[0], 0x00);
    EXPECT_EQ(d->samples[1], 0xff);
    int32_t b = script_sound_add("@three.raw");
    ASSERT_EQ(b, 1);
    EXPECT_EQ(script_sounds[b].voice->data->length, 1);  // 3 bytes: one sample
    EXPECT_EQ(script_sounds[b].voice->data->samples[0], 0x92);
    EXPECT_EQ(script_sound_add("@empty.raw"), -1);
    EXPECT_EQ(script_sound_add("@one.raw"), -1);
    EXPECT_EQ(script_sound_add("@none.raw"), -1);
    EXPECT_EQ(script_sound_count, 2);
    EXPECT_EQ(script_sounds[a].voice->rate, 100);  // made at the update's floor, never 0
    EXPECT_EQ(script_sounds[a].voice->volume, 0);
}

TEST_F(sounds, a_long_file_reads_whole)
{
    std::string bytes(2 * 300000, '\0');
    for (size_t i = 1; i < bytes.size(); i += 2) bytes[i] = char(i / 2 % 256);
    write_data_file("long.raw", bytes);
    int32_t s = script_sound_add("@long.raw");
    ASSERT_EQ(s, 0);
    const vesk_sound_data* d = script_sounds[s].voice->data;
    ASSERT_EQ(d->length, 300000);
    EXPECT_EQ(d->samples[299999], uint8_t((299999 % 256) ^ 0x80));
}

TEST_F(sounds, the_same_file_twice_is_read_once_and_the_table_is_bounded)
{
    write_data_file("c.raw", std::string(64, '\x40'));
    ASSERT_EQ(script_sound_add("@c.raw"), 0);
    std::remove((tmp + "/data/c.raw").c_str());
    ASSERT_EQ(script_sound_add("@c.raw"), 1);  // the file is gone: a duplicate
    EXPECT_EQ(script_sounds[0].voice->data, script_sounds[1].voice->data);
    EXPECT_NE(script_sounds[0].voice, script_sounds[1].voice);
    EXPECT_EQ(script_sound_set_vol(1, 0.5f), 1);
    EXPECT_EQ(script_sounds[0].volume, 0.0f);
    while (script_sound_count < script_sound_limit) ASSERT_GE(script_sound_add("@c.raw"), 0);
    EXPECT_EQ(script_sound_add("@c.raw"), -1);  // the 4097th
    script_sounds_release();
    EXPECT_EQ(script_sound_count, 0);
}

TEST_F(sounds, controls_refuse_bad_indices)
{
    write_data_file("c.raw", std::string(64, '\x40'));
    ASSERT_EQ(script_sound_add("@c.raw"), 0);
    struct row {
        const char* what;
        int got, expected;
    } rows[] = {
        {"set_sound_vol(-1, 1)", script_sound_set_vol(-1, 1), 0},
        {"set_sound_freq(1, 1)", script_sound_set_freq(1, 1), 0},
        {"set_sound_pos(0, ...)", script_sound_set_pos(0, 1, 2, 3), 1},
        {"set_sound_vel(5, ...)", script_sound_set_vel(5, 1, 2, 3), 0},
        {"start_sound(0)", script_sound_start(0), 1},
        {"stop_sound(0)", script_sound_stop(0), 1},
        {"start_sound(1)", script_sound_start(1), 0},
        {"set_sound_loop(0, 1)", script_sound_set_loop(0, 1), 1},
        {"set_sound_loop(-7, 1)", script_sound_set_loop(-7, 1), 0},
    };
    for (const row& r : rows) EXPECT_EQ(r.got, r.expected) << r.what;
    EXPECT_EQ(script_sounds[0].voice->loop, 1);
    EXPECT_EQ(script_sounds[0].position[2], 3.0f);
}

float no_shift(const float*, const float*) { return 1.0f; }
float octave_up(const float*, const float*) { return 2.0f; }

TEST_F(sounds, settings_from_distance_direction_and_doppler)
{
    script_sound_listener l = {{0, 0, 0}, {1, 0, 0}, 1.0f, no_shift};
    struct row {
        const char* what;
        float pos[3];
        float freq, volume, level;
        float (*doppler)(const float*, const float*);
        int rate, gain, pan;
    } rows[] = {
        // At the listener: full volume, centred.
        {"at the listener", {0, 0, 0}, 22050, 1, 1, no_shift, 22050, 32767, 0},
        // 49 ft away: 1 / (1 + 48/48) = half; to the right pans right.
        {"49 ft to the right", {49, 0, 0}, 22050, 1, 1, no_shift, 22050, 16383, 32767},
        {"49 ft to the left", {-49, 0, 0}, 22050, 1, 1, no_shift, 22050, 16383, -32767},
        // Straight ahead: no side component.
        {"ahead", {0, 0, -10}, 22050, 1, 1, no_shift, 22050, int(32767 / (1 + 9 / 48.0f)), 0},
        {"a frequency never set plays at the floor", {0, 0, 0}, 0, 1, 1, no_shift, 100, 32767, 0},
        {"the Doppler factor scales the rate", {0, 0, 0}, 22050, 1, 1, octave_up, 44100, 32767, 0},
        {"the rate is capped", {0, 0, 0}, 900000, 1, 1, octave_up, 1000000, 32767, 0},
        {"volume over 1 clamps before the level", {0, 0, 0}, 100, 4, 0.25f, no_shift, 100, 8191, 0},
        {"negative volume is silent", {0, 0, 0}, 100, -1, 1, no_shift, 100, 0, 0},
        {"NaN everything", {NAN, NAN, NAN}, NAN, NAN, 1, no_shift, 100, 0, 0},
        {"a source at infinity", {INFINITY, 0, 0}, 100, 1, 1, no_shift, 100, 0, 0},
    };
    for (const row& r : rows) {
        script_sound s = {};
        for (int k = 0; k < 3; k++) s.position[k] = r.pos[k];
        s.frequency = r.freq;
        s.volume = r.volume;
        l.level = r.level;
        l.doppler = r.doppler;
        int rate, gain, pan;
        script_sound_settings(s, l, &rate, &gain, &pan);
        EXPECT_EQ(rate, r.rate) << r.what;
        EXPECT_EQ(gain, r.gain) << r.what;
        EXPECT_EQ(pan, r.pan) << r.what;
    }
}

}  // namespace
