// Points series: reading the series and standings files, hostile files, the
// tally of round ranks, and recording a race into the standings.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "core/vfs_test_util.h"
#include "game/race_reset.h"
#include "game/results.h"
#include "game/series.h"
#include "game/track_list.h"
#include "physics/lap_timing.h"

namespace {

const char* const track_names[] = {"tracks/practice/terrain.hf", "tracks/stadium/terrain.hf", nullptr};

// One event as the file writes it: 40 points by place, 40 round points.
struct event_text {
    std::string name, track;
    std::string minutes_laps = "0 3";
    std::vector<int> points, round_points;
};

std::vector<int> descending(int top, int step, int count = 40)
{
    std::vector<int> v;
    for (int i = 0; i < count; i++) v.push_back(top - step * i);
    return v;
}

// The event count written is the events given unless announced says otherwise.
std::string series_text(const std::string& head, const std::vector<event_text>& events, int announced = INT_MIN)
{
    std::string t = head + "\n" + std::to_string(announced == INT_MIN ? int(events.size()) : announced) + "\n";
    for (const event_text& e : events) {
        t += e.name + " " + e.track + "\n" + e.minutes_laps + "\n";
        for (int v : e.points) t += std::to_string(v) + " ";
        t += "\n";
        for (int v : e.round_points) t += std::to_string(v) + " ";
        t += "\n";
    }
    return t;
}

class SeriesTest : public vfs_test::roots_fixture {
protected:
    void SetUp() override
    {
        roots_fixture::SetUp();
        track_list_build_from(track_names);
        series = {};
    }
    void TearDown() override
    {
        series_free(&series);
        track_list_free();
        series_table = nullptr;
        series_count = 0;
        running_series = running_event = -1;
        roots_fixture::TearDown();
    }
    void put(const std::string& name, const std::string& text) { vfs_test::write_all(home + name, text); }
    points_series series;
};

// Two entrants, three events; the standings hold two whole lines and half
// of a third.
TEST_F(SeriesTest, ReadsTheSeriesAndTheWholeLinesOfItsStandings)
{
    event_text round = {"\"Opening Round\"", "tracks/practice", "10 0", descending(40, 1), descending(25, 0)};
    event_text mid = {"Midweek", "\"tracks/stadium\"", "0 5", descending(100, 2), std::vector<int>(40, 0)};
    put("series/cup.series",
        series_text("\"The Winter Cup\" 2 Amateur 7 12", {round, mid, round}));
    put("series/cup.series_standings", "2 1 3\n1 3 2\n3 1\n");
    ASSERT_TRUE(series_read(&series, "series/cup.series")) << last_message();
    EXPECT_STREQ(series.title, "The Winter Cup");
    EXPECT_STREQ(series.standings_name, "@series/cup.series_standings");
    EXPECT_EQ(series.skill, 1);
    ASSERT_EQ(series.lineup_size, 2);
    EXPECT_EQ(series.numbers[0], 7);
    EXPECT_EQ(series.numbers[1], 12);
    ASSERT_EQ(series.event_count, 3);
    EXPECT_EQ(series.events_done, 2) << "the half line does not count";
    const series_event& e0 = series.events[0];
    EXPECT_STREQ(e0.name, "Opening Round");
    EXPECT_EQ(e0.track_index, 0);
    EXPECT_EQ(e0.minutes, 10);
    EXPECT_EQ(e0.laps, 0);
    EXPECT_EQ(e0.points[0], 40);
    EXPECT_EQ(e0.points[39], 1);
    EXPECT_EQ(e0.points[40], 0) << "places past the 40th score nothing";
    EXPECT_EQ(e0.round_points[39], 25);
    EXPECT_EQ(e0.round_points[40], 0);
    EXPECT_STREQ(series.events[1].name, "Midweek");
    EXPECT_EQ(series.events[1].track_index, 1);
    EXPECT_EQ(series.events[1].laps, 5);
    // Places are stored 0-based: entrant 0, entrant 1, the player.
    EXPECT_EQ(e0.places[0], 1);
    EXPECT_EQ(e0.places[1], 0);
    EXPECT_EQ(e0.places[2], 2);
    EXPECT_EQ(series.events[1].places[1], 2);

    // Without standings nothing has been raced yet; other skill words are Expert.
    series_free(&series);
    std::filesystem::remove(home + "series/cup.series_standings");
    put("series/cup.series", series_text("Cup 0 Pro", {round}));
    ASSERT_TRUE(series_read(&series, "series/cup.series"));
    EXPECT_EQ(series.events_done, 0);
    EXPECT_EQ(series.skill, 2);
    EXPECT_EQ(series.lineup_size, 0);
}

// Every bad file gives 0 and one line naming the file and what is wrong.
TEST_F(SeriesTest, HostileSeriesFilesFailWithOneLine)
{
    event_text good = {"E", "tracks/practice", "5 0", descending(40, 1), descending(10, 0)};
    event_text short_list = good;
    short_list.points.pop_back();  // 39 values: the 40th read takes list 2's first
    event_text unknown_track = good;
    unknown_track.track = "tracks/moon";
    event_text long_race = good;
    long_race.minutes_laps = "99999999 0";
    event_text negative_laps = good;
    negative_laps.minutes_laps = "5 -2";
    event_text wild_points = good;
    wild_points.points[3] = 2000000000;
    std::string whole = series_text("Cup 1 Novice 7", {good, good});
    struct row {
        const char* what;
        std::string text;
        const char* says;
    };
    const row rows[] = {
        {"empty", "", "no title"},
        {"open quote", "\"Cup 1 Novice 7\n1\n", "no title"},
        {"no line-up", "Cup\n", "no line-up size and skill"},
        {"negative line-up", series_text("Cup -1 Novice", {good}), "line-up of -1 riders (0..159)"},
        {"line-up of 160", series_text("Cup 160 Novice", {good}), "line-up of 160 riders (0..159)"},
        {"missing race number", "Cup 3 Novice 7 12\n", "race number 3 is missing"},
        {"1025 events", series_text("Cup 1 Novice 7", {good}, 1025), "1025 events (0..1024)"},
        {"negative events", series_text("Cup 1 Novice 7", {good}, -4), "-4 events (0..1024)"},
        {"fewer events than announced", series_text("Cup 1 Novice 7", {good}, 2), "event 2 is missing its name or track"},
        {"39 values in list 1", series_text("Cup 1 Novice 7", {short_list}), "event 1: list 2 has 39 of its 40 values"},
        {"39 values followed by another event", series_text("Cup 1 Novice 7", {short_list, good}),
         "event 1: list 2 has 39 of its 40 values"},
        {"track not installed", series_text("Cup 1 Novice 7", {unknown_track}),
         "event 1 names track \"tracks/moon\", which is not installed"},
        {"a race of 190 years", series_text("Cup 1 Novice 7", {long_race}),
         "event 1 has 99999999 minutes and 0 laps (0..1440 and 0..1000)"},
        {"negative laps", series_text("Cup 1 Novice 7", {negative_laps}),
         "event 1 has 5 minutes and -2 laps (0..1440 and 0..1000)"},
        {"points beyond any table", series_text("Cup 1 Novice 7", {wild_points}),
         "event 1: list 1 value 2000000000 is beyond +-1000000"},
        {"cut in the middle of list 2", whole.substr(0, whole.size() - 40), "event 2: list 2 has"},
    };
    for (const row& r : rows) {
        put("series/bad.series", r.text);
        console_clear();
        EXPECT_EQ(series_read(&series, "series/bad.series"), 0) << r.what;
        std::string line = last_message();
        EXPECT_EQ(line.rfind("Series \"series/bad.series\": ", 0), 0u) << r.what << ": " << line;
        EXPECT_NE(line.find(r.says), std::string::npos) << r.what << ": " << line;
        EXPECT_EQ(series.events, nullptr) << r.what;
        EXPECT_EQ(series.event_count, 0) << r.what;
        EXPECT_EQ(std::string(console_recent_line(2, 0)), "") << r.what << ": one line only";
    }
    console_clear();
    EXPECT_EQ(series_read(&series, "series/none.series"), 0);
    EXPECT_EQ(last_message(), "Series \"series/none.series\": can't open the file");
}

// A title far longer than a text field keeps its first 1023 characters.
TEST_F(SeriesTest, OversizedTextsAreCut)
{
    event_text good = {"\"" + std::string(5000, 'e') + "\"", "tracks/practice", "5 0", descending(40, 1),
                       descending(10, 0)};
    put("series/long.series", series_text("\"" + std::string(3000, 't') + "\" 0 Novice", {good}));
    ASSERT_TRUE(series_read(&series, "series/long.series")) << last_message();
    EXPECT_EQ(std::string(series.title), std::string(1023, 't'));
    EXPECT_EQ(std::string(series.events[0].name), std::string(1023, 'e'));
    // An unquoted word stops at 1023 characters and the rest is the next
    // field, which here is not the line-up size it should be.
    series_free(&series);
    put("series/long.series", series_text(std::string(1500, 't') + " 0 Novice", {good}));
    EXPECT_EQ(series_read(&series, "series/long.series"), 0);
    EXPECT_EQ(last_message(), "Series \"series/long.series\": no line-up size and skill");
}

TEST_F(SeriesTest, StandingsStopAtTheFirstBadOrPartialEvent)
{
    event_text good = {"E", "tracks/practice", "5 0", descending(40, 1), descending(10, 0)};
    put("series/cup.series", series_text("Cup 2 Novice 7 12", {good, good, good, good}));
    struct row {
        const char* standings;
        int32_t done;
        const char* says;  // the message, or "" for none
    };
    const row rows[] = {
        {"1 2 3\n3 2 1\n", 2, ""},
        {"1 2 3 3 2 1 2 1 3", 3, ""},  // line breaks mean nothing
        {"1 2 3\n3 2\n", 1, ""},        // half a line
        {"1 2 3\n3 x 1\n", 1, ""},      // not a number
        {"1 2 3\n0 2 1\n1 2 3\n", 1, "event 2 has place 0 outside 1..3"},
        {"4 2 1\n", 0, "event 1 has place 4 outside 1..3"},
        {"1 2 -5\n", 0, "event 1 has place -5 outside 1..3"},
        {"1 2 3 1 2 3 1 2 3 1 2 3 1 2 3\n", 4, ""},  // no more than the series has
    };
    for (const row& r : rows) {
        put("series/cup.series_standings", r.standings);
        console_clear();
        ASSERT_TRUE(series_read(&series, "series/cup.series")) << r.standings;
        EXPECT_EQ(series.events_done, r.done) << r.standings;
        std::string line = last_message();
        if (*r.says)
            EXPECT_NE(line.find(r.says), std::string::npos) << r.standings << ": " << line;
        else
            EXPECT_EQ(line, "") << r.standings;
        series_free(&series);
    }
}

// Places past the 40th and round ranks past the 40th score nothing.
TEST_F(SeriesTest, PlacesAndRanksBeyondTheFortiethScoreNothing)
{
    const int n = 45;  // 46 riders with the player
    std::string head = "Big 45 Expert";
    for (int k = 0; k < n; k++) head.append(" ").append(std::to_string(k + 1));
    // Points 100, 98, ... 22 by place; round points 50 down to 11.
    event_text round = {"R", "tracks/practice", "5 0", descending(100, 2), descending(50, 1)};
    put("series/big.series", series_text(head, {round}));
    std::string places;
    for (int k = 0; k <= n; k++) places += std::to_string(k + 1) + " ";  // entrant k finishes k+1th
    put("series/big.series_standings", places + "\n");
    ASSERT_TRUE(series_read(&series, "series/big.series")) << last_message();
    ASSERT_EQ(series.events_done, 1);
    const series_event* e = &series.events[0];
    struct row {
        int32_t entrant, points, round_points;
    };
    const row rows[] = {{0, 100, 50}, {1, 98, 49}, {39, 22, 11}, {40, 0, 0}, {44, 0, 0}, {45, 0, 0}};
    for (const row& r : rows) {
        EXPECT_EQ(series_place_points(e, r.entrant), r.points) << r.entrant;
        EXPECT_EQ(series_round_points(e, r.entrant), r.round_points) << r.entrant;
        EXPECT_EQ(e->round_ranks[r.entrant], r.entrant) << "ranked by total, here the place";
    }
}

// Two entrants and the player over three events; events 2 and 3 end rounds.
// Points 10, 5, 0 by place. After event 2: entrant 0 has 10 + 5 = 15,
// entrant 1 5 + 10 = 15, the player 0: the tie goes to entrant 1, first in
// event 2. Event 3 restarts every total from one base, so its ranks follow
// its places alone.
TEST_F(SeriesTest, TallyRanksRoundsByTotalThenPlace)
{
    std::vector<int> points = {10, 5};
    points.resize(40, 0);
    event_text plain = {"A", "tracks/practice", "5 0", points, std::vector<int>(40, 0)};
    event_text round = {"B", "tracks/stadium", "5 0", points, descending(20, 1)};
    put("series/cup.series", series_text("Cup 2 Novice 7 12", {plain, round, round}));
    put("series/cup.series_standings", "1 2 3\n2 1 3\n2 3 1\n");
    ASSERT_TRUE(series_read(&series, "series/cup.series"));
    ASSERT_EQ(series.events_done, 3);
    const int32_t want[3][3] = {{159, 159, 159}, {1, 0, 2}, {1, 2, 0}};
    for (int e = 0; e < 3; e++)
        for (int k = 0; k < 3; k++) EXPECT_EQ(series.events[e].round_ranks[k], want[e][k]) << e << " " << k;
    EXPECT_EQ(series_round_points(&series.events[1], 1), 20);
    EXPECT_EQ(series_round_points(&series.events[1], 2), 18);
    EXPECT_EQ(series_round_points(&series.events[0], 0), 0) << "no round ends there";
}

class SeriesUpdateTest : public SeriesTest {
protected:
    void SetUp() override
    {
        SeriesTest::SetUp();
        riders_init_all();
        const char* numbers[3] = {"1", "12", "7"};
        for (int s = 0; s < 3; s++) {
            rider_table[s] = rider_create("kx450f(2016)", s, 0, numbers[s], nullptr, nullptr, nullptr, nullptr);
            slot_status[s] = s == 0 ? slot_driven_by_player : slot_driven_by_autopilot;
        }
        event_text good = {"E", "tracks/practice", "5 0", descending(40, 1), descending(10, 0)};
        put("series/cup.series", series_text("Cup 3 Novice 7 12 99", {good, good, good}));
        put("series/cup.series_standings", "1 2 3 4\n");
        ASSERT_TRUE(series_read(&series, "series/cup.series"));
        series_table = &series;
        series_count = 1;
        // Finished in the order slot 1 (number 12), slot 0 (the player),
        // slot 2 (number 7); number 99 did not ride.
        race_results[0] = {1, 8, 1800};
        race_results[1] = {0, 8, 1850};
        race_results[2] = {2, 8, 1900};
        race_results_count = 3;
        results_final = 1;
    }
    void TearDown() override
    {
        for (int s = 0; s < 3; s++) {
            rider_destroy(rider_table[s]);
            rider_table[s] = nullptr;
            slot_status[s] = slot_driven_by_history;
        }
        race_results_count = 0;
        results_final = 0;
        SeriesTest::TearDown();
    }
};

TEST_F(SeriesUpdateTest, TheNextEventIsRecordedAndTheStandingsRewritten)
{
    running_series = 0;
    running_event = 1;
    series_update();
    EXPECT_EQ(series.events_done, 2);
    EXPECT_EQ(running_series, -1);
    EXPECT_EQ(running_event, -1);
    // 1-based places of numbers 7, 12, 99 and the player: 99 is last (4th).
    EXPECT_EQ(read_name("@series/cup.series_standings"), "1 2 3 4 \n3 1 4 2 \n");
    EXPECT_FALSE(std::filesystem::exists(home + "series/cup.series_standings.new"));

    // Not the next event: nothing recorded, the running series forgotten.
    running_series = 0;
    running_event = 0;
    series_update();
    EXPECT_EQ(series.events_done, 2);
    EXPECT_EQ(running_series, -1);
    EXPECT_EQ(read_name("@series/cup.series_standings"), "1 2 3 4 \n3 1 4 2 \n");
}

// The new standings go to a second name first: when they can't be written
// whole, the old file stays as it was.
TEST_F(SeriesUpdateTest, AFailedWriteLeavesTheOldStandingsWhole)
{
    std::filesystem::create_directories(home + "series/cup.series_standings.new");
    running_series = 0;
    running_event = 1;
    console_clear();
    series_update();
    EXPECT_EQ(read_name("@series/cup.series_standings"), "1 2 3 4\n");
    EXPECT_NE(last_message().find("Can't write \"@series/cup.series_standings\""), std::string::npos) << last_message();
    // Then a write that can go ahead replaces it whole.
    std::filesystem::remove(home + "series/cup.series_standings.new");
    ASSERT_TRUE(series_write_standings(&series));
    EXPECT_EQ(read_name("@series/cup.series_standings"), "1 2 3 4 \n3 1 4 2 \n");
}

} // namespace

namespace {

// The generator's sample series, read from the data root the build wrote.
TEST_F(SeriesTest, TheGeneratedSampleSeriesReadsAndTallies)
{
    std::string data_root = vfs_test::program_folder() + "/../data";
    setenv("ZT_HOME", data_root.c_str(), 1);
    vfs_shutdown();
    ASSERT_TRUE(series_read(&series, "series/two_track_cup.series")) << last_message();
    EXPECT_STREQ(series.title, "Two Track Cup");
    EXPECT_EQ(series.lineup_size, 9);
    EXPECT_EQ(series.event_count, 4);
    ASSERT_EQ(series.events_done, 2);
    EXPECT_EQ(series.events[1].track_index, 1);
    // Event 1 by place (25 22 20 18 16 15 14 13 12 11 points) and event 2
    // give totals 45 43 38 37 34 34 23 28 23 and the player 27. Entrants 4
    // and 5 tie on 34: 4 was 3rd in event 2, 5 was 5th; entrants 6 and 8 tie
    // on 23: 8 was 9th, 6 10th.
    const int32_t want[10] = {0, 1, 2, 3, 4, 5, 9, 6, 8, 7};
    for (int k = 0; k < 10; k++) EXPECT_EQ(series.events[1].round_ranks[k], want[k]) << k;
    EXPECT_EQ(series_round_points(&series.events[1], 0), 50);
    EXPECT_EQ(series_round_points(&series.events[1], 9), 26);
}

} // namespace
