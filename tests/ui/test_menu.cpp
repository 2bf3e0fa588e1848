// The menu's logic without drawing: the slot tables a race starts from, the
// series line-up, line movement, the list chooser's paging, the exit screen
// and the server history keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "core/game_state.h"
#include "game/control_input.h"
#include "game/series.h"
#include "physics/setup.h"
#include "ui/menu.h"
#include "ui/menu_pages.h"
#include "ui/settings.h"

namespace {

constexpr uint32_t key_up = 0x1048, key_down = 0x1050, key_enter = 0x101C, key_page_up = 0x1049,
                   key_page_down = 0x1051;

struct MenuKeys : ::testing::Test {
    void SetUp() override
    {
        menu_keys = {};
        menu_keys.up = key_up, menu_keys.down = key_down, menu_keys.left = 0x104B, menu_keys.right = 0x104D;
        menu_keys.enter = key_enter, menu_keys.keypad_enter = 0x109C, menu_keys.esc = 0x1001;
        menu_keys.cursor_left = 0x2000, menu_keys.page_up = key_page_up, menu_keys.page_down = key_page_down;
        settings_defaults();
        menu_page = page_none;
        menu_line = 0;
        quit_requested = 0;
    }
    void TearDown() override { quit_requested = 0; }
    static void keys(std::initializer_list<uint32_t> codes)
    {
        for (uint32_t c : codes) handle_menu_key(c);
    }
};

// ---- Slot tables -----------------------------------------------------------------

TEST_F(MenuKeys, NewRaceSlotKindsFillAll160Entries)
{
    std::vector<int32_t> kinds(menu_slot_kind_count, -7);
    menu_slot_kinds(kinds.data());
    // The default line-up: the player on gate 20 between two-stroke robots
    // on gates 18, 19 and 21..23 (kind 3); the rest empty.
    for (int k = 0; k < menu_slot_kind_count; k++) {
        int gate = k + 1;
        int expected = gate == 20 ? 1 : (gate == 18 || gate == 19 || (gate >= 21 && gate <= 23)) ? 3 : 0;
        EXPECT_EQ(kinds[size_t(k)], expected) << "entry " << k;
    }
    settings.slot[39].selected = 4;
    menu_slot_kinds(kinds.data());
    EXPECT_EQ(kinds[39], 4);
    EXPECT_EQ(kinds[40], 0) << "the gates end at 40";
}

TEST_F(MenuKeys, LineUpRotationTurnsWithinTheFortyGates)
{
    struct row {
        int32_t n;
        int player_gate;  // 0-based, from gate index 19
    };
    const row rows[] = {{0, 19}, {1, 20}, {21, 0}, {40, 19}, {-20, 39}, {159, 18}, {-41, 18}};
    for (const row& r : rows) {
        std::vector<int32_t> kinds(menu_slot_kind_count, 0);
        kinds[19] = 1;
        kinds[39] = 2;
        menu_gates_rotate(kinds.data(), r.n);
        EXPECT_EQ(kinds[size_t(r.player_gate)], 1) << "n " << r.n;
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 1), 1) << "n " << r.n;
        EXPECT_EQ(kinds[size_t(((39 + r.n) % 40 + 40) % 40)], 2) << "n " << r.n;
        EXPECT_TRUE(std::all_of(kinds.begin() + 40, kinds.end(), [](int32_t k) { return k == 0; }))
            << "nothing rotates past gate 40";
    }
}

// ---- Series line-up ----------------------------------------------------------------

TEST(SeriesLineup, FirstEventListsRidersInOrderAndThePlayerLast)
{
    const int32_t ids[] = {7, 8, 9};
    int32_t kinds[menu_slot_kind_count];
    series_lineup(3, ids, nullptr, kinds);
    EXPECT_EQ(kinds[0], 1007);
    EXPECT_EQ(kinds[1], 1008);
    EXPECT_EQ(kinds[2], 1009);
    EXPECT_EQ(kinds[3], 1);
    EXPECT_EQ(std::count(kinds, kinds + menu_slot_kind_count, 0), menu_slot_kind_count - 4);
    series_lineup(0, ids, nullptr, kinds);
    EXPECT_EQ(kinds[0], 1) << "alone, the player takes gate 0";
}

TEST(SeriesLineup, LaterEventsHandOutGatesFromTheLastPlaceUp)
{
    // places[k] = k: entrant k finished k-th (0-based), the player (entrant
    // n) last. Hand-out runs from key n down, so entrant k is the
    // (n - k)-th handed out and takes gate T[n - k].
    struct row {
        int32_t n;
        int32_t player_gate;                    // T[0]
        std::vector<std::pair<int, int>> gates; // entrant -> gate
    };
    const row rows[] = {
        {0, 6, {}},                                        // small table: T[0] = 6
        {14, 6, {{13, 8}, {0, 34}, {7, 20}}},              // T = 6, 8, ... 34
        {15, 10, {{14, 9}, {13, 11}, {0, 2}, {1, 17}}},    // middle first: T[15] = 2, T[14] = 17
        {39, 10, {{38, 9}, {20, 0}, {19, 20}, {0, 39}}},   // T[19] = 0, T[20] = 20, T[39] = 39
        {45, 10, {{44, 9}, {6, 39}, {5, 40}, {0, 45}}},    // past the table: T[j] = j
    };
    for (const row& r : rows) {
        std::vector<int32_t> ids(size_t(r.n) + 1), places(size_t(r.n) + 1);
        for (int k = 0; k <= r.n; k++) ids[size_t(k)] = 100 + k, places[size_t(k)] = k;
        int32_t kinds[menu_slot_kind_count];
        series_lineup(r.n, ids.data(), places.data(), kinds);
        EXPECT_EQ(kinds[r.player_gate], 1) << "n " << r.n;
        for (auto [entrant, gate] : r.gates) EXPECT_EQ(kinds[gate], 1100 + entrant) << "n " << r.n << " entrant " << entrant;
        // Every entrant on a gate of its own.
        std::set<int32_t> seen;
        for (int32_t k : kinds) {
            if (k) {
                EXPECT_TRUE(seen.insert(k).second) << k;
            }
        }
        EXPECT_EQ(int(seen.size()), r.n + 1) << "n " << r.n;
    }
}

TEST(SeriesLineup, EqualKeysGoInListOrderWithThePlayerAfter)
{
    // Entrants 0 and 1 and the player did not finish (place n = 3); entrant
    // 2 won. Key 3 first: 0, 1, the player on T15[0..2]; then entrant 2.
    const int32_t ids[] = {1, 2, 3};
    const int32_t places[] = {3, 3, 0, 3};
    int32_t kinds[menu_slot_kind_count];
    series_lineup(3, ids, places, kinds);
    EXPECT_EQ(kinds[6], 1001);
    EXPECT_EQ(kinds[8], 1002);
    EXPECT_EQ(kinds[10], 1);
    EXPECT_EQ(kinds[12], 1003);
}

TEST(SeriesLineup, GateTableAcrossFieldSizes)
{
    EXPECT_EQ(series_gate(14, 0), 6);
    EXPECT_EQ(series_gate(14, 14), 34);
    EXPECT_EQ(series_gate(15, 0), 10);
    EXPECT_EQ(series_gate(15, 19), 0);
    EXPECT_EQ(series_gate(159, 39), 39);
    EXPECT_EQ(series_gate(159, 40), 40);
    EXPECT_EQ(series_gate(159, 159), 159);
}

// ---- Pages and keys -----------------------------------------------------------------

TEST(MenuPage, DisclaimerFadesDuringTheTenthSecond)
{
    EXPECT_EQ(menu_disclaimer_alpha(0), 1);
    EXPECT_EQ(menu_disclaimer_alpha(9), 1);
    EXPECT_FLOAT_EQ(menu_disclaimer_alpha(9.5), 0.5f);
    EXPECT_EQ(menu_disclaimer_alpha(10), 0);
    EXPECT_EQ(menu_disclaimer_alpha(60), 0);
}

TEST_F(MenuKeys, LinesClampWithoutWrapping)
{
    menu_open(page_main);
    keys({key_up});
    EXPECT_EQ(menu_line, 0);
    for (int i = 0; i < 12; i++) handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 8);
    const int lasts[][2] = {{page_new_race, 46}, {page_chooser, 22}, {page_demos, 23}, {page_series_list, 22},
                            {page_standings, 3},  {page_time_trial, 4}, {page_bike_setup, 24},
                            {page_suspension, 20}, {page_stability, 16}, {page_controls, 20},
                            {page_graphics, 17},  {page_advanced_graphics, 14}, {page_multiplayer, 3}};
    for (const auto& l : lasts) EXPECT_EQ(menu_last_line(l[0]), l[1]) << "page " << l[0];
}

TEST_F(MenuKeys, QuitOpensTheExitScreenWhereADragDoesNotQuit)
{
    menu_open(page_main);
    for (int i = 0; i < 8; i++) handle_menu_key(key_down);
    handle_menu_key(key_enter);
    EXPECT_EQ(menu_page, page_exit);
    EXPECT_EQ(quit_requested, 0) << "the Enter that chose Quit is not the exit screen's key";
    handle_menu_key(menu_code_drag);
    EXPECT_EQ(quit_requested, 0);
    handle_menu_key('q');
    EXPECT_EQ(quit_requested, 1);
}

TEST_F(MenuKeys, MainMenuOpensEachPage)
{
    const int targets[] = {page_new_race,    page_demos,      page_series_list, page_time_trial, page_multiplayer,
                           page_bike_setup,  page_graphics,   page_controls,    page_exit};
    for (int line = 0; line < 9; line++) {
        menu_open(page_main);
        menu_line = line;
        handle_menu_key(' ');
        EXPECT_EQ(menu_page, targets[line]) << "line " << line;
        EXPECT_EQ(menu_line, 0);
    }
}

TEST(ListChooser, LastPageIsNeverNegative)
{
    EXPECT_EQ(list_last_page(0), 0);
    EXPECT_EQ(list_last_page(1), 0);
    EXPECT_EQ(list_last_page(20), 0);
    EXPECT_EQ(list_last_page(21), 1);
    EXPECT_EQ(list_last_page(40), 1);
    EXPECT_EQ(list_last_page(41), 2);
}

TEST_F(MenuKeys, ChooserPagesAndSkipsEmptyRows)
{
    static char names[21][16];
    static const char* entries[21];
    for (int i = 0; i < 21; i++) snprintf(names[i], sizeof names[i], "e%d", i), entries[i] = names[i];
    menu_choice choice = {"Test", entries, 21, 3, {}};
    menu_open(page_new_race);
    list_chooser_open("Choose", &choice, list_chooser_pick_choice);
    EXPECT_EQ(menu_page, page_chooser);
    // Next Page (line 22): the second page holds entry 20 only.
    for (int i = 0; i < 30; i++) handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 22);
    handle_menu_key(key_enter);
    handle_menu_key(key_enter);  // already the last page: stays
    handle_menu_key(key_up);
    EXPECT_EQ(menu_line, 2) << "the 19 empty rows are skipped";
    handle_menu_key(key_up);
    EXPECT_EQ(menu_line, 1);
    handle_menu_key(key_down);
    handle_menu_key(key_enter);
    EXPECT_EQ(menu_page, page_new_race) << "back to the page it was opened from";
    EXPECT_EQ(choice.selected, 20);
    // An empty list: no page past the first, no row to pick.
    menu_choice none = {"None", nullptr, 0, 0, {}};
    list_chooser_open("Choose", &none, list_chooser_pick_choice);
    for (int i = 0; i < 30; i++) handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 22);
    handle_menu_key(key_enter);
    handle_menu_key(key_up);
    EXPECT_EQ(menu_line, 1) << "from Next Page straight to Prev Page";
    EXPECT_EQ(none.selected, 0);
}

TEST_F(MenuKeys, ServerHistoryPageUpWithAnEmptyHistoryKeepsTheText)
{
    menu_open(page_multiplayer);
    menu_line = 3;
    handle_menu_key(key_page_up);
    EXPECT_STREQ(settings.server_name.text, "localhost");
    EXPECT_EQ(settings.server_history_selected, -1);
    // Two entries: page up walks back, page down forward, then to the field's own text.
    menu_text_set(&settings.server_name, "first.example");
    server_history_push();
    menu_text_set(&settings.server_name, "second.example");
    server_history_push();
    menu_text_set(&settings.server_name, "typed");
    handle_menu_key(key_page_up);
    EXPECT_STREQ(settings.server_name.text, "second.example");
    handle_menu_key(key_page_up);
    EXPECT_STREQ(settings.server_name.text, "first.example");
    handle_menu_key(key_page_up);
    EXPECT_STREQ(settings.server_name.text, "first.example") << "no older entry";
    handle_menu_key(key_page_down);
    EXPECT_STREQ(settings.server_name.text, "second.example");
    handle_menu_key(key_page_down);
    EXPECT_EQ(settings.server_history_selected, -1);
}

TEST_F(MenuKeys, BikeSetupKeysChangeTheSetup)
{
    setup_defaults(&player_setup);
    watched_slot = -1;  // no rider: nothing to apply to
    menu_settings_changed = 0;
    menu_open(page_bike_setup);
    menu_line = 5;
    for (int i = 0; i < 4; i++) handle_menu_key(0x104B);  // the cursor to the start
    handle_menu_key('1');
    EXPECT_STREQ(player_setup.number, "199") << "Number overwrites";
    EXPECT_EQ(menu_settings_changed, 1);
    menu_line = 23;
    handle_menu_key(0x104D);
    EXPECT_EQ(player_setup.reverse_steering, 0);
    EXPECT_EQ(reversed_steering, 0) << "the live switch follows the choice";
    handle_menu_key(0x104D);
    EXPECT_EQ(reversed_steering, 1);
    // Stability down to 0 sets the sixteen values as the interpolation does.
    menu_line = 10;
    for (int i = 0; i < 120; i++) handle_menu_key(0x104B);
    EXPECT_EQ(player_setup.stability, 0);
    bike_setup bare;
    setup_defaults(&bare);
    stability_apply(&bare, 0);
    EXPECT_EQ(player_setup.leveling, bare.leveling);
    EXPECT_EQ(player_setup.restricted_lock, bare.restricted_lock);
    EXPECT_NE(bare.leveling, 20) << "Stability 0 is not the default";
    handle_menu_key('*');
    EXPECT_EQ(menu_page, page_stability);
    setup_defaults(&player_setup);
}

// ---- Series pages --------------------------------------------------------------------

TEST(SeriesStandings, MostPointsFirstAndTiesByTheLatestPlace)
{
    std::vector<series_event> events(2);
    for (series_event& e : events) {
        std::fill(std::begin(e.points), std::end(e.points), 0);
        e.points[0] = 25, e.points[1] = 18, e.points[2] = 15, e.points[3] = 12;
    }
    // Entrants 0..2 and the player (entrant 3): the second event reverses the first.
    const int32_t first[] = {0, 1, 2, 3}, second[] = {3, 2, 1, 0};
    std::copy(first, first + 4, events[0].places);
    std::copy(second, second + 4, events[1].places);
    static points_series s;
    s.lineup_size = 3;
    s.event_count = 2;
    s.events_done = 2;
    s.events = events.data();
    int32_t order[4], totals[4];
    ASSERT_EQ(series_standings(&s, order, totals), 4);
    // 25 + 12, 18 + 15, 15 + 18, 12 + 25.
    EXPECT_EQ(totals[0], 37);
    EXPECT_EQ(totals[1], 33);
    EXPECT_EQ(totals[2], 33);
    EXPECT_EQ(totals[3], 37);
    // 37s: the player won the latest event; 33s: entrant 2 beat entrant 1 in it.
    const int32_t expected[] = {3, 0, 2, 1};
    EXPECT_TRUE(std::equal(order, order + 4, expected)) << order[0] << order[1] << order[2] << order[3];
    s.events_done = 0;
    series_standings(&s, order, totals);
    EXPECT_EQ(totals[3], 0) << "no completed event, no points";
}

struct SeriesList : MenuKeys {
    std::vector<points_series> table;
    void use(int count)
    {
        table.assign(size_t(count), points_series{});
        for (int i = 0; i < count; i++) snprintf(table[size_t(i)].title, sizeof table[0].title, "Series %d", i);
        series_table = table.data();
        series_count = count;
        // Back to the first list page, whatever an earlier test left.
        menu_open(page_series_list);
        menu_line = 1;
        handle_menu_key(key_enter);
        menu_open(page_none);
    }
    void TearDown() override
    {
        series_table = nullptr;
        series_count = 0;
        MenuKeys::TearDown();
    }
};

TEST_F(SeriesList, TwentyEntriesShowNoNextPage)
{
    use(20);
    menu_open(page_series_list);
    handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 2) << "Prev Page is hidden on the first page";
    for (int i = 0; i < 30; i++) handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 21) << "Next Page is hidden on the last page";
}

TEST_F(SeriesList, TwentyOneEntriesPageToASecondPageOfOne)
{
    use(21);
    menu_open(page_series_list);
    for (int i = 0; i < 30; i++) handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 22);
    handle_menu_key(key_enter);
    handle_menu_key(key_up);
    EXPECT_EQ(menu_line, 2) << "one entry, then 19 empty rows skipped";
    handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 2) << "no Next Page past the last page";
    handle_menu_key(key_enter);
    EXPECT_EQ(menu_page, page_standings) << "the 21st series opens its standings";
    menu_open(page_series_list);
    handle_menu_key(key_down);
    EXPECT_EQ(menu_line, 1) << "Prev Page shows on the second page";
}

}  // namespace
