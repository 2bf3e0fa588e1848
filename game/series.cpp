#include "game/series.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/util.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/track_list.h"
#include "physics/lap_timing.h"
#include "platform/vesk_log.h"
#include "ui/console.h"

points_series* series_table;
int32_t series_count;
int32_t running_series = -1;
int32_t running_event = -1;
int32_t series_verbose;

namespace {

// Minutes and laps beyond these come from a damaged file: a day's race, and
// as many laps as a time trial asks for.
constexpr int32_t minutes_limit = 24 * 60;
constexpr int32_t laps_limit = 1000;
// Points far beyond any table keep the totals of 1024 events clear of
// overflow and of the round's reset value.
constexpr int32_t points_limit = 1000000;
constexpr int64_t round_reset_total = -1000000;
// A rank past every listed one scores nothing.
constexpr int32_t no_round_rank = rider_slot_count - 1;

// One text field: up to 1023 characters between double quotes, or else one
// word of up to 1023 characters. 0 at the end of the file or with no closing
// quote.
int read_text(vfs_stream* s, char* out)
{
    int c = vfs_getc(s);
    while (c >= 0 && isspace(c)) c = vfs_getc(s);
    if (c < 0) return 0;
    int n = 0;
    if (c == '"') {
        while ((c = vfs_getc(s)) >= 0 && c != '"')
            if (n < series_text_size - 1) out[n++] = char(c);
        out[n] = 0;
        return c == '"';
    }
    out[n++] = char(c);
    while ((c = vfs_getc(s)) >= 0 && !isspace(c)) {
        if (n == series_text_size - 1) {
            s->lookahead = c;  // the rest is the next field, as "%1023s" leaves it
            break;
        }
        out[n++] = char(c);
    }
    out[n] = 0;
    return 1;
}

int read_int(vfs_stream* s, int32_t* v) { return vfs_scanf(s, "%d", v) == 1; }

int fail(points_series* series, vfs_stream* s, const char* format, ...) __attribute__((format(printf, 3, 4)));
int fail(points_series* series, vfs_stream* s, const char* format, ...)
{
    char what[256];
    va_list args;
    va_start(args, format);
    vsnprintf(what, sizeof what, format, args);
    va_end(args);
    console_printf("Series \"%.150s\": %s", series->name, what);
    if (s) vfs_close(s);
    series_free(series);
    return 0;
}

int32_t skill_of(const char* word)
{
    if (strcmp(word, "Novice") == 0) return 0;
    if (strcmp(word, "Amateur") == 0) return 1;
    return 2;
}

// Reads one event; a message names what is wrong.
int read_event(vfs_stream* s, series_event* e, int32_t index, char* why, int why_size)
{
    memset(e, 0, sizeof *e);
    if (!read_text(s, e->name) || !read_text(s, e->track)) {
        snprintf(why, why_size, "event %d is missing its name or track", index + 1);
        return 0;
    }
    e->track_index = track_list_find(e->track);
    if (e->track_index < 0) {
        snprintf(why, why_size, "event %d names track \"%.100s\", which is not installed", index + 1, e->track);
        return 0;
    }
    if (!read_int(s, &e->minutes) || !read_int(s, &e->laps)) {
        snprintf(why, why_size, "event %d is missing its minutes or laps", index + 1);
        return 0;
    }
    if (e->minutes < 0 || e->minutes > minutes_limit || e->laps < 0 || e->laps > laps_limit) {
        snprintf(why, why_size, "event %d has %d minutes and %d laps (0..%d and 0..%d)", index + 1, e->minutes, e->laps,
                 minutes_limit, laps_limit);
        return 0;
    }
    for (int32_t list = 0; list < 2; list++) {
        int32_t* values = list == 0 ? e->points : e->round_points;
        for (int32_t i = 0; i < series_listed_points; i++) {
            if (!read_int(s, &values[i])) {
                snprintf(why, why_size, "event %d: list %d has %d of its %d values", index + 1, list + 1, i,
                         series_listed_points);
                return 0;
            }
            if (values[i] < -points_limit || values[i] > points_limit) {
                snprintf(why, why_size, "event %d: list %d value %d is beyond +-%d", index + 1, list + 1, values[i],
                         points_limit);
                return 0;
            }
        }
    }
    for (int32_t& r : e->round_ranks) r = no_round_rank;
    return 1;
}

// Whole events of places, n + 1 a line; the first event that can't be read
// whole, or that holds a place outside 1..n+1, ends the standings.
void read_standings(points_series* series)
{
    vfs_stream* s = vfs_open(series->standings_name, "r");
    if (!s) return;
    int32_t n = series->lineup_size;
    int32_t place[rider_slot_count];
    while (series->events_done < series->event_count) {
        int32_t k = 0;
        for (; k <= n; k++) {
            if (!read_int(s, &place[k])) break;
            if (place[k] < 1 || place[k] > n + 1) {
                console_printf("Series standings \"%.150s\": event %d has place %d outside 1..%d; it and later events "
                               "are not counted",
                               series->standings_name, series->events_done + 1, place[k], n + 1);
                break;
            }
        }
        if (k <= n) break;
        series_event* e = &series->events[series->events_done++];
        for (k = 0; k <= n; k++) e->places[k] = place[k] - 1;
    }
    vfs_close(s);
}

} // namespace

void series_free(points_series* series)
{
    alloc_check_free(series->events);
    series->events = nullptr;
    series->event_count = 0;
    series->events_done = 0;
}

int series_list_build()
{
    series_list_free();
    const char* const* names = vfs_build_index();
    int n = 0;
    for (int i = 0; names && names[i]; i++)
        if (ends_with(names[i], ".series")) n++;
    if (n == 0) return 0;
    series_table = static_cast<points_series*>(alloc_check_malloc(uint64_t(n) * sizeof(points_series)));
    if (!series_table) return 0;
    for (int i = 0; names[i]; i++)
        if (ends_with(names[i], ".series") && series_read(&series_table[series_count], names[i])) series_count++;
    return series_count > 0;
}

void series_list_free()
{
    for (int32_t i = 0; i < series_count; i++) series_free(&series_table[i]);
    alloc_check_free(series_table);
    series_table = nullptr;
    series_count = 0;
    running_series = running_event = -1;
}

int series_read(points_series* series, const char* name)
{
    memset(series, 0, sizeof *series);
    snprintf(series->name, sizeof series->name, "%s", name);
    int room = snprintf(series->standings_name, sizeof series->standings_name, "@%s_standings", name);
    char path[vfs_path_max + 1];
    int path_room = snprintf(path, sizeof path, "@%s", name);
    if (room >= int(sizeof series->standings_name) || path_room >= int(sizeof path))
        return fail(series, nullptr, "the name is too long");
    vfs_stream* s = vfs_open(path, "r");
    if (!s) return fail(series, nullptr, "can't open the file");

    char skill[series_text_size];
    int32_t n;
    if (!read_text(s, series->title)) return fail(series, s, "no title");
    if (vfs_scanf(s, "%d %1023s", &n, skill) != 2) return fail(series, s, "no line-up size and skill");
    if (n < 0 || n > series_lineup_limit)
        return fail(series, s, "line-up of %d riders (0..159)", n);
    series->lineup_size = n;
    series->skill = skill_of(skill);
    for (int32_t i = 0; i < n; i++)
        if (!read_int(s, &series->numbers[i])) return fail(series, s, "race number %d is missing", i + 1);
    int32_t events;
    if (!read_int(s, &events)) return fail(series, s, "no event count");
    if (events < 0 || events > series_event_limit) return fail(series, s, "%d events (0..1024)", events);
    if (series_verbose) vesk_log("series %s (%s)\n", series->title, name);

    series->events = static_cast<series_event*>(alloc_check_malloc(uint64_t(events > 0 ? events : 1) * sizeof(series_event)));
    if (!series->events) return fail(series, s, "no memory for %d events", events);
    series->event_count = events;
    for (int32_t i = 0; i < events; i++) {
        char why[256];
        if (!read_event(s, &series->events[i], i, why, sizeof why)) return fail(series, s, "%s", why);
        if (series_verbose) vesk_log("  event %s (%s)\n", series->events[i].name, series->events[i].track);
    }
    vfs_close(s);
    read_standings(series);
    series_tally(series);
    return 1;
}

void series_tally(points_series* series)
{
    int32_t n = series->lineup_size;
    int64_t total[rider_slot_count] = {};
    for (int32_t e = 0; e < series->events_done; e++) {
        series_event* ev = &series->events[e];
        for (int32_t k = 0; k <= n; k++) total[k] += series_place_points(ev, k);
        for (int32_t& r : ev->round_ranks) r = no_round_rank;
        if (ev->round_points[0] == 0) continue;
        // The event ends a round: rank by running total, then the better
        // place here, then the lower entrant; every total then restarts
        // from one base.
        bool ranked[rider_slot_count] = {};
        for (int32_t rank = 0; rank <= n; rank++) {
            int32_t best = -1;
            for (int32_t k = 0; k <= n; k++) {
                if (ranked[k]) continue;
                if (best < 0 || total[k] > total[best] ||
                    (total[k] == total[best] && ev->places[k] < ev->places[best]))
                    best = k;
            }
            ranked[best] = true;
            ev->round_ranks[best] = rank;
            total[best] = round_reset_total;
        }
    }
}

int32_t series_place_points(const series_event* event, int32_t entrant)
{
    if (entrant < 0 || entrant >= rider_slot_count) return 0;
    int32_t place = event->places[entrant];
    return place >= 0 && place < rider_slot_count ? event->points[place] : 0;
}

int32_t series_round_points(const series_event* event, int32_t entrant)
{
    if (entrant < 0 || entrant >= rider_slot_count) return 0;
    int32_t rank = event->round_ranks[entrant];
    return rank >= 0 && rank < rider_slot_count ? event->round_points[rank] : 0;
}

int series_write_standings(const points_series* series)
{
    char temp[vfs_path_max + 8];
    snprintf(temp, sizeof temp, "%s.new", series->standings_name);
    vfs_stream* s = vfs_open(temp, "wb");
    if (!s) return 0;
    bool ok = true;
    for (int32_t e = 0; e < series->events_done; e++) {
        for (int32_t k = 0; k <= series->lineup_size; k++)
            ok = ok && vfs_printf(s, "%d ", series->events[e].places[k] + 1) >= 0;
        ok = ok && vfs_printf(s, "\n") >= 0;
    }
    ok = ok && vfs_flush(s) == 0 && !ferror(s->host);
    vfs_close(s);
    if (ok && vfs_rename(temp, series->standings_name)) return 1;
    char path[vfs_path_max];
    if (vfs_resolve_for_write(temp, path, sizeof path)) remove(path);
    console_printf("Can't write \"%.150s\"; the standings stay as they were", series->standings_name);
    return 0;
}

void series_update()
{
    points_series* series =
        running_series >= 0 && running_series < series_count ? &series_table[running_series] : nullptr;
    if (series && running_event >= 0 && running_event == series->events_done && running_event < series->event_count) {
        int32_t n = series->lineup_size;
        series_event* ev = &series->events[running_event];
        for (int32_t k = 0; k <= n; k++) ev->places[k] = n;
        const race_order_entry* table = results_final ? race_results : race_order;
        int32_t count = results_final ? race_results_count : race_order_count;
        int32_t next = 0;
        for (int32_t e = 0; e < count; e++) {
            int slot = table[e].slot;
            if (slot < 0 || slot >= rider_slot_count || !rider_table[slot]) continue;
            rider* r = rider_table[slot];
            if (slot_status[slot] == slot_driven_by_player) {
                if (results_final || (rider_has_finished(r) && rider_penalty(r) == 0)) ev->places[n] = next++;
                continue;
            }
            for (int32_t j = 0; j < n; j++) {
                char number[16];
                snprintf(number, sizeof number, "%d", series->numbers[j]);
                if (strcmp(number, r->number) == 0) {
                    ev->places[j] = next++;
                    break;
                }
            }
        }
        series->events_done++;
        series_tally(series);
        running_event = -1;
        series_write_standings(series);
    }
    running_series = -1;
    running_event = -1;
}
