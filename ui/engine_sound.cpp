#include "ui/engine_sound.h"

#include <ode/ode.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/alloc.h"
#include "core/array.h"
#include "core/game_state.h"
#include "core/util.h"
#include "core/vfs.h"
#include "game/startup.h"
#include "physics/physics_tic.h"
#include "physics/physics_world.h"
#include "physics/rider.h"
#include "physics/rider_access.h"
#include "physics/setup.h"
#include "platform/vesk_audio.h"
#include "script/script_sound.h"
#include "ui/console.h"
#include "ui/settings.h"

engine_sound engine_sounds[engine_slot_count];
sound_listener_record sound_listener = {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}};
float (*doppler_factor_hook)(const float position[3], const float velocity[3]);
int32_t sound_listener_follows_view = 1;

namespace {

constexpr int builtin_samples = 1024;
constexpr double pi = 3.14159265358979323846;

struct engine_template {
    const char* table;
    float firing_factor;
    float low_torque, high_torque;
    float min_rpm;
    float pipe_length, pipe_spread, pipe_reflection;
};

const engine_template four_stroke = {"default_four_stroke", 0.5f, -2.5f, 2.5f, 1000, 5, pipe_default_spread, -0.85f};
const engine_template two_stroke = {"default_two_stroke", 1.0f, -3.5f, 3.5f, 1000, 1.75f, 0.3f, -0.75f};
const engine_template fifty = {"default_two_stroke", 1.0f, -3.5f, 1.5f, 1000, 1.75f, 0.3f, -0.75f};

// The built-in tables (1 row, 2 columns) and the loaded ones, in one list.
sound_table* tables;
float builtin_cells[2][2][builtin_samples];

struct recording {
    char* name;
    float* samples;
    int32_t count;
};
growable_array recordings;  // of recording

// The bytes of one frame's new samples on their way to the voice.
uint8_t frame_bytes[engine_write_max];

sound_table* builtin_table(const char* name, float (*sample)(double d), float (*cells)[builtin_samples])
{
    for (int i = 0; i < builtin_samples; i++) {
        double d = i / double(builtin_samples - 1);
        cells[1][i] = sample(d);
        cells[0][i] = cells[1][i] * 0.25f;
    }
    auto* t = static_cast<sound_table*>(xmalloc(sizeof(sound_table)));
    auto* c = static_cast<sound_cell*>(xmalloc(sizeof(sound_cell) * 2));
    for (int k = 0; k < 2; k++) c[k] = {cells[k], builtin_samples, 1, nullptr, 0, 0.0f, float(k)};
    size_t n = strlen(name) + 1;
    t->name = static_cast<char*>(xmalloc(n));
    memcpy(t->name, name, n);
    t->cells = c;
    t->rows = 1;
    t->columns = 2;
    t->next = tables;
    tables = t;
    return t;
}

float four_stroke_sample(double d)
{
    double e = (std::fabs(std::sin(3 * pi * d + 0.5246)) - 0.5) * 0.5;
    return float(d < 0.25 ? (1 - 4 * d) * std::sin(16 * pi * d) + e : e);
}

float two_stroke_sample(double d)
{
    return float(d < 0.25 ? (1 - 4 * d) * std::sin(8 * pi * d) : 0.0);
}

void build_builtins()
{
    if (tables) return;
    builtin_table("default_two_stroke", two_stroke_sample, builtin_cells[1]);
    builtin_table("default_four_stroke", four_stroke_sample, builtin_cells[0]);
    array_init(&recordings, sizeof(recording));
}

sound_table* table_named(const char* name)
{
    for (sound_table* t = tables; t; t = t->next)
        if (!strcmp(t->name, name)) return t;
    return nullptr;
}

void free_table(sound_table* t)
{
    if (!t) return;
    if (t->cells)
        for (int32_t i = 0; i < t->rows * t->columns; i++) alloc_check_free(t->cells[i].remap);
    alloc_check_free(t->cells);
    alloc_check_free(t->name);
    alloc_check_free(t);
}

// A headerless s16le mono recording, read whole and cached by name; null
// when it can't be read, is empty or is too long.
const recording* recording_find(const char* name)
{
    recording* items = array_items<recording>(&recordings);
    for (int32_t i = 0; i < recordings.count; i++)
        if (!strcmp(items[i].name, name)) return &items[i];
    vfs_stream* in = vfs_open(name, "rb");
    if (!in) return nullptr;
    growable_array samples;
    array_init(&samples, sizeof(float));
    uint8_t block[4096];
    int got, carry = -1, ok = 1;
    while (ok && (got = vfs_read(in, block, sizeof block)) > 0) {
        for (int i = 0; i < got && ok; i++) {
            if (carry < 0) {
                carry = block[i];
                continue;
            }
            float v = float(int16_t(uint16_t(carry | (block[i] << 8)))) / 32768.0f;
            carry = -1;
            ok = samples.count < recording_samples_max && array_push(&samples, &v);
        }
    }
    ok = ok && !vfs_error(in) && samples.count > 0;
    vfs_close(in);
    if (!ok) {
        array_free(&samples);
        return nullptr;
    }
    recording rec;
    size_t n = strlen(name) + 1;
    rec.name = static_cast<char*>(xmalloc(n));
    memcpy(rec.name, name, n);
    rec.count = samples.count;
    rec.samples = static_cast<float*>(array_detach(&samples));
    if (!array_push(&recordings, &rec)) fatal_out_of_memory();
    return &array_items<recording>(&recordings)[recordings.count - 1];
}

// Reads a SOUNDTABLE file; null after its messages.
sound_table* table_load(const char* name)
{
    vfs_stream* in = vfs_open(name, "r");
    if (!in) {
        console_printf("Error reading '%.512s'", name);
        return nullptr;
    }
    sound_table* t = static_cast<sound_table*>(xmalloc(sizeof(sound_table)));
    memset(t, 0, sizeof *t);
    int32_t rows = 0, columns = 0;
    int ok = vfs_scanf(in, " SOUNDTABLE %d %d", &rows, &columns) == 2 && rows >= 1 && columns >= 1 &&
             int64_t(rows) * columns <= sound_table_cells_max;
    if (ok) {
        t->rows = rows;
        t->columns = columns;
        t->cells = static_cast<sound_cell*>(xmalloc(sizeof(sound_cell) * size_t(rows * columns)));
        memset(t->cells, 0, sizeof(sound_cell) * size_t(rows * columns));
    }
    // Keys: rows then columns, each strictly ascending.
    float previous = 0;
    for (int32_t i = 0; ok && i < rows; i++) {
        float key;
        ok = vfs_scanf(in, "%f", &key) == 1 && (i == 0 || key > previous);
        for (int32_t c = 0; ok && c < columns; c++) t->cells[i * columns + c].row_key = key;
        previous = key;
    }
    for (int32_t j = 0; ok && j < columns; j++) {
        float key;
        ok = vfs_scanf(in, "%f", &key) == 1 && (j == 0 || key > previous);
        for (int32_t r = 0; ok && r < rows; r++) t->cells[r * columns + j].column_key = key;
        previous = key;
    }
    growable_array remap;
    array_init(&remap, sizeof(int32_t));
    for (int32_t r = 0; ok && r < rows; r++)
        for (int32_t c = 0; ok && c < columns; c++) {
            sound_cell* cell = &t->cells[r * columns + c];
            remap.count = 0;
            for (;;) {
                int32_t v;
                if (vfs_scanf(in, "%d", &v) != 1 || remap.count >= sound_table_cells_max) {
                    console_printf("(%d, %d) Bad remap entry", r, c);
                    ok = 0;
                    break;
                }
                if (v == -1) break;
                array_push(&remap, &v);
            }
            if (!ok) break;
            float cycles = 0;
            char file[1024];
            file[0] = 0;
            const recording* rec = nullptr;
            if (vfs_scanf(in, "%f %1023s", &cycles, file) == 2 && cycles >= 1 && cycles <= float(recording_samples_max))
                rec = recording_find(file);
            if (!rec) {
                console_printf("(%d, %d) Error reading '%.512s'", r, c, file);
                ok = 0;
                break;
            }
            cell->samples = rec->samples;
            cell->count = rec->count;
            cell->cycles = int32_t(cycles);
            if (remap.count) {
                cell->remap = static_cast<int32_t*>(xmalloc(sizeof(int32_t) * size_t(remap.count)));
                memcpy(cell->remap, remap.items, sizeof(int32_t) * size_t(remap.count));
                cell->remap_count = remap.count;
            }
        }
    array_free(&remap);
    ok = ok && !vfs_error(in);
    vfs_close(in);
    if (!ok) {
        console_printf("Error reading '%.512s'", name);
        free_table(t);
        return nullptr;
    }
    size_t n = strlen(name) + 1;
    t->name = static_cast<char*>(xmalloc(n));
    memcpy(t->name, name, n);
    t->next = tables;
    tables = t;
    return t;
}

// "word" followed by a blank or the end: the rest after it, else null.
const char* key_word(const char* line, const char* word)
{
    size_t n = strlen(word);
    if (strncmp(line, word, n) != 0) return nullptr;
    if (line[n] && !isspace(static_cast<unsigned char>(line[n]))) return nullptr;
    return line + n;
}

int read_list(const char* text, float* out)
{
    int count = 0;
    while (count < engine_list_max) {
        char* end;
        float v = strtof(text, &end);
        if (end == text) break;
        out[count++] = v;
        text = end;
    }
    return count;
}

// Replaces the name's extension (from the last "." after the last "/")
// with ".braap"; 0 when it has none.
int braap_name(const char* name, char* out, size_t size)
{
    const char* slash = strrchr(name, '/');
    const char* base = slash ? slash + 1 : name;
    const char* dot = strrchr(base, '.');
    if (!dot) return 0;
    int n = snprintf(out, size, "%.*s.braap", int(dot - name), name);
    return n > 0 && size_t(n) < size;
}

// Opens the sound file for a name: its ".braap", then cut at each "-" of
// the file part (from the last back), then the class default.
vfs_stream* open_sound_file(const char* name, const rider* r)
{
    char path[1100];
    if (name && braap_name(name, path, sizeof path)) {
        if (vfs_stream* in = vfs_open(path, "r")) return in;
        const char* slash = strrchr(name, '/');
        size_t base = slash ? size_t(slash + 1 - name) : 0;
        size_t end = strlen(path) - strlen(".braap");
        while (end > base) {
            size_t cut = end;
            while (cut > base && path[cut - 1] != '-') cut--;
            if (cut <= base) break;
            end = cut - 1;
            snprintf(path + end, sizeof path - end, ".braap");
            if (vfs_stream* in = vfs_open(path, "r")) return in;
        }
    }
    return r ? open_default_setup(r) : nullptr;
}

int32_t last_key_at_most(const sound_table* t, int rows, float value)
{
    // Rows (rows = 1) or columns (rows = 0) of the table.
    int32_t n = rows ? t->rows : t->columns, found = -1;
    for (int32_t i = 0; i < n; i++) {
        const sound_cell& cell = rows ? t->cells[i * t->columns] : t->cells[i];
        float key = rows ? cell.row_key : cell.column_key;
        if (key <= value) found = i;
        else break;
    }
    return found;
}

float clamp01(float v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

void grain_start(engine_grain* g, const sound_cell* cell, float weight, int32_t firing_count, float firing_hz)
{
    int32_t cycle = cell->remap_count ? cell->remap[firing_count % cell->remap_count] : firing_count;
    int32_t c = cycle % cell->cycles;
    if (c < 0) c += cell->cycles;
    double spc = double(cell->count) / cell->cycles;
    g->samples = cell->samples;
    g->count = cell->count;
    g->weight = weight;
    g->position = uint32_t(int64_t(c * spc)) * 1024u;
    g->increment = uint32_t(spc * firing_hz / engine_sample_rate * 1024.0);
}

// One firing: the engine speed of this firing, the cells around it and the
// grains restarted in them.
void engine_fire(engine_sound* rec, int32_t k, int32_t count, float rpm, float load)
{
    float rpm_f = (float(k) / float(count) * (rpm - rec->previous_rpm) + rec->previous_rpm +
                   rec->bias[rec->firing_count % rec->bias_count]) *
                  rec->scale[rec->firing_count % rec->scale_count];
    if (!(rpm_f >= rec->min_rpm)) rpm_f = rec->min_rpm;
    rec->phase -= engine_phase_one;
    rec->firing_count = (rec->firing_count + 1) & 0x7FFFFFFF;
    float hz = rec->firing_factor / 60.0f * rpm_f;
    rec->firing_hz = hz < engine_firing_min_hz ? engine_firing_min_hz : hz > engine_firing_max_hz ? engine_firing_max_hz : hz;
    const sound_table* t = rec->table;
    int32_t f = last_key_at_most(t, 1, rpm_f), e = last_key_at_most(t, 0, load);
    int32_t a = f >= 0 && f + 1 < t->rows ? f + 1 : f < 0 ? 0 : f;
    int32_t c = e >= 0 && e + 1 < t->columns ? e + 1 : e < 0 ? 0 : e;
    if (f < 0) f = 0;
    if (e < 0) e = 0;
    const sound_cell* cells = t->cells;
    int32_t w = t->columns;
    float wr = f == a ? 1.0f
                      : clamp01((rpm_f - cells[f * w].row_key) / (cells[a * w].row_key - cells[f * w].row_key));
    float wc = e == c ? 1.0f : clamp01((load - cells[e].column_key) / (cells[c].column_key - cells[e].column_key));
    grain_start(&rec->grain[0], &cells[f * w + e], (1 - wr) * (1 - wc), rec->firing_count, rec->firing_hz);
    grain_start(&rec->grain[1], &cells[a * w + e], wr * (1 - wc), rec->firing_count, rec->firing_hz);
    grain_start(&rec->grain[2], &cells[f * w + c], (1 - wr) * wc, rec->firing_count, rec->firing_hz);
    grain_start(&rec->grain[3], &cells[a * w + c], wr * wc, rec->firing_count, rec->firing_hz);
}

int32_t phase_step(float hz)
{
    return int32_t(std::lround(double(hz) * engine_phase_one / engine_sample_rate));
}

}  // namespace

void engine_sound_use_template(engine_sound* rec, const char* bike_class)
{
    build_builtins();
    size_t n = bike_class ? strlen(bike_class) : 0;
    const engine_template* t = !bike_class                       ? &four_stroke
                               : !strcmp(bike_class, "50")        ? &fifty
                               : n > 0 && bike_class[n - 1] == 'f' ? &four_stroke
                                                                   : &two_stroke;
    rec->table = table_named(t->table);
    rec->firing_factor = t->firing_factor;
    rec->low_torque = t->low_torque;
    rec->high_torque = t->high_torque;
    rec->min_rpm = t->min_rpm;
    set_pipe_shape(&rec->pipe, t->pipe_length, t->pipe_spread, t->pipe_reflection, 0, engine_pipe_taps - 1);
    rec->bias[0] = 0;
    rec->scale[0] = 1;
    rec->bias_count = rec->scale_count = 1;
}

const sound_table* sound_table_find(const char* name)
{
    build_builtins();
    if (sound_table* t = table_named(name)) return t;
    return table_load(name);
}

void engine_sound_read_keys(engine_sound* rec, vfs_stream* in)
{
    // Until a "pipe" line, the file's engine has no pipe.
    static const int32_t plain_delays[engine_pipe_taps] = {77, 72, 67, 62, 57, 52, 47, 42, 37, 32, 26, 21, 16, 10, 5, 0};
    for (int i = 0; i < engine_pipe_taps; i++) {
        rec->pipe.tap_offset[i] = engine_ring_size - plain_delays[i];
        rec->pipe.tap_gain[i] = 0;
    }
    char line[1024];
    while (vfs_gets(in, line, sizeof line)) {
        if (char* hash = strchr(line, '#')) *hash = 0;
        const char* rest;
        float length = 5, spread = pipe_default_spread, reflection = -0.85f, v;
        int32_t first = 0, last = 15;
        if (sscanf(line, "pipe %f %f %f %d %d", &length, &spread, &reflection, &first, &last) >= 1) {
            set_pipe_shape(&rec->pipe, length, spread, reflection, first, last);
        } else if (sscanf(line, "minrpm %f", &v) == 1) {
            rec->min_rpm = v;
        } else if (sscanf(line, "lowtorque %f", &v) == 1) {
            rec->low_torque = v;
        } else if (sscanf(line, "hightorque %f", &v) == 1) {
            rec->high_torque = v;
        } else if ((rest = key_word(line, "bias"))) {
            rec->bias_count = read_list(rest, rec->bias);
        } else if ((rest = key_word(line, "scale"))) {
            rec->scale_count = read_list(rest, rec->scale);
        } else if ((rest = key_word(line, "soundtable"))) {
            char name[1024];
            while (isspace(static_cast<unsigned char>(*rest))) rest++;
            snprintf(name, sizeof name, "%s", rest);
            trim_trailing_blanks(name);
            const char* start = name;
            if (*start)
                if (const sound_table* t = sound_table_find(start)) rec->table = t;
        }
    }
}

void setup_engine_sound(engine_sound* rec, const rider* r, const char* name)
{
    build_builtins();
    if (rec->voice) vesk_sound_free(rec->voice);
    rec->voice = nullptr;
    if (main_audio) {
        static uint8_t silence[engine_ring_size];
        memset(silence, 128, sizeof silence);
        rec->voice = vesk_sound_new(main_audio, engine_ring_size, silence, engine_sample_rate);
        vesk_sound_set_loop(rec->voice, 1);
        vesk_sound_set_volume(rec->voice, 0);
        vesk_sound_play(rec->voice);
    }
    memset(rec->ring, 0, sizeof rec->ring);
    rec->write_pos = engine_setup_lead;
    rec->phase = 0;
    rec->firing_count = 0;
    rec->firing_hz = 10;
    rec->level = 1;
    rec->previous_rpm = 1000;
    rec->owner = r;
    rec->owner_bike = r ? rider_get_bike_info(r) : nullptr;
    engine_sound_use_template(rec, r ? rider_get_bike_class(r) : nullptr);
    if (!name && r) name = rider_get_bike_texture(r);
    if (vfs_stream* in = open_sound_file(name, r)) {
        engine_sound_read_keys(rec, in);
        vfs_close(in);
    }
    if (rec->scale_count < 1) rec->scale[0] = 1, rec->scale_count = 1;
    if (rec->bias_count < 1) rec->bias[0] = 0, rec->bias_count = 1;
    for (engine_grain& g : rec->grain) g = {rec->table->cells[0].samples, rec->table->cells[0].count, 0, 0, 0};
}

int engine_sound_synthesise(engine_sound* rec, float rpm, float torque, int32_t play)
{
    // The lead over the reader decides the count, so the writer never laps
    // it: a lead beyond the set-up's means the reader has passed the writer,
    // which then starts again just ahead of it.
    int32_t ahead = (rec->write_pos - play) & engine_ring_mask;
    if (ahead > engine_setup_lead) {
        rec->write_pos = play & engine_ring_mask;
        ahead = 0;
    }
    int32_t count = ahead < engine_write_ahead ? engine_write_ahead - ahead : 0;
    if (count > engine_write_max) count = engine_write_max;
    if (count == 0) return 0;
    float span = rec->high_torque - rec->low_torque;
    float load = span != 0 ? clamp01((torque - rec->low_torque) / span) : 0.0f;
    int32_t p = phase_step(rec->firing_hz);
    int32_t w = rec->write_pos;
    float* ring = rec->ring;
    for (int32_t k = 0; k < count; k++) {
        float out = 0;
        for (int t = 0; t < engine_pipe_taps; t++)
            out += ring[(w + rec->pipe.tap_offset[t]) & engine_ring_mask] * rec->pipe.tap_gain[t];
        for (engine_grain& g : rec->grain) {
            uint32_t i = g.position >> 10;
            if (i < uint32_t(g.count)) out += g.samples[i] * g.weight;
            g.position += g.increment;
        }
        out = out < -16 ? -16 : out > 16 ? 16 : out;
        ring[w] = out;
        rec->phase += p;
        if (rec->phase >= engine_phase_one) {
            engine_fire(rec, k, count, rpm, load);
            p = phase_step(rec->firing_hz);
        }
        w = (w + 1) & engine_ring_mask;
    }
    rec->write_pos = w;
    rec->previous_rpm = rpm;
    int32_t start = (w - count) & engine_ring_mask;
    for (int32_t k = 0; k < count; k++) {
        long b = std::lround((ring[(start + k) & engine_ring_mask] + 1.0f) * 127.0f);
        frame_bytes[k] = uint8_t(b < 0 ? 0 : b > 255 ? 255 : b);
    }
    if (rec->voice) vesk_sound_write(rec->voice, count, frame_bytes, start);
    return count;
}

voice_placement engine_voice_placement(float level, const float position[3], const sound_listener_record* listener,
                                       float doppler)
{
    float d[3] = {position[0] - listener->position[0], position[1] - listener->position[1],
                  position[2] - listener->position[2]};
    float dist2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    float dist = std::sqrt(dist2);
    float fall = (dist - 1) / 48 + 1;
    float volume = level / (fall > 1 ? fall : 1);
    voice_placement out;
    out.volume = !(volume > 0) ? 0 : volume >= 1 ? 32767 : int32_t(volume * 32767);
    double rate = double(doppler) * engine_sample_rate;
    out.rate = !(rate >= 100) ? 100 : rate > 1000000 ? 1000000 : int32_t(rate);
    out.pan = 0;
    if (dist2 >= 1.0f / 1024) {
        float side = (d[0] * listener->right[0] + d[1] * listener->right[1] + d[2] * listener->right[2]) / dist;
        out.pan = int32_t(32767 * (side < -1 ? -1 : side > 1 ? 1 : side));
    }
    return out;
}

void update_engine_sounds(float master_level)
{
    float v = 0.1f * float(settings.volume.value) * master_level;
    for (int slot = 0; slot < engine_slot_count; slot++) {
        const rider* r = rider_table[slot];
        engine_sound* rec = &engine_sounds[slot];
        if (!r) {
            // The ring would loop its last 0.7 s for ever.
            if (rec->voice) vesk_sound_set_volume(rec->voice, 0);
            continue;
        }
        // Records live in fixed slots, so a new rider can have the old one's
        // address: the bike tells them apart.
        if (rec->owner != r || rec->owner_bike != rider_get_bike_info(r)) setup_engine_sound(rec, r, nullptr);
        if (!rec->voice) continue;
        float slot_level = slot_is_hidden_hook && slot_is_hidden_hook(slot) ? 0.0f
                           : slot == watched_slot                          ? v
                                                                           : 0.1f * float(settings.comp_volume.value) * v;
        engine_sound_synthesise(rec, rider_engine_rpm(r), engine_torque(r), vesk_sound_get_position(rec->voice));
        // A rider without bodies (no physics world) sounds at the listener.
        float position[3], velocity[3] = {0, 0, 0};
        memcpy(position, sound_listener.position, sizeof position);
        if (dBodyID body = rider_get_frame_body(r)) {
            const dReal* p = dBodyGetPosition(body);
            const dReal* vel = dBodyGetLinearVel(body);
            for (int i = 0; i < 3; i++) position[i] = float(p[i]), velocity[i] = float(vel[i]);
        }
        float doppler = doppler_factor_hook ? doppler_factor_hook(position, velocity) : 1.0f;
        voice_placement placed = engine_voice_placement(rec->level * slot_level, position, &sound_listener, doppler);
        vesk_sound_set_volume(rec->voice, placed.volume);
        vesk_sound_set_rate(rec->voice, placed.rate);
        vesk_sound_set_pan(rec->voice, placed.pan);
    }
    // The track script's 3-D sounds go through the same mixer, heard from the
    // same listener and scaled as the other riders' engines are.
    script_sound_listener listener = {};
    memcpy(listener.position, sound_listener.position, sizeof listener.position);
    memcpy(listener.right, sound_listener.right, sizeof listener.right);
    listener.level = 0.1f * float(settings.comp_volume.value) * v;
    listener.doppler = doppler_factor_hook;
    script_sounds_apply(listener);
}

void engine_sounds_free()
{
    for (engine_sound& rec : engine_sounds) {
        if (rec.voice) vesk_sound_free(rec.voice);
        rec.voice = nullptr;
        rec.owner = nullptr;
        rec.owner_bike = nullptr;
        rec.table = nullptr;
    }
    while (tables) {
        sound_table* next = tables->next;
        free_table(tables);  // the built-in cells' samples are static
        tables = next;
    }
    recording* items = array_items<recording>(&recordings);
    for (int32_t i = 0; i < recordings.count; i++) {
        alloc_check_free(items[i].name);
        alloc_check_free(items[i].samples);
    }
    array_free(&recordings);
}
