// The widget kit's key rules and geometry: tables of keys against the value
// each must leave, worked out by hand from the rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "game/control_input.h"
#include "ui/widgets.h"

namespace {

// Distinct codes for the named keys, as the start-up lookup would give.
struct WidgetKeys : ::testing::Test {
    void SetUp() override
    {
        menu_keys = {};
        menu_keys.up = 0x1048, menu_keys.down = 0x1050, menu_keys.left = 0x104B, menu_keys.right = 0x104D;
        menu_keys.enter = 0x101C, menu_keys.keypad_enter = 0x109C, menu_keys.esc = 0x1001;
        menu_keys.cursor_left = 0x2000, menu_keys.page_up = 0x1049, menu_keys.page_down = 0x1051;
        cursor_x = cursor_y = -100;
        choice_typeahead_owner = nullptr;
        choice_typeahead[0] = 0;
    }
};

const char* const slots[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};

menu_choice slot_choice(int selected)
{
    return {"Gate", slots, 5, selected, {0, 0, 100, 20}};
}

// ---- Choices ------------------------------------------------------------------

TEST_F(WidgetKeys, ChoiceTypeAheadAndTab)
{
    struct step {
        uint32_t key;
        int selected;        // after the key
        const char* buffer;  // after the key
    };
    // From "Empty": each row's key applies to the state the row above left.
    const step steps[] = {
        {'r', 2, "r"},         // "Empty" and "Human" hold no r: "Robot"
        {'o', 2, "ro"},
        {'q', 2, "ro"},        // no entry holds "roq": nothing changes
        {9, 3, "ro"},          // Tab: the next entry holding "ro"
        {9, 4, "ro"},
        {9, 2, "ro"},          // wraps past "Empty" and "Human"
        {'B', 2, "roB"},       // case ignored
        {8, 2, ""},            // backspace empties the buffer, the selection stays
        {'(', 3, "("},
        {'4', 4, "(4"},
        {8, 4, ""},
        {9, 0, ""},            // Tab with an empty buffer: the next entry, wrapping
        {0x104D, 1, ""},       // "right"
        {0x104B, 0, ""},       // "left"
        {0x104B, 4, ""},       // "left" wraps to the last
        {'H', 1, "H"},         // from the selection on, wrapping: "Human"
        {0x101C, 2, ""},       // "enter" steps and empties the buffer
    };
    menu_choice c = slot_choice(0);
    int row = 0;
    for (const step& s : steps) {
        menu_choice_key(&c, s.key);
        EXPECT_EQ(c.selected, s.selected) << "row " << row;
        EXPECT_STREQ(choice_typeahead, s.buffer) << "row " << row;
        row++;
    }
}

TEST_F(WidgetKeys, ChoiceTakesTheBufferFromAnother)
{
    menu_choice a = slot_choice(0), b = slot_choice(0);
    menu_choice_key(&a, 'h');
    EXPECT_STREQ(choice_typeahead, "h");
    menu_choice_key(&b, 'r');  // b takes the buffer over, emptied first
    EXPECT_EQ(choice_typeahead_owner, &b);
    EXPECT_STREQ(choice_typeahead, "r");
    EXPECT_EQ(b.selected, 2);
}

TEST_F(WidgetKeys, ChoiceMatchIsRightmostAndIgnoresCase)
{
    struct row {
        const char* buffer;
        const char* text;
        int at;
    };
    const row rows[] = {
        {"", "Robot", 5}, {"o", "Robot", 3}, {"RO", "robot ro", 6}, {"robots", "Robot", -1}, {"x", "Robot", -1},
    };
    for (const row& r : rows) {
        strcpy(choice_typeahead, r.buffer);
        EXPECT_EQ(choice_match(r.text), r.at) << r.buffer << " in " << r.text;
    }
}

TEST_F(WidgetKeys, ChoiceShownMarksTheTypedLettersRed)
{
    menu_choice c = slot_choice(0);
    menu_choice_key(&c, 'u');
    char shown[64];
    menu_choice_shown(&c, shown, sizeof shown);
    EXPECT_STREQ(shown, "H\033[31mu\033[0mman");
    menu_choice other = slot_choice(2);
    menu_choice_shown(&other, shown, sizeof shown);
    EXPECT_STREQ(shown, "Robot");  // not the owner: plain
}

TEST_F(WidgetKeys, TypeAheadBufferStopsAt255)
{
    static char text[300];
    memset(text, 'a', 299);
    text[299] = 0;
    const char* const entries[] = {text};
    menu_choice c = {"Long", entries, 1, 0, {}};
    for (int i = 0; i < 300; i++) menu_choice_key(&c, 'a');
    EXPECT_EQ(strlen(choice_typeahead), 255u);
}

TEST_F(WidgetKeys, EmptyChoiceShowsNothingAndIgnoresKeys)
{
    menu_choice c = {"Helmet", nullptr, 0, 0, {0, 0, 100, 20}};
    cursor_x = 50, cursor_y = 10;
    for (uint32_t key : {0x104Bu, 0x104Du, 0x101Cu, 0x2000u, 9u, 8u, uint32_t('a')}) {
        menu_choice_key(&c, key);
        EXPECT_EQ(c.selected, 0);
    }
    EXPECT_STREQ(menu_choice_text(&c), "");
    char shown[8] = "junk";
    menu_choice_shown(&c, shown, sizeof shown);
    EXPECT_STREQ(shown, "");
}

TEST_F(WidgetKeys, ChoiceClickStepsOnlyInsideTheRectangle)
{
    menu_choice c = slot_choice(0);
    cursor_x = 100, cursor_y = 10;  // on the right edge: outside
    menu_choice_key(&c, 0x2000);
    EXPECT_EQ(c.selected, 0);
    cursor_x = 99;
    menu_choice_key(&c, 0x2000);
    EXPECT_EQ(c.selected, 1);
}

// ---- Sliders ----------------------------------------------------------------------

TEST_F(WidgetKeys, SliderClicksSnapToTheGridAndTheGrabZone)
{
    // A 0..100 slider with step 1 over a bar from x 100 to 300: 2 px a step.
    struct row {
        int x;
        double value;  // after a click from 50
    };
    const row rows[] = {
        {100 - 15, 0},    // 15 px before the bar: snaps to the start
        {100 - 16, 50},   // 16 px before: outside the grab zone
        {300 + 15, 100},  // 15 px past the end
        {300 + 16, 50},
        {100, 0},
        {200, 50},
        {201, 51},        // half a step rounds up
        {150, 25},
        {299, 100},       // 99.5 rounds up
    };
    for (const row& r : rows) {
        menu_slider s = {"Volume", 50, 1, 0, 100, {0, 0, 400, 20}, 100, 300};
        cursor_x = r.x, cursor_y = 10;
        menu_slider_key(&s, 0x2000);
        EXPECT_EQ(s.value, r.value) << "x " << r.x;
        s.value = 50;
        menu_slider_key(&s, menu_code_drag);
        EXPECT_EQ(s.value, r.value) << "drag x " << r.x;
    }
}

TEST_F(WidgetKeys, SliderStepsClampAndIgnoresOtherKeys)
{
    menu_slider s = {"Laps", 49.5, 1, 0, 50, {0, 0, 400, 20}, 100, 300};
    menu_slider_key(&s, 0x104D);
    EXPECT_EQ(s.value, 50);  // 50.5 clamped
    menu_slider_key(&s, 0x104B);
    EXPECT_EQ(s.value, 49);
    cursor_x = 200, cursor_y = 30;  // below the line
    menu_slider_key(&s, 0x2000);
    EXPECT_EQ(s.value, 49);
    cursor_y = 10;
    menu_slider_key(&s, 0x1048);  // "up": not a slider key
    EXPECT_EQ(s.value, 49);
}

TEST_F(WidgetKeys, SliderOnABarOfNoWidthIgnoresClicks)
{
    cursor_x = 100, cursor_y = 10;
    menu_slider flat = {"FOV", 20, 1, 10, 170, {0, 0, 400, 20}, 100, 100};
    menu_slider_key(&flat, 0x2000);
    EXPECT_EQ(flat.value, 20);
    menu_slider zero_step = {"FOV", 20, 0, 10, 170, {0, 0, 400, 20}, 90, 110};
    menu_slider_key(&zero_step, 0x2000);
    EXPECT_EQ(zero_step.value, 20);
}

// ---- Text fields ----------------------------------------------------------------

struct text_case {
    const char* start;
    int cursor;
    int insert;
    uint32_t key;
    const char* text;  // after the key
    int cursor_after;
};

TEST_F(WidgetKeys, TextKeysAtTheEndsAndAtMaxLength)
{
    const text_case rows[] = {
        {"999", 3, 0, '5', "999", 3},    // full, cursor at the end: ignored
        {"999", 3, 0, 8, "99", 2},       // backspace frees a place
        {"99", 2, 0, '5', "995", 3},     // overwrite extends at the end
        {"999", 0, 0, '1', "199", 1},    // overwrite replaces
        {"999", 2, 0, '1', "991", 3},
        {"abc", 1, 1, 'x', "axb", 2},    // insert when full: the last falls off
        {"ab", 1, 1, 'x', "axb", 2},     // insert with room
        {"abc", 0, 1, 8, "abc", 0},      // backspace at the start
        {"abc", 3, 1, 127, "abc", 3},    // delete at the end
        {"abc", 0, 1, 127, "bc", 0},     // delete at the start
        {"abc", 3, 1, 8, "ab", 2},
        {"abc", 0, 1, 0x104B, "abc", 0}, // "left" at the start
        {"abc", 3, 1, 0x104D, "abc", 3}, // "right" at the end
        {"abc", 1, 1, 0x104D, "abc", 2},
        {"abc", 1, 1, 0x1048, "abc", 1}, // other named keys: nothing
        {"", 0, 1, 'q', "q", 1},
    };
    for (const text_case& r : rows) {
        char buffer[4];
        strcpy(buffer, r.start);
        menu_text f = {"Number", 3, buffer, r.cursor, r.insert, {}};
        menu_text_key(&f, r.key);
        EXPECT_STREQ(buffer, r.text) << r.start << " key " << r.key;
        EXPECT_EQ(f.cursor, r.cursor_after) << r.start << " key " << r.key;
    }
}

// ---- Geometry -----------------------------------------------------------------------

TEST(WidgetGeometry, PointsOnTheEdgeDoNotHit)
{
    menu_rect r = {10, 20, 30, 40};
    EXPECT_TRUE(rect_contains(&r, 11, 21));
    EXPECT_TRUE(rect_contains(&r, 29, 39));
    const int edges[][2] = {{10, 30}, {30, 30}, {20, 20}, {20, 40}};
    for (const auto& e : edges) EXPECT_FALSE(rect_contains(&r, e[0], e[1]));
    menu_rect cleared;
    rect_clear(&cleared);
    EXPECT_FALSE(rect_contains(&cleared, -1, -1));
}

TEST(WidgetGeometry, FittedProjectionKeepsA4By3Box)
{
    // Overlay half extents of a view at unit distance and the drawable pixels.
    struct row {
        float w, h;
        int pw, ph;
        float pen_x, pen_y, sx;  // for lines 32 at (0, -1)
    };
    const float lines = 32;
    const row rows[] = {
        // 4:3: full width and height alike.
        {0.75f * 4 / 3, 0.75f, 640, 480, 0, -1, 15},
        // 16:9 of the same height: the box is centred, its left edge
        // (w - 4/3 h) / (2h / lines) units from the window's.
        {0.75f * 16 / 9, 0.75f, 1920, 1080, (0.75f * 16 / 9 - 1) * lines / 1.5f, -1, 1080.0f / 32},
        // 5:4: full width, the box's top (h - 3/4 w) / (1.5 w / lines) units down.
        {0.75f, 0.6f, 1280, 1024, 0, -1 - (0.6f - 0.5625f) * lines / 1.125f, 0.75f * 1280 / 32},
    };
    for (const row& r : rows) {
        menu_fit f = menu_fitted(lines, 0, -1, r.w, r.h, r.pw, r.ph);
        EXPECT_NEAR(f.pen.x, r.pen_x, 1e-4) << r.pw;
        EXPECT_NEAR(f.pen.y, r.pen_y, 1e-4) << r.pw;
        EXPECT_NEAR(f.pen.sx, r.sx, 1e-3) << r.pw;
        EXPECT_EQ(f.pen.sy, -f.pen.sx);
        // The box's top-left corner in overlay space, and its unit: 4:3 always.
        float box_w = f.scale * lines * 4 / 3, box_h = f.scale * lines;
        EXPECT_NEAR(box_w / box_h, 4.0f / 3, 1e-5);
        EXPECT_NEAR(f.tx, -box_w / 2, 1e-5);
        EXPECT_NEAR(f.ty, box_h / 2, 1e-5);
        EXPECT_LE(box_w, 2 * r.w + 1e-5);
        EXPECT_LE(box_h, 2 * r.h + 1e-5);
    }
}

TEST(WidgetGeometry, RectangleOfAWidgetAtThePen)
{
    // 640 x 480, 32 lines: 15 px a unit; the line one unit down.
    menu_pen pen = {2, -3, 15, -15};
    menu_rect r = menu_rect_at(&pen, 10);
    EXPECT_EQ(r.x0, 30);
    EXPECT_EQ(r.x1, 180);
    EXPECT_EQ(r.y0, 30);
    EXPECT_EQ(r.y1, 45);
}

}  // namespace
