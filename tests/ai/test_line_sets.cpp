// Racing-line sets: the time estimate, the eviction victim, failures charged
// to picked lines, thinning the first-lap sets, and the cache files read and
// written (hostile files included).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ai/racing_lines.h"
#include "core/alloc.h"
#include "core/game_state.h"
#include "core/vfs_test_util.h"
#include "game/startup.h"

namespace {

// A line of n points along x at height z0, each point 1 ft apart.
void fill_line(racing_line* l, int n, float z0, int32_t recorded, int32_t tested = 0, int32_t sum = 0,
               int32_t failures = 0)
{
    racing_line_empty(l);
    l->points = static_cast<line_point*>(xmalloc(sizeof(line_point) * size_t(n)));
    for (int i = 0; i < n; i++) l->points[i] = {float(i), 0.0f, z0, 30.0f, 0.1f};
    l->point_count = n;
    l->recorded_time_mid = recorded / 2;
    l->recorded_time = recorded;
    l->tested = tested;
    l->sum_time = sum;
    l->sum_time_mid = sum / 2;
    l->failures = failures;
    l->id = ++line_id_counter;
}

struct LineSets : vfs_test::roots_fixture {
    // Two first-lap sections and three of the normal lap: 5 sets.
    int32_t first[2] = {1, 2};
    int32_t normal[3] = {3, 4, 5};
    line_set sets[5] = {};
    void SetUp() override
    {
        roots_fixture::SetUp();
        for (line_set& s : sets)
            for (racing_line& l : s.lines) racing_line_empty(&l);
        racing_line_sets = {sets, 2, 3, first, 2, normal, 3};
        snprintf(track_dir, sizeof track_dir, "%s", "practice");
        options.learn_lines = 1;
        tic_length = 1.0 / 128.0;
    }
    void TearDown() override
    {
        line_sets_empty();
        racing_line_sets = {};
        options.learn_lines = 0;
        roots_fixture::TearDown();
    }
    int count(int set) const
    {
        int n = 0;
        for (const racing_line& l : sets[set].lines) n += l.point_count > 0;
        return n;
    }
    void write_cache(const std::string& text) { vfs_test::write_all(home + "practice/lines_expert", text); }
};

TEST_F(LineSets, the_estimate_weighs_failures_by_five_seconds)
{
    // K = 5 s x 128 = 640 tics, worked by hand.
    struct row {
        int32_t recorded, tested, sum, failures;
        int64_t estimate;
    } rows[] = {
        {1000, 0, 0, 0, 1250},               // untested: 5/4 of the recording
        {1000, 0, 0, 3, 1250 + 640},         // untested after a failure
        {1000, 4, 4000, 0, 1000},            // the average run
        {1000, 4, 4000, 4, 640 * 4 / 8 + 1000},
        {2000000000, 0, 0, 0, 2500000000LL},  // no overflow
    };
    for (const row& r : rows) {
        racing_line l = {};
        racing_line_empty(&l);
        l.recorded_time = r.recorded;
        l.tested = r.tested;
        l.sum_time = r.sum;
        l.failures = r.failures;
        EXPECT_EQ(line_time_estimate(&l), r.estimate) << r.recorded << " " << r.tested << " " << r.failures;
    }
    racing_line empty = {};
    racing_line_empty(&empty);
    EXPECT_EQ(line_time_estimate(&empty), 1250000);
}

TEST_F(LineSets, the_victim_is_the_slowest_line_that_is_not_proven)
{
    line_set& s = sets[0];
    // Slots 0..2 share a start; slot 3 starts alone 100 ft away (its score
    // is 3/4 of its estimate).
    fill_line(&s.lines[0], 5, 0.0f, 1000);
    fill_line(&s.lines[1], 5, 0.5f, 1200, 10, 10000, 0);  // proven: failures < tested
    fill_line(&s.lines[2], 5, 1.0f, 1100);
    fill_line(&s.lines[3], 5, 100.0f, 1400);             // 1750 x 3/4 = 1312 < 1375
    EXPECT_EQ(line_eviction_victim(&s), 2) << "the slowest of the unproven lines";
    // Once more than 22 lines are proven, any line may go: the slowest.
    for (int j = 4; j < 28; j++) fill_line(&s.lines[j], 5, 0.25f, 800, 10, 8000, 0);
    s.lines[1].sum_time = 100000;  // average 10000 tics
    EXPECT_EQ(line_eviction_victim(&s), 1);
    line_set none = {};
    for (racing_line& l : none.lines) racing_line_empty(&l);
    EXPECT_EQ(line_eviction_victim(&none), -1);
}

TEST_F(LineSets, a_failure_goes_to_the_line_picked_for_the_section)
{
    fill_line(&sets[1].lines[7], 3, 0.0f, 500);
    int32_t picked[4] = {0, sets[1].lines[7].id, 0, 0};
    // Position 1 is in section 1 (one gate passed): picked[1].
    EXPECT_EQ(line_count_failure(picked, 1), 7);
    EXPECT_EQ(sets[1].lines[7].failures, 1);
    EXPECT_EQ(picked[1], 0);
    EXPECT_EQ(line_count_failure(picked, 1), line_set_size) << "the pick was taken";
    picked[2] = 999;
    EXPECT_EQ(line_count_failure(picked, 2), line_set_size) << "no line has the id";
    EXPECT_EQ(picked[2], 0);
}

TEST_F(LineSets, thinning_leaves_43_lines_in_first_lap_sets_only)
{
    for (int set : {0, 2}) {
        for (int j = 0; j < 45; j++) {
            fill_line(&sets[set].lines[j], 4, float(j), 1000 + j);
            // Every third line runs across the others.
            if (j % 3 == 0)
                for (int k = 0; k < 4; k++) sets[set].lines[j].points[k] = {float(k), 0.0f, float(k * 20), 30, 0};
        }
    }
    lines_analyze();
    EXPECT_LE(count(0), 43);
    EXPECT_GE(count(0), 42);
    EXPECT_EQ(count(2), 45) << "normal-lap sets are not thinned";
}

TEST_F(LineSets, a_cache_written_reads_back_field_for_field)
{
    fill_line(&sets[0].lines[0], 3, 2.0f, 900, 5, 4500, 1);
    fill_line(&sets[0].lines[4], 2, 8.0f, 700);
    fill_line(&sets[4].lines[44], 6, -3.5f, 1300, 2, 2700, 0);
    sets[0].lines[4].points[1] = {1.5f, 2.25f, -3.125f, -40.5f, 0.75f};  // airborne point
    std::vector<racing_line> before = {sets[0].lines[0], sets[0].lines[4], sets[4].lines[44]};
    std::vector<std::vector<line_point>> points;
    for (const racing_line& l : before) points.emplace_back(l.points, l.points + l.point_count);
    lines_write(2);
    EXPECT_EQ(count(0), 0) << "writing empties the sets";
    int32_t id_before = line_id_counter;
    EXPECT_EQ(lines_read(2), 5);
    const racing_line* after[3] = {&sets[0].lines[0], &sets[0].lines[1], &sets[4].lines[0]};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(after[i]->point_count, before[i].point_count);
        EXPECT_EQ(after[i]->recorded_time, before[i].recorded_time);
        EXPECT_EQ(after[i]->recorded_time_mid, before[i].recorded_time_mid);
        EXPECT_EQ(after[i]->tested, before[i].tested);
        EXPECT_EQ(after[i]->sum_time, before[i].sum_time);
        EXPECT_EQ(after[i]->failures, before[i].failures);
        EXPECT_GT(after[i]->id, id_before);
        for (int k = 0; k < after[i]->point_count; k++) {
            // "%f" keeps six decimals: these values are exact in binary.
            EXPECT_EQ(after[i]->points[k].x, points[i][k].x);
            EXPECT_EQ(after[i]->points[k].speed, points[i][k].speed);
            EXPECT_EQ(after[i]->points[k].lean, points[i][k].lean);
        }
    }
    EXPECT_EQ(count(1), 0);
}

TEST_F(LineSets, nothing_is_written_without_learning)
{
    options.learn_lines = 0;
    fill_line(&sets[0].lines[0], 3, 2.0f, 900);
    lines_write(2);
    EXPECT_FALSE(std::filesystem::exists(home + "practice/lines_expert"));
    EXPECT_EQ(count(0), 0) << "the lines are let go either way";
}

TEST_F(LineSets, hostile_and_damaged_caches_leave_sets_empty)
{
    const std::string one = "2 10 20 0 1000000 1000000 0 0 0\n[1 2 3] 4 5\n[2 2 3] 4 5\n";
    struct row {
        const char* what;
        std::string text;
        std::vector<int> counts;  // lines per set afterwards
    } rows[] = {
        {"header count differs", "ct03 4\n1\n" + one, {0, 0, 0, 0, 0}},
        {"wrong magic", "ct02 5\n1\n" + one, {0, 0, 0, 0, 0}},
        {"good", "ct03 5\n1\n" + one + "0\n2\n" + one + one + "0\n1\n" + one, {1, 0, 2, 0, 1}},
        {"a bad point ends reading", "ct03 5\n1\n" + one + "1\n2 1 1 0 1 1 0 0 0\n[1 x 3] 4 5\n[1 2 3] 4 5\n1\n" + one,
         {1, 0, 0, 0, 0}},
        {"a count of -1", "ct03 5\n1\n-1 1 1 0 1 1 0 0 0\n" + one, {0, 0, 0, 0, 0}},
        {"a count of 10^9", "ct03 5\n1\n1000000000 1 1 0 1 1 0 0 0\n[1 2 3] 4 5\n", {0, 0, 0, 0, 0}},
        {"a non-finite point", "ct03 5\n1\n1 1 1 0 1 1 0 0 0\n[nan 2 3] 4 5\n", {0, 0, 0, 0, 0}},
        {"cut short", "ct03 5\n1\n2 10 20 0 1000000 1000000 0 0 0\n[1 2 3] 4", {0, 0, 0, 0, 0}},
        {"empty", "", {0, 0, 0, 0, 0}},
    };
    for (const row& r : rows) {
        line_sets_empty();
        write_cache(r.text);
        lines_read(2);
        for (int s = 0; s < 5; s++) EXPECT_EQ(count(s), r.counts[size_t(s)]) << r.what << " set " << s;
        for (const line_set& s : sets)
            for (const racing_line& l : s.lines) EXPECT_EQ(l.point_count > 0, l.points != nullptr) << r.what;
    }
}

TEST_F(LineSets, fifty_entries_keep_45_and_the_next_set_still_reads)
{
    const std::string one = "1 10 20 0 1000000 1000000 0 0 0\n[1 2 3] 4 5\n";
    std::string text = "ct03 5\n50\n";
    for (int i = 0; i < 50; i++) text += one;
    text += "3\n" + one + one + one + "0\n0\n0\n";
    write_cache(text);
    EXPECT_EQ(lines_read(2), 5);
    EXPECT_EQ(count(0), 45);
    EXPECT_EQ(count(1), 3);
}

TEST_F(LineSets, big_statistics_are_halved_keeping_the_average)
{
    struct row {
        const char* numbers;  // tested, sum_mid, sum, failures
        int32_t tested, sum, failures;
    } rows[] = {
        // 200000 tests of 500 tics: halved twice to 50000 (sum 25000000).
        {"200000 0 100000000 0", 50000, 25000000, 0},
        // A sum past the cap with a single test: tested cannot halve, so the
        // sum is capped.
        {"1 0 2000000000 0", 1, 100000000, 0},
        // No tests and a sum past the cap: no division by zero.
        {"0 0 2000000000 7", 0, 100000000, 0},
        // Negative numbers read as 0.
        {"-5 -1 -100 -3", 0, 0, 0},
        // Failures past the cap halve the tests with them.
        {"10 0 5000 200000", 2, 1000, 50000},
    };
    for (const row& r : rows) {
        int32_t t, sm, s, f;
        sscanf(r.numbers, "%d %d %d %d", &t, &sm, &s, &f);
        line_sets_empty();
        write_cache("ct03 5\n1\n1 10 20 " + std::to_string(t) + " 1 1 " + std::to_string(sm) + " " +
                    std::to_string(s) + " " + std::to_string(f) + "\n[1 2 3] 4 5\n0\n0\n0\n0\n");
        ASSERT_EQ(lines_read(2), 5) << r.numbers;
        EXPECT_EQ(sets[0].lines[0].tested, r.tested) << r.numbers;
        EXPECT_EQ(sets[0].lines[0].sum_time, r.sum) << r.numbers;
        EXPECT_EQ(sets[0].lines[0].failures, r.failures) << r.numbers;
    }
}

}  // namespace
