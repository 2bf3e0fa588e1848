// Engine sound: templates, ".braap" keys and their fallback, the sound-table
// reader, the synthesis (pitch, write-ahead, grains) and the voice placement.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "game/startup.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "platform/vesk_audio.h"
#include "ui/engine_sound.h"
#include "ui/settings.h"
#include "ui_test_roots.h"

namespace {

class engine_sound_test : public ui_roots_test {
protected:
    std::unique_ptr<engine_sound> rec{new engine_sound()};
    void TearDown() override
    {
        if (rec->voice) vesk_sound_free(rec->voice);
        if (main_audio) vesk_audio_close(main_audio);
        main_audio = nullptr;
        engine_sounds_free();
        // Riders, then the program's world some cases create: a world left
        // alive would take the riders of later tests in this process.
        for (rider& r : rider_records)
            if (r.frame_body) rider_destroy(&r);
        physics_world_destroy();
        ui_roots_test::TearDown();
    }
    int delay(int tap) const { return engine_ring_size - rec->pipe.tap_offset[tap]; }
};

// ---- Templates and keys -----------------------------------------------------------

TEST_F(engine_sound_test, the_class_chooses_the_template)
{
    struct row {
        const char* bike_class;
        float firing_factor, low, high;
        const char* table;
        int first_delay;
    };
    const row cases[] = {
        {"250f", 0.5f, -2.5f, 2.5f, "default_four_stroke", 386},
        {"450f", 0.5f, -2.5f, 2.5f, "default_four_stroke", 386},
        {"50", 1.0f, -3.5f, 1.5f, "default_two_stroke", 135},
        {"125", 1.0f, -3.5f, 3.5f, "default_two_stroke", 135},
        {"250", 1.0f, -3.5f, 3.5f, "default_two_stroke", 135},
        {nullptr, 0.5f, -2.5f, 2.5f, "default_four_stroke", 386},
    };
    for (const row& c : cases) {
        engine_sound_use_template(rec.get(), c.bike_class);
        const char* name = c.bike_class ? c.bike_class : "(no rider)";
        EXPECT_EQ(rec->firing_factor, c.firing_factor) << name;
        EXPECT_EQ(rec->low_torque, c.low) << name;
        EXPECT_EQ(rec->high_torque, c.high) << name;
        EXPECT_EQ(rec->min_rpm, 1000) << name;
        EXPECT_STREQ(rec->table->name, c.table) << name;
        EXPECT_EQ(delay(0), c.first_delay) << name;
        EXPECT_EQ(rec->bias_count, 1);
        EXPECT_EQ(rec->scale[0], 1);
    }
}

TEST_F(engine_sound_test, the_builtin_tables_follow_their_formulas)
{
    const sound_table* four = sound_table_find("default_four_stroke");
    const sound_table* two = sound_table_find("default_two_stroke");
    ASSERT_TRUE(four && two);
    for (const sound_table* t : {four, two}) {
        ASSERT_EQ(t->rows, 1);
        ASSERT_EQ(t->columns, 2);
        EXPECT_EQ(t->cells[0].column_key, 0);
        EXPECT_EQ(t->cells[1].column_key, 1);
        EXPECT_EQ(t->cells[1].count, 1024);
        for (int i = 0; i < 1024; i += 97) EXPECT_FLOAT_EQ(t->cells[0].samples[i], 0.25f * t->cells[1].samples[i]);
    }
    // Sample 32: d = 32/1023 < 1/4. Two-stroke (1 - 4d) sin(8 pi d).
    double d = 32.0 / 1023;
    EXPECT_NEAR(two->cells[1].samples[32], (1 - 4 * d) * std::sin(8 * M_PI * d), 1e-6);
    EXPECT_EQ(two->cells[1].samples[600], 0) << "silent after the first quarter";
    // Four-stroke after the first quarter: the slow rumble alone.
    d = 600.0 / 1023;
    EXPECT_NEAR(four->cells[1].samples[600], (std::fabs(std::sin(3 * M_PI * d + 0.5246)) - 0.5) * 0.5, 1e-6);
}

TEST_F(engine_sound_test, pipe_lines_shape_the_taps)
{
    struct row {
        const char* line;
        std::vector<std::pair<int, int>> delays;  // tap, samples
        std::vector<std::pair<int, float>> gains;
    };
    // Delays worked out by hand from trunc((L - ((k/(n-1))^2 + k) min(L,S)/n) x 77.3256879).
    const row cases[] = {
        {"pipe 5\n", {{0, 386}, {1, 382}, {15, 315}}, {{0, -0.053125f}, {15, -0.053125f}}},
        // One tap, tap 4 alone; the rest keep the file's plain delays, no gain.
        {"pipe 3 1 -0.5 4 4\n", {{4, 231}, {0, 77}, {15, 0}}, {{4, -0.5f}, {3, 0.0f}}},
        // Three taps 2..4, L = 2, S = 1: 2 x 77.33; (2 - 1.25/3) x 77.33; (2 - 1) x 77.33.
        {"pipe 2 1 -0.6 2 4\n", {{2, 154}, {3, 122}, {4, 77}, {5, 52}}, {{2, -0.2f}, {4, -0.2f}, {5, 0.0f}}},
        // last < first: tap first alone with the plain length.
        {"pipe 2 1 -0.6 9 3\n", {{9, 154}}, {{9, -0.6f}, {3, 0.0f}}},
        // A comment cuts the line; trailing values default.
        {"pipe 1.75 0.3 -0.75 # 4 4\n", {{0, 135}, {15, 112}}, {{7, -0.046875f}}},
    };
    for (const row& c : cases) {
        write_home("keys.braap", c.line);
        vfs_stream* in = vfs_open("@keys.braap", "r");
        ASSERT_NE(in, nullptr);
        engine_sound_use_template(rec.get(), "250f");
        engine_sound_read_keys(rec.get(), in);
        vfs_close(in);
        for (auto [tap, samples] : c.delays) EXPECT_EQ(delay(tap), samples) << c.line << "tap " << tap;
        for (auto [tap, gain] : c.gains) EXPECT_FLOAT_EQ(rec->pipe.tap_gain[tap], gain) << c.line << "tap " << tap;
    }
}

TEST_F(engine_sound_test, other_keys_and_lists)
{
    write_home("keys.braap", "bike=yz125\nminrpm 1500\nlowtorque -1\nhightorque 4\nbias 10 -10 20\n"
                             "scale\nbiased 7\nscalex 3\n# bias 99\n");
    vfs_stream* in = vfs_open("@keys.braap", "r");
    engine_sound_use_template(rec.get(), "125");
    engine_sound_read_keys(rec.get(), in);
    vfs_close(in);
    EXPECT_EQ(rec->min_rpm, 1500);
    EXPECT_EQ(rec->low_torque, -1);
    EXPECT_EQ(rec->high_torque, 4);
    ASSERT_EQ(rec->bias_count, 3);
    EXPECT_EQ(rec->bias[2], 20);
    EXPECT_EQ(rec->scale_count, 0) << "\"scale\" alone empties the list; set-up makes it {1}";
}

TEST_F(engine_sound_test, the_braap_file_falls_back_by_dashes_then_to_the_class_default)
{
    struct row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        float min_rpm;  // 1000: the template's, no file read
    };
    const row cases[] = {
        {"@bikes/abc-red.png", {{"bikes/abc-red.braap", "minrpm 2001\n"}, {"bikes/abc.braap", "minrpm 2002\n"}}, 2001},
        {"@bikes/abc-red.png", {{"bikes/abc.braap", "minrpm 2002\n"}}, 2002},
        {"@bikes/abc-red-x.png", {{"bikes/abc.braap", "minrpm 2002\n"}}, 2002},
        {"@bikes/abc-red.png", {}, 1000},
        // Only the file part is cut: "bi" is a folder's name, not a stem.
        {"@bi-kes/abc.png", {{"bi.braap", "minrpm 2003\n"}}, 1000},
        {"@bikes.v2/abc", {{"bikes.braap", "minrpm 2004\n"}}, 1000},
    };
    for (const row& c : cases) {
        std::filesystem::remove_all(home);
        for (const auto& [name, text] : c.files) write_home(name, text);
        setup_engine_sound(rec.get(), nullptr, c.name);
        EXPECT_EQ(rec->min_rpm, c.min_rpm) << c.name;
    }
}

TEST_F(engine_sound_test, a_rider_without_a_file_of_its_own_reads_its_class_default)
{
    physics_world_create();
    riders_init_all();
    rider* r = rider_create("yz125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(r, nullptr);
    write_home("default125.braap", "minrpm 3456\n");
    setup_engine_sound(rec.get(), r, nullptr);
    EXPECT_EQ(rec->min_rpm, 3456);
    EXPECT_EQ(rec->firing_factor, 1.0f);
    rider_destroy(r);
}

// ---- Sound tables -----------------------------------------------------------------

std::string pulse_bytes(int samples)
{
    std::string out;
    for (int i = 0; i < samples; i++) {
        int16_t v = int16_t(i < samples / 4 ? 16384 : -4096);
        out += char(v & 0xFF);
        out += char((v >> 8) & 0xFF);
    }
    return out;
}

TEST_F(engine_sound_test, a_good_table_loads_with_keys_cycles_and_remaps)
{
    write_home("rec/a.raw", pulse_bytes(400));
    write_home("rec/b.raw", pulse_bytes(300));
    write_home("t.table", "SOUNDTABLE 2 2\n2000 8000\n0 1\n"
                          "-1 1 @rec/a.raw\n"
                          "3 1 -1 2 @rec/b.raw\n"
                          "-1 1 @rec/a.raw\n"
                          "-1 4 @rec/b.raw\n");
    const sound_table* t = sound_table_find("@t.table");
    ASSERT_NE(t, nullptr) << last_message();
    EXPECT_EQ(t->rows, 2);
    EXPECT_EQ(t->columns, 2);
    EXPECT_EQ(t->cells[2].row_key, 8000);
    EXPECT_EQ(t->cells[3].column_key, 1);
    EXPECT_EQ(t->cells[1].cycles, 2);
    ASSERT_EQ(t->cells[1].remap_count, 2);
    EXPECT_EQ(t->cells[1].remap[0], 3);
    EXPECT_EQ(t->cells[0].count, 400);
    EXPECT_EQ(t->cells[0].samples, t->cells[2].samples) << "one recording, cached by name";
    EXPECT_FLOAT_EQ(t->cells[0].samples[0], 0.5f);
    EXPECT_FLOAT_EQ(t->cells[0].samples[399], -0.125f);
    EXPECT_EQ(sound_table_find("@t.table"), t) << "cached";
}

TEST_F(engine_sound_test, bad_tables_are_refused_with_one_message_naming_the_file)
{
    struct row {
        const char* text;  // null: no file
        const char* cell_message;
    };
    const row cases[] = {
        {nullptr, nullptr},
        {"SOUNDTAB 1 1\n0\n0\n-1 1 @rec/a.raw\n", nullptr},
        {"SOUNDTABLE 1\n", nullptr},
        {"SOUNDTABLE 0 1\n0\n", nullptr},
        {"SOUNDTABLE 1 -2\n0\n", nullptr},
        {"SOUNDTABLE 300 300\n", nullptr},
        {"SOUNDTABLE 2 1\n1000 1000\n0\n-1 1 @rec/a.raw\n-1 1 @rec/a.raw\n", nullptr},
        {"SOUNDTABLE 1 2\n0\n1 0.5\n-1 1 @rec/a.raw\n-1 1 @rec/a.raw\n", nullptr},
        {"SOUNDTABLE 1 1\n0\n", nullptr},
        {"SOUNDTABLE 1 1\n0\n0\n2 x 1 @rec/a.raw\n", "(0, 0) Bad remap entry"},
        {"SOUNDTABLE 1 1\n0\n0\n-1 0 @rec/a.raw\n", "(0, 0) Error reading '@rec/a.raw'"},
        {"SOUNDTABLE 1 1\n0\n0\n-1 1\n", "(0, 0) Error reading ''"},
        {"SOUNDTABLE 1 2\n0\n0 1\n-1 1 @rec/a.raw\n-1 1 @rec/missing.raw\n", "(0, 1) Error reading '@rec/missing.raw'"},
        {"SOUNDTABLE 1 1\n0\n0\n-1 1 @rec/empty.raw\n", "(0, 0) Error reading '@rec/empty.raw'"},
        {"SOUNDTABLE 1 1\n0\n0\n-1 1 @rec/one_byte.raw\n", "(0, 0) Error reading '@rec/one_byte.raw'"},
    };
    write_home("rec/a.raw", pulse_bytes(64));
    write_home("rec/empty.raw", "");
    write_home("rec/one_byte.raw", "x");
    int n = 0;
    for (const row& c : cases) {
        std::string name = "bad" + std::to_string(n++) + ".table";
        if (c.text) write_home(name, c.text);
        int before = message_log.write_index;
        EXPECT_EQ(sound_table_find(("@" + name).c_str()), nullptr) << name;
        EXPECT_EQ(last_message(), "Error reading '@" + name + "'") << (c.text ? c.text : "no file");
        int printed = console_ring_index(message_log.write_index - before);
        EXPECT_EQ(printed, c.cell_message ? 2 : 1) << name;
        if (c.cell_message) {
            EXPECT_EQ(last_message(1), c.cell_message);
        }
    }
    // A refused table leaves the record's table as it was.
    write_home("e.braap", "soundtable @bad3.table\n");
    setup_engine_sound(rec.get(), nullptr, "@e.png");
    EXPECT_STREQ(rec->table->name, "default_four_stroke");
}

// ---- Synthesis --------------------------------------------------------------------

// The strongest repeat of the signal: the shortest lag whose normalised
// autocorrelation is a local peak within 10 % of the best over the range.
double fundamental_hz(const std::vector<int16_t>& s, int rate, double low_hz, double high_hz)
{
    int min_lag = int(rate / high_hz), max_lag = int(rate / low_hz);
    size_t n = s.size() - size_t(max_lag) - 1;
    double mean = 0;
    for (int16_t v : s) mean += v;
    mean /= double(s.size());
    std::vector<double> r(size_t(max_lag) + 2, 0.0);
    for (int lag = min_lag; lag <= max_lag + 1; lag++) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < n; i++) {
            double x = s[i] - mean, y = s[i + size_t(lag)] - mean;
            xy += x * y, xx += x * x, yy += y * y;
        }
        r[size_t(lag)] = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
    }
    double best = 0;
    for (int lag = min_lag + 1; lag <= max_lag; lag++) best = std::max(best, r[size_t(lag)]);
    for (int lag = min_lag + 1; lag <= max_lag; lag++) {
        size_t l = size_t(lag);
        if (r[l] >= 0.9 * best && r[l] >= r[l - 1] && r[l] >= r[l + 1]) {
            // Parabolic refinement of the peak.
            double a = r[l - 1], b = r[l], c = r[l + 1];
            double den = a - 2 * b + c;
            double shift = den != 0 ? 0.5 * (a - c) / den : 0;
            return rate / (lag + shift);
        }
    }
    return 0;
}

// Runs the synthesis at a fixed rpm into the capture back end (one frame
// every two tics, 690 samples at 88,320 Hz a tic) and returns the capture
// after the first half second.
std::vector<int16_t> record_engine(engine_sound* rec, float rpm, float torque, double seconds)
{
    std::vector<int16_t> out;
    int16_t block[690];
    int tics = int(seconds * 128);
    for (int tic = 0; tic < tics; tic++) {
        if (tic % 2 == 0) {
            engine_sound_synthesise(rec, rpm, torque, vesk_sound_get_position(rec->voice));
            vesk_sound_set_volume(rec->voice, 32767);
            vesk_sound_set_rate(rec->voice, engine_sample_rate);
        }
        vesk_audio_readback(main_audio, block, 690);
        if (tic >= 64) out.insert(out.end(), block, block + 690);
    }
    return out;
}

TEST_F(engine_sound_test, a_fixed_rpm_sounds_at_the_firing_rate)
{
    main_audio = vesk_audio_open_readback(88320);
    ASSERT_NE(main_audio, nullptr);
    struct row {
        const char* bike_class;
        float rpm;
        double hz;  // firings per revolution x rpm / 60
    };
    const row cases[] = {
        {"250f", 6000, 0.5 * 6000 / 60},  // four-stroke: 50 Hz
        {"450f", 9000, 0.5 * 9000 / 60},  // 75 Hz
        {"125", 6000, 1.0 * 6000 / 60},   // two-stroke: 100 Hz
        {"50", 9000, 1.0 * 9000 / 60},    // 150 Hz
        {"250", 3000, 1.0 * 3000 / 60},   // 50 Hz
    };
    for (const row& c : cases) {
        setup_engine_sound(rec.get(), nullptr, nullptr);
        ASSERT_NE(rec->voice, nullptr);
        engine_sound_use_template(rec.get(), c.bike_class);
        rec->previous_rpm = c.rpm;
        std::vector<int16_t> s = record_engine(rec.get(), c.rpm, 0, 1.5);
        double rms = 0;
        for (int16_t v : s) rms += double(v) * v;
        rms = std::sqrt(rms / double(s.size()));
        EXPECT_GT(rms, 300) << c.bike_class << ": audible";
        double f = fundamental_hz(s, 88320, 20, 400);
        EXPECT_NEAR(f, c.hz, 0.02 * c.hz) << c.bike_class << " at " << c.rpm << " rpm";
    }
}

// Frames at 60 a second with the reader 735 samples on each time.
void run_frames(engine_sound* rec, float rpm, float torque, int frames)
{
    for (int i = 0; i < frames; i++)
        engine_sound_synthesise(rec, rpm, torque, (rec->write_pos - engine_write_ahead + 735) & engine_ring_mask);
}

TEST_F(engine_sound_test, below_min_rpm_the_firing_rate_holds_and_never_drops_below_five_hertz)
{
    setup_engine_sound(rec.get(), nullptr, nullptr);  // four-stroke, no voice
    rec->previous_rpm = 200;
    run_frames(rec.get(), 200, 0, 30);
    EXPECT_FLOAT_EQ(rec->firing_hz, 1000 * 0.5f / 60);
    rec->min_rpm = 100;
    run_frames(rec.get(), 200, 0, 30);
    EXPECT_FLOAT_EQ(rec->firing_hz, 5);
    // The top: 22,050 Hz at most, one firing a sample.
    rec->min_rpm = 1000;
    rec->firing_factor = 1000;
    int before = rec->firing_count;
    run_frames(rec.get(), 20000, 0, 20);
    EXPECT_FLOAT_EQ(rec->firing_hz, 22050);
    EXPECT_LE(rec->firing_count - before, 20 * 735) << "never more than one firing a sample";
}

TEST_F(engine_sound_test, a_one_by_one_table_plays_one_grain_at_full_weight)
{
    write_home("rec/a.raw", pulse_bytes(100));
    write_home("one.table", "SOUNDTABLE 1 1\n3000\n0.5\n-1 1 @rec/a.raw\n");
    write_home("one.braap", "soundtable @one.table  \n");
    setup_engine_sound(rec.get(), nullptr, "@one.png");
    ASSERT_STREQ(rec->table->name, "@one.table");
    for (float rpm : {500.0f, 3000.0f, 12000.0f}) {
        run_frames(rec.get(), rpm, 2.0f, 30);
        ASSERT_GT(rec->firing_count, 0);
        EXPECT_EQ(rec->grain[3].weight, 1) << rpm;
        EXPECT_EQ(rec->grain[0].weight + rec->grain[1].weight + rec->grain[2].weight, 0) << rpm;
    }
}

TEST_F(engine_sound_test, a_grain_past_its_recording_is_silent)
{
    // Two samples of 0.5, one cycle: at 8.3 firings a second each firing's
    // grain is stretched over 5292 samples, and a truncated increment or a
    // late firing must not read past the second sample.
    write_home("rec/short.raw", std::string("\x00\x40\x00\x40", 4));
    write_home("short.table", "SOUNDTABLE 1 1\n0\n0\n-1 1 @rec/short.raw\n");
    write_home("short.braap", "soundtable @short.table\n");  // no pipe line: every tap gain 0
    setup_engine_sound(rec.get(), nullptr, "@short.png");
    run_frames(rec.get(), 1000, 0, 60);
    ASSERT_GT(rec->firing_count, 3);
    for (float v : rec->ring) EXPECT_TRUE(v == 0.0f || v == 0.5f) << v;
    rec->grain[3].position = 1u << 31;  // far past the end, as after a stall
    run_frames(rec.get(), 1000, 0, 1);
}

TEST_F(engine_sound_test, bilinear_weights_between_four_cells)
{
    write_home("rec/a.raw", pulse_bytes(100));
    write_home("four.table", "SOUNDTABLE 2 2\n2000 6000\n0 1\n-1 1 @rec/a.raw\n-1 1 @rec/a.raw\n"
                             "-1 1 @rec/a.raw\n-1 1 @rec/a.raw\n");
    write_home("w.braap", "soundtable @four.table\nlowtorque 0\nhightorque 4\n");
    setup_engine_sound(rec.get(), nullptr, "@w.png");
    rec->previous_rpm = 3000;
    // rpm 3000: a quarter of the way from 2000 to 6000; torque 3: load 0.75.
    run_frames(rec.get(), 3000, 3, 30);
    EXPECT_FLOAT_EQ(rec->grain[0].weight, 0.75f * 0.25f);
    EXPECT_FLOAT_EQ(rec->grain[1].weight, 0.25f * 0.25f);
    EXPECT_FLOAT_EQ(rec->grain[2].weight, 0.75f * 0.75f);
    EXPECT_FLOAT_EQ(rec->grain[3].weight, 0.25f * 0.75f);
}

TEST_F(engine_sound_test, the_writer_stays_ahead_of_the_reader_and_never_laps_it)
{
    setup_engine_sound(rec.get(), nullptr, nullptr);
    int32_t play = 0;
    // A fresh record leads by 11025: nothing is written until the reader
    // comes within 4410.
    EXPECT_EQ(engine_sound_synthesise(rec.get(), 6000, 0, play), 0);
    for (int frame = 0; frame < 400; frame++) {  // ~6.7 s at 60 frames/s, wrapping the ring
        play = (play + 735) & engine_ring_mask;
        int written = engine_sound_synthesise(rec.get(), 6000, 0, play);
        EXPECT_LE(written, engine_write_max);
        int32_t ahead = (rec->write_pos - play) & engine_ring_mask;
        if (frame >= 10) {
            EXPECT_EQ(ahead, engine_write_ahead) << "frame " << frame;
        } else {
            EXPECT_LE(ahead, engine_setup_lead) << "frame " << frame;
        }
    }
    // A frozen reader: nothing more is written, however many frames pass.
    int32_t held = rec->write_pos;
    for (int frame = 0; frame < 100; frame++) EXPECT_EQ(engine_sound_synthesise(rec.get(), 6000, 0, play), 0);
    EXPECT_EQ(rec->write_pos, held);
    // A stall: the reader passed the writer; the writer starts again ahead of it.
    play = (play + 20000) & engine_ring_mask;
    EXPECT_EQ(engine_sound_synthesise(rec.get(), 6000, 0, play), engine_write_ahead);
    EXPECT_EQ((rec->write_pos - play) & engine_ring_mask, engine_write_ahead);
}

TEST_F(engine_sound_test, paused_means_silence)
{
    main_audio = vesk_audio_open_readback(88320);
    physics_world_create();
    riders_init_all();
    rider* r = rider_create("yz125", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(r, nullptr);
    rider_table[0] = r;
    watched_slot = 0;
    r->engine_speed = float(6000 * 2 * M_PI / 60);
    auto capture = [&](float master) {
        double sum = 0;
        int16_t block[690];
        for (int tic = 0; tic < 128; tic++) {
            if (tic % 2 == 0) update_engine_sounds(master);
            vesk_audio_readback(main_audio, block, 690);
            for (int16_t v : block) sum += double(v) * v;
        }
        return std::sqrt(sum / (128 * 690));
    };
    capture(1);  // past the set-up's silent lead
    EXPECT_GT(capture(1), 300) << "running: audible";
    EXPECT_EQ(capture(0), 0) << "paused: master level 0";
    slot_is_hidden_hook = [](int) { return 1; };
    EXPECT_EQ(capture(1), 0) << "hidden slot";
    slot_is_hidden_hook = nullptr;
    // A rider of another class in the same slot (the same record address)
    // gets its own engine.
    EXPECT_EQ(engine_sounds[0].firing_factor, 1.0f);
    rider_destroy(r);
    r = rider_create("yz450f(2018)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(r, rider_table[0]);
    update_engine_sounds(1);
    EXPECT_EQ(engine_sounds[0].firing_factor, 0.5f);
    // A slot left empty goes quiet instead of looping its ring.
    rider_table[0] = nullptr;
    EXPECT_EQ(capture(1), 0) << "empty slot";
    rider_destroy(r);
}

// ---- Placement --------------------------------------------------------------------

TEST(engine_voice_placement, distance_direction_and_rate)
{
    sound_listener_record at_origin = {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}};
    struct row {
        float x, y, z;
        float doppler;
        int32_t volume, pan, rate;
    };
    const row cases[] = {
        {0, 0, 1, 1, 32767, 0, 44100},          // 1 ft: full
        {0, 0, -49, 1, 16383, 0, 44100},        // 49 ft: half
        {0, 97, 0, 1, 10922, 0, 44100},         // 97 ft: a third
        {10, 0, 0, 1, 27593, 32767, 44100},     // to the right: pan right; 1/(9/48 + 1)
        {-3, 0, 4, 1, 30246, -19660, 44100},    // left and ahead, 5 ft: 3/5 left; 1/(4/48 + 1)
        {0, 0, 0, 1, 32767, 0, 44100},          // at the listener: centred
        {0, 0, 1, 0.001f, 32767, 0, 100},       // rates clamp low
        {0, 0, 1, 100.0f, 32767, 0, 1000000},   // and high
    };
    for (const row& c : cases) {
        float p[3] = {c.x, c.y, c.z};
        voice_placement v = engine_voice_placement(1.0f, p, &at_origin, c.doppler);
        EXPECT_NEAR(v.volume, c.volume, 1) << c.x << " " << c.y << " " << c.z;
        EXPECT_NEAR(v.pan, c.pan, 1) << c.x << " " << c.y << " " << c.z;
        EXPECT_EQ(v.rate, c.rate);
    }
    float p[3] = {0, 0, 1};
    EXPECT_EQ(engine_voice_placement(0.5f, p, &at_origin, 1).volume, 16383);
    EXPECT_EQ(engine_voice_placement(-1, p, &at_origin, 1).volume, 0);
}

}  // namespace

namespace {

TEST_F(engine_sound_test, the_generated_four_strokes_use_the_generated_table)
{
    const sound_table* t = sound_table_find("@sounds/four.table");
    ASSERT_NE(t, nullptr) << last_message();
    EXPECT_EQ(t->rows, 2);
    EXPECT_EQ(t->columns, 2);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(t->cells[i].count, 2048);
        EXPECT_EQ(t->cells[i].cycles, 2);
    }
    physics_world_create();
    riders_init_all();
    struct row {
        const char* bike;
        const char* table;
    };
    const row cases[] = {{"yz250f(2017)", "@sounds/four.table"}, {"yz450f(2018)", "@sounds/four.table"},
                         {"yz125", "default_two_stroke"}};
    for (const row& c : cases) {
        rider* r = rider_create(c.bike, 1, 1, "1", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(r, nullptr);
        setup_engine_sound(rec.get(), r, nullptr);
        EXPECT_STREQ(rec->table->name, c.table) << c.bike;
        EXPECT_NE(rec->pipe.tap_gain[0], 0) << c.bike << ": the default setup's pipe line";
        rider_destroy(r);
    }
}

}  // namespace
