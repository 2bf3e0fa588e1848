// A sample points series over the two generated tracks, with the standings
// of its first two events, so the series pages and the tally have real
// input (docs/series.md).
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace {

// Entrants by race number: riders of the computer riders' table (numbers
// 20 to 99), so each event can line them up.
const int entrants[] = {21, 24, 33, 42, 47, 55, 61, 68, 77};

struct sample_event {
    const char* name;
    const char* track;
    int minutes, laps;
    bool ends_round;
};

const sample_event events[] = {
    {"Practice Ground Opener", "tracks/practice", 0, 3, false},
    {"Stadium Night", "tracks/stadium", 0, 5, true},
    {"Practice Ground Moto", "tracks/practice", 8, 0, false},
    {"Stadium Final", "tracks/stadium", 0, 6, true},
};

// Points by place: 25, 22, 20, 18, 16, then one less a place down to 1,
// and nothing from the 21st on; list 2 gives twice that by round rank.
std::string points_line(int scale)
{
    const int top[] = {25, 22, 20, 18, 16};
    std::string line;
    for (int place = 0; place < 40; place++) {
        int p = place < 5 ? top[place] : place < 20 ? 20 - place : 0;
        line.append(std::to_string(p * scale)).append(place == 39 ? "\n" : " ");
    }
    return line;
}

// 1-based places of the nine entrants and then the player, one line per
// event raced.
const char* const standings = "3 1 5 2 7 4 9 6 10 8 \n"
                              "1 4 2 6 3 5 10 8 9 7 \n";

int write_series(const std::string& root)
{
    std::string text = "\"Two Track Cup\"\n";
    text.append(std::to_string(sizeof entrants / sizeof entrants[0])).append(" Amateur\n");
    for (int n : entrants) text.append(std::to_string(n)).append(" ");
    text.append("\n").append(std::to_string(sizeof events / sizeof events[0])).append("\n");
    for (const sample_event& e : events) {
        text.append("\"").append(e.name).append("\" \"").append(e.track).append("\"\n");
        text.append(std::to_string(e.minutes)).append(" ").append(std::to_string(e.laps)).append("\n");
        text += points_line(1);
        text += e.ends_round ? points_line(2) : points_line(0);
    }
    return datagen_write_text(root, "series/two_track_cup.series", text) &&
           datagen_write_text(root, "series/two_track_cup.series_standings", standings);
}

} // namespace

DATAGEN_STEP("60_series", write_series);
