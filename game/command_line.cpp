// The command-line options. Each is tried in the table's order at the
// cursor; a value comes as the next argument or after "=". Bad values stop the
// program before any window opens, with the option's own message.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/util.h"
#include "game/startup.h"

namespace {

enum value_kind { flag, int_value, float_value, text_value };

struct parse_context {
    option_cursor* cursor;
    run_options* o;
    char* message;
    int message_size;
    int failed;
};

__attribute__((format(printf, 2, 3))) void fail(parse_context& c, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(c.message, size_t(c.message_size), format, args);
    va_end(args);
    c.failed = 1;
}

// A numeric value that scans: "%d" semantics (leading number, rest ignored).
bool scan_int(const char* text, int32_t* out)
{
    int v;
    if (!text || sscanf(text, "%d", &v) != 1) return false;
    *out = v;
    return true;
}

// "%f" semantics, but "nan" and "inf" are refused: no clamp removes them.
bool scan_float(const char* text, double* out)
{
    double v;
    if (!text || sscanf(text, "%lf", &v) != 1 || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// A size of the pixel format or window: a positive atoi value.
bool scan_size(const char* text, int32_t* out)
{
    if (!text) return false;
    int v = atoi(text);
    if (v <= 0) return false;
    *out = v;
    return true;
}

int32_t clamp_int(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }
double clamp_double(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

// One option's handling: returns 1 when the option word matched (2 asks to
// open the player's folder).
using handler = int (*)(parse_context& c, const char* name, const char* value);

// A row either stores a number into a field of run_options (clamped, or
// checked against its range) or calls its own handler.
enum store_rule { own_handler, clamp_to_range, refuse_outside_range };

struct option_row {
    const char* name;
    value_kind kind;
    handler handle;                        // own_handler rows
    store_rule rule = own_handler;
    int32_t run_options::*int_field = nullptr;
    double run_options::*float_field = nullptr;
    double lo = 0, hi = 0;                 // the range
    double scale = 1;                      // a float value is stored times this
};

#define FLAG(field, v) [](parse_context& c, const char*, const char*) { c.o->field = v; return 1; }

int bad(parse_context& c, const char* name)
{
    fail(c, "Bad arg for %s\n", name);
    return 1;
}

int ignore(parse_context&, const char*, const char*) { return 1; }

// A number that only has to scan.
int checked_int(parse_context& c, const char* name, const char* v)
{
    int32_t n;
    return scan_int(v, &n) ? 1 : bad(c, name);
}
int checked_float(parse_context& c, const char* name, const char* v)
{
    double x;
    return scan_float(v, &x) ? 1 : bad(c, name);
}
// atoi values of the HUD status lines: anything but a missing value goes.
int32_t run_options::*const draw_fields[] = {&run_options::draw_fps, &run_options::draw_time, &run_options::draw_ping,
                                             &run_options::draw_speed, &run_options::draw_render_stats};
const char* const draw_names[] = {"--draw-fps", "--draw-time", "--draw-ping", "--draw-speed", "--draw-render-stats"};
int draw_line(parse_context& c, const char* name, const char* v)
{
    if (!v) return bad(c, name);
    for (int i = 0; i < 5; i++)
        if (strcmp(name, draw_names[i]) == 0) c.o->*draw_fields[i] = atoi(v);
    return 1;
}
// Sizes of the window and the pixel format: positive atoi values.
int32_t run_options::*const size_fields[] = {&run_options::width, &run_options::height, &run_options::colour_bits,
                                             &run_options::depth_bits};
const char* const size_names[] = {"--width", "--height", "--depth", "--zdepth"};
int size_value(parse_context& c, const char* name, const char* v)
{
    for (int i = 0; i < 4; i++)
        if (strcmp(name, size_names[i]) == 0) return scan_size(v, &(c.o->*size_fields[i])) ? 1 : bad(c, name);
    return bad(c, name);
}

option_row int_row(const char* name, int32_t run_options::*field, int32_t lo, int32_t hi)
{
    option_row r{name, int_value, nullptr};
    r.rule = clamp_to_range;
    r.int_field = field;
    r.lo = lo;
    r.hi = hi;
    return r;
}

option_row float_row(const char* name, double run_options::*field, store_rule rule, double lo, double hi,
                     double scale = 1)
{
    option_row r{name, float_value, nullptr};
    r.rule = rule;
    r.float_field = field;
    r.lo = lo;
    r.hi = hi;
    r.scale = scale;
    return r;
}

constexpr double unbounded = 1e300;

const option_row option_table[] = {
    {"--fugly", flag, FLAG(fugly, 1)},
    {"--nosound", flag, FLAG(no_sound, 1)},
    {"--novertexarrays", flag, ignore},
    {"--learn", flag, FLAG(learn_lines, 1)},
    {"--nolearn", flag, FLAG(learn_lines, 0)},
    {"--nommx", flag, ignore},
    {"--debug", flag, FLAG(verbose, 1)},
    {"--super-debug", flag, FLAG(verbose, 2)},
    {"--practice", flag, FLAG(practice, 1)},
    {"--warp", flag, FLAG(warp, 1)},
    int_row("--texture-detail", &run_options::texture_reduction, 0, 4),
    {"--ground-texture-detail", int_value, checked_int},
    int_row("--roostfrequency", &run_options::roost_frequency, 0, 1000),
    // Stored in 1/1024 units: floor(clamp(v, 0, 100) x 1024).
    {"--erode", float_value,
     [](parse_context& c, const char* name, const char* v) {
         double x;
         if (!scan_float(v, &x)) return bad(c, name);
         c.o->erosion = int32_t(std::floor(clamp_double(x, 0, 100) * 1024));
         return 1;
     }},
    float_row("--detail", &run_options::ground_lod_step, clamp_to_range, -unbounded, unbounded),
    {"--max-detail-distance", float_value, checked_float},
    float_row("--lod-scale", &run_options::lod_scale, clamp_to_range, 0.000001, 1000000),
    float_row("--lod-bias", &run_options::lod_bias, clamp_to_range, -unbounded, unbounded),
    // 1..1000 frames a second: a tiny rate would ask for thousands of tics a
    // frame, and an unbounded one for a zero step.
    float_row("--lock-fps", &run_options::lock_fps, refuse_outside_range, 1, 1000),
    float_row("--fake-lag", &run_options::fake_lag, clamp_to_range, 0, 1, 0.001),
    int_row("--fake-loss", &run_options::fake_loss, 0, 100),
    {"--record-audio", text_value,
     [](parse_context& c, const char* name, const char* v) {
         if (!v || !*v) return bad(c, name);
         c.o->record_audio = v;
         return 1;
     }},
    {"--record-video", flag, FLAG(record_video, 1)},
    // Stored as 0..159, so a negative rotation is a rotation the other way
    // and never an index below the line-up.
    {"--rotate-lineup", int_value,
     [](parse_context& c, const char* name, const char* v) {
         int32_t n;
         if (!scan_int(v, &n)) return bad(c, name);
         c.o->rotate_lineup = ((n % 160) + 160) % 160;
         return 1;
     }},
    {"--editor", flag, FLAG(editor, 1)},
    {"--hidden-pause", flag, FLAG(paused_text_shown, 0)},
    {"--hidden-hud", flag, FLAG(hud_shown, 0)},
    {"--hidden-scoreboard", flag, FLAG(scoreboard_shown, 0)},
    {"--bikes", text_value,
     [](parse_context& c, const char* name, const char* v) {
         if (!v) return bad(c, name);
         fprintf(stderr, "--bikes doesn't do anything anymore\n");
         return 1;
     }},
    {"--width", int_value, size_value},
    {"--height", int_value, size_value},
    {"--depth", int_value, size_value},
    {"--zdepth", int_value, size_value},
    {"--draw-fps", int_value, draw_line},
    {"--draw-time", int_value, draw_line},
    {"--draw-ping", int_value, draw_line},
    {"--draw-speed", int_value, draw_line},
    {"--draw-render-stats", int_value, draw_line},
    {"--accurate-skip", flag, FLAG(accurate_skip, 1)},
    {"--track", text_value,
     [](parse_context& c, const char* name, const char* v) {
         if (!v || !*v) return bad(c, name);
         c.o->track = v;
         return 1;
     }},
    {"--connect", text_value,
     [](parse_context& c, const char* name, const char* v) {
         if (!v) return bad(c, name);
         if (strncmp(v, "zentrik:", 8) == 0) v += 8;
         if (!*v) return bad(c, name);
         c.o->connect = v;
         return 1;
     }},
    {"--password", text_value,
     [](parse_context& c, const char* name, const char* v) {
         if (!v) return bad(c, name);
         c.o->password = v;
         return 1;
     }},
    {"--chase-center", text_value,
     [](parse_context& c, const char* name, const char* v) {
         float p[3];
         if (!v || sscanf(v, "%f,%f,%f", &p[0], &p[1], &p[2]) != 3) return bad(c, name);
         for (float x : p)
             if (!std::isfinite(x)) return bad(c, name);
         memcpy(c.o->chase_centre, p, sizeof p);
         return 1;
     }},
    {"--open-home", flag, [](parse_context&, const char*, const char*) { return 2; }},
    {"--glfinish", flag, FLAG(gl_finish, 1)},
    {"--glversion", text_value,
     [](parse_context& c, const char*, const char* v) {
         int major, minor;
         char dialect[16] = "";
         if (!v || sscanf(v, "%d.%d%15s", &major, &minor, dialect) < 2) {
             fail(c, "bad arg for %s\n", "--glversion");
             return 1;
         }
         int d;
         if (!dialect[0] || strcmp(dialect, "compatibility") == 0) d = 0;
         else if (strcmp(dialect, "core") == 0) d = 1;
         else if (strcmp(dialect, "es") == 0) d = 2;
         else {
             fail(c, "%s", "unknown OpenGL dialect for --glversion (must be 'compatibility', 'core' or 'es')\n");
             return 1;
         }
         c.o->gl_major = major;
         c.o->gl_minor = minor;
         c.o->gl_dialect = d;
         return 1;
     }},
    {"--print-orientation", flag, FLAG(print_orientation, 1)},
    {"--terrain-wireframe", flag, FLAG(terrain_wireframe, 1)},
    {"--disable-tmesh", flag, FLAG(terrain_sub_mesh, 0)},
    {"--debug-ground-textures", flag, FLAG(ground_texture_debug, 1)},
    {"--console-commands", text_value,
     [](parse_context& c, const char* name, const char* v) {
         if (!v) return bad(c, name);
         c.o->console_commands = v;
         return 1;
     }},
};

// A table row's own storing of its number.
int store_number(parse_context& c, const option_row& row, const char* v)
{
    if (row.int_field) {
        int32_t n;
        if (!scan_int(v, &n)) return bad(c, row.name);
        c.o->*row.int_field = clamp_int(n, int32_t(row.lo), int32_t(row.hi));
        return 1;
    }
    double x;
    if (!scan_float(v, &x)) return bad(c, row.name);
    x *= row.scale;
    if (row.rule == refuse_outside_range && (x < row.lo || x > row.hi)) return bad(c, row.name);
    c.o->*row.float_field = clamp_double(x, row.lo, row.hi);
    return 1;
}

#undef FLAG

}  // namespace

int parse_command_line(int argc, char** argv, run_options* o, char* message, int message_size)
{
    option_cursor cursor{argc, argv, 0};
    parse_context c{&cursor, o, message, message_size, 0};
    if (message_size > 0) message[0] = 0;
    while (cursor.remaining > 0) {
        const char* arg = cursor.next[0];
        if (!cursor.options_ended && strcmp(arg, "--") == 0) {
            cursor.options_ended = 1;
            cursor.next++;
            cursor.remaining--;
            continue;
        }
        if (cursor.options_ended || arg[0] != '-') {
            if (o->file) {
                fail(c, "%s", "Too many files!\n");
                return command_line_error;
            }
            o->file = arg;
            cursor.next++;
            cursor.remaining--;
            continue;
        }
        bool matched = false;
        for (const option_row& row : option_table) {
            const char* value = nullptr;
            bool hit = row.kind == flag ? option_flag(&cursor, row.name) : option_value(&cursor, row.name, &value);
            if (!hit) continue;
            matched = true;
            int r = row.rule == own_handler ? row.handle(c, row.name, value) : store_number(c, row, value);
            if (c.failed) return command_line_error;
            if (r == 2) return command_line_open_home;
            break;
        }
        if (!matched) {
            fail(c, "bad option '%s'\n", arg);
            return command_line_error;
        }
    }
    return command_line_run;
}
