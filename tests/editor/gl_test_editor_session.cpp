// A whole editing session driven through SDL events, as a player's keyboard
// and mouse would: the program starts with "--editor" on the practice track,
// Tab leads into the editor, and each step (a hill, tiles, a decal, a
// gradient, a moved timing gate with a switch point cleared, a billboard and
// a statue) is checked for its own effect before the track is saved. The
// saved folder is then read back (heights bit-exact through the real save
// format, tiles, decals, gates, objects) and a fresh program races on it.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "core/alloc.h"
#include "editor/editor.h"
#include "editor/editor_state.h"
#include "game/main_loop.h"
#include "game/startup.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "terrain/heightfield.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"
#include "terrain/terrain_services.h"
#include "track_fixture.h"
#include "support_zentrik.h"
#include "ui/screenshot.h"
#include "ui/widgets.h"

namespace {

struct object_copy {
    float x, y, z;
    std::string name;
};

struct session_record {
    bool in_editor = false;
    int tool_after_panel_click = -1;
    // Ground steps: the value before and after.
    float hill_before = 0, hill_after = 0;
    int tile_before = -1, tile_after = -1;
    int decals_before = 0, decals_after = 0;
    int gradients_after = 0;
    float peak = 0;                      // the profile point raised in Gradient Edit
    float shaped_before = 0, shaped_after = 0;  // the ground under its peak
    float cell = 0;                      // the grid's spacing in feet
    // Object steps.
    int gate = 1;
    float gate_target[2] = {0, 0};
    checkpoint gate_after{};
    int32_t entries_before = 0;
    std::vector<int32_t> lap_entries;
    int billboards_before = 0, billboards_after = 0;
    int statues_before = 0, statues_after = 0;
    int statue_switches = 0;
    std::string status_after_save;
    // What the save wrote, as the program held it.
    std::vector<float> heights;
    float height_step = 0;
    std::vector<uint8_t> tiles;
    std::vector<decal> decals;
    std::vector<checkpoint> checkpoints;
    std::vector<object_copy> billboards, statues;
} rec;

SDL_Window* window() { return SDL_GL_GetCurrentWindow(); }

void warp(int x, int y) { SDL_WarpMouseInWindow(window(), x, y); }

// The window pixel over a world point of the editor's top-down view.
void world_to_pixel(float x, float z, int* px, int* py)
{
    float v = editor_view_span(), h = float(editor.window_h);
    *px = int(std::lround(editor.window_w / 2 + (x - editor.view_centre[0]) / v * h));
    *py = int(std::lround(editor.window_h / 2 + (z - editor.view_centre[1]) / v * h));
}
void warp_world(float x, float z)
{
    int px, py;
    world_to_pixel(x, z, &px, &py);
    warp(px, py);
}
void warp_panel(int index)
{
    const menu_rect* r = editor_panel_rect(index);
    warp((r->x0 + r->x1) / 2, (r->y0 + r->y1) / 2);
}

void mouse_button(bool down)
{
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.windowID = SDL_GetWindowID(window());
    SDL_PushEvent(&e);
}

void type_text(const char* text)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(window());
    snprintf(e.text.text, sizeof e.text.text, "%s", text);
    SDL_PushEvent(&e);
}

// A world point of the view: the centre plus fractions of the span.
void view_point(float fx, float fz, float* x, float* z)
{
    float v = editor_view_span();
    *x = editor.view_centre[0] + fx * v, *z = editor.view_centre[1] + fz * v;
}

float height_at(float x, float z) { return terrain_height_at(&track_terrain, x, z); }

// With ZT_EDITOR_SCREENSHOTS naming a folder, pictures of the view are
// kept there for looking at.
void screenshot(const char* name)
{
    const char* folder = getenv("ZT_EDITOR_SCREENSHOTS");
    if (!folder) return;
    std::string path = std::string(folder) + "/" + name;
    screenshot_save_as(path.c_str());
}

// The session, frame by frame (with "--lock-fps 32" a frame is four tics).
void session_hook(int frame)
{
    if (frame == 78) screenshot("editor_timing_gate.png");
    if (frame == 94) screenshot("editor_billboards.png");
    if (frame == 108) screenshot("editor_statues.png");
    static float hill[2], tile[2], decal_point[2], grad[2], bb[2], st[2];
    switch (frame) {
    case 10: push_key_event(SDL_SCANCODE_TAB, true), push_key_event(SDL_SCANCODE_TAB, false); break;
    case 12:
        rec.in_editor = view_state == view_editor;
        // The whole track in view: Zoom 1 -> 0.
        type_text("--");
        break;
    // A hill with Raise (the first tool).
    case 14:
        view_point(0.2f, 0.1f, &hill[0], &hill[1]);
        rec.hill_before = height_at(hill[0], hill[1]);
        warp_world(hill[0], hill[1]);
        break;
    case 16: mouse_button(true); break;
    case 24: mouse_button(false); break;
    case 26:
        rec.hill_after = height_at(hill[0], hill[1]);
        warp_panel(tool_tilemap_edit);
        break;
    // Tiles: Tilemap Edit chosen on the panel, tile 0 painted.
    case 28: mouse_button(true); break;
    case 29: mouse_button(false); break;
    case 30:
        rec.tool_after_panel_click = editor.tool;
        view_point(0.1f, -0.2f, &tile[0], &tile[1]);
        rec.tile_before = terrain_tile_at(&track_terrain, tile[0], tile[1]);
        warp_world(tile[0], tile[1]);
        break;
    case 32: mouse_button(true); break;
    case 42: mouse_button(false); break;
    case 44:
        rec.tile_after = terrain_tile_at(&track_terrain, tile[0], tile[1]);
        warp_panel(tool_decals);
        break;
    // A decal laid by a click with the Decals tool.
    case 46: mouse_button(true); break;
    case 47: mouse_button(false); break;
    case 48:
        rec.decals_before = track_terrain.decals.count;
        view_point(0.15f, 0.3f, &decal_point[0], &decal_point[1]);
        warp_world(decal_point[0], decal_point[1]);
        break;
    case 50: mouse_button(true); break;
    case 51: mouse_button(false); break;
    case 53:
        rec.decals_after = track_terrain.decals.count;
        type_text("7");  // Gradient Placement
        break;
    case 55: warp_panel(panel_new_gradient); break;
    case 57: mouse_button(true); break;
    case 58: mouse_button(false); break;
    case 60: {
        rec.gradients_after = editor.gradients.count;
        // Gradient Edit: a click between the profile's two points inserts
        // one at the cursor, 25 ft along and 10 ft up (the graph is drawn
        // with its origin at the start, height towards -z). The cursor
        // leaves the panel first, so the tool key is not the panel's.
        const gradient& g = array_items<gradient>(&editor.gradients)[0];
        warp_world(g.start_x + 25, g.start_z - 10);
        break;
    }
    case 61: type_text("8"); break;
    case 62: mouse_button(true); break;
    case 63: mouse_button(false); break;
    case 64: {
        gradient& g = array_items<gradient>(&editor.gradients)[0];
        const gradient_point* points = array_items<gradient_point>(&g.points);
        if (g.points.count == 3) rec.peak = points[1].height;
        // Gradient Linear Add over the peak's line across the axis.
        type_text("4");
        grad[0] = g.start_x + points[1].distance;
        grad[1] = g.start_z + 0.2f * editor_view_span();
        rec.shaped_before = height_at(grad[0], grad[1]);
        rec.cell = track_terrain.spacing;
        warp_world(grad[0], grad[1]);
        break;
    }
    case 65: mouse_button(true); break;
    case 70:
        mouse_button(false);
        rec.shaped_after = height_at(grad[0], grad[1]);
        break;
    // The timing gate: moved by its position, then its switch point cleared.
    case 72: type_text("9"); break;
    case 74: {
        const checkpoint& c = timing_gates.checkpoints[rec.gate];
        warp_world(c.x, c.z);
        break;
    }
    case 76: mouse_button(true); break;
    case 77: {
        const checkpoint& c = timing_gates.checkpoints[rec.gate];
        int px, py;
        world_to_pixel(c.x, c.z, &px, &py);
        px -= 25, py += 15;
        warp(px, py);
        editor_screen_to_world(px, py, &rec.gate_target[0], &rec.gate_target[1]);
        break;
    }
    case 79: mouse_button(false); break;
    case 81:
        rec.gate_after = timing_gates.checkpoints[rec.gate];
        rec.entries_before = timing_gates.first_lap_entries + timing_gates.normal_lap_entries;
        warp_panel(panel_clear_switch_point);
        break;
    case 83: mouse_button(true); break;
    case 84: mouse_button(false); break;
    case 86:
        rec.lap_entries.assign(timing_gates.lap_entries, timing_gates.lap_entries + rec.entries_before);
        warp_panel(tool_billboards);
        break;
    // A billboard copied onto empty ground.
    case 88: mouse_button(true); break;
    case 89: mouse_button(false); break;
    case 90:
        rec.billboards_before = track_objects.billboards.count;
        view_point(-0.05f, 0.42f, &bb[0], &bb[1]);
        warp_world(bb[0], bb[1]);
        break;
    case 92: mouse_button(true); break;
    case 93: mouse_button(false); break;
    case 95:
        rec.billboards_after = track_objects.billboards.count;
        warp_panel(tool_statues);
        break;
    // A statue duplicated at the cursor with "d", with the statues'
    // wireframes and collision spheres shown.
    case 97: mouse_button(true); break;
    case 98: mouse_button(false); break;
    case 99: warp_panel(panel_show_wireframe); break;
    case 100: mouse_button(true); break;
    case 101: mouse_button(false); break;
    case 102: warp_panel(panel_show_collidable); break;
    case 103: mouse_button(true); break;
    case 104: mouse_button(false); break;
    case 105:
        rec.statue_switches = editor.settings.show_wireframe + editor.settings.show_collidable;
        rec.statues_before = track_objects.statues.count;
        view_point(0.05f, 0.42f, &st[0], &st[1]);
        warp_world(st[0], st[1]);
        break;
    case 107: type_text("d"); break;
    case 109:
        rec.statues_after = track_objects.statues.count;
        type_text("s");
        break;
    case 111: {
        rec.status_after_save = editor.status ? editor.status : "";
        const terrain& t = track_terrain;
        rec.heights.assign(t.heights, t.heights + size_t(t.size) * t.size);
        rec.height_step = (t.height_max - t.height_min) / 65535;
        int32_t tiles = 1 << t.exponent;
        rec.tiles.assign(t.tile_map, t.tile_map + size_t(tiles) * tiles);
        rec.decals.assign(static_cast<const decal*>(t.decals.items),
                          static_cast<const decal*>(t.decals.items) + t.decals.count);
        rec.checkpoints.assign(timing_gates.checkpoints, timing_gates.checkpoints + timing_gates.checkpoint_count);
        for (int32_t i = track_objects.first_file_billboard; i < track_objects.billboards.count; i++) {
            const billboard* b = billboard_at(i);
            if (b->name && b->origin != origin_script) rec.billboards.push_back({b->x, b->relative_height, b->z, b->name});
        }
        for (int32_t i = track_objects.first_file_statue; i < track_objects.statues.count; i++) {
            const statue* s = statue_at(i);
            if (s->origin != origin_script)
                rec.statues.push_back({s->x, s->relative_height, s->z, s->model_name ? s->model_name : "null"});
        }
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
        break;
    }
    default: break;
    }
}

int run_session(zentrik_setup& setup)
{
    zentrik_environment_here(setup);
    static bool held = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0;
    EXPECT_TRUE(held) << SDL_GetError();
    rec = session_record{};
    frame_hook = session_hook;
    std::vector<std::string> words = {"zentrik", "--track", "practice", "--nosound", "--lock-fps", "32", "--editor",
                                      // Commands start the run with the menu closed.
                                      "--console-commands", "/echo editing"};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    int status = game_main(int(argv.size()), argv.data());
    frame_hook = nullptr;
    return status;
}

TEST(editor_session, edit_save_reload_and_race)
{
    zentrik_setup setup;
    setup.config = "video_mode=Windowed\nxres=640\nyres=480\n";
    ASSERT_EQ(run_session(setup), 0) << read_whole_file(setup.log_path());
    ASSERT_TRUE(rec.in_editor) << "Tab leads into the editor with --editor";
    EXPECT_EQ(rec.tool_after_panel_click, tool_tilemap_edit) << "a click on a tool's panel item";

    EXPECT_GT(rec.hill_after, rec.hill_before + 1) << "Raise held for 8 frames";
    EXPECT_EQ(rec.tile_after, 0);
    EXPECT_NE(rec.tile_before, 0) << "pick a spot whose tile is not tile 0";
    EXPECT_EQ(rec.decals_after, rec.decals_before + 1);
    EXPECT_EQ(rec.gradients_after, 1);
    // Linear Add at Strength 3 reaches its target in a tic: the ground under
    // the peak rises by the profile's height there. The peak's own line may
    // fall between grid points, where the ground is interpolated from points
    // on the two slopes beside it: at most a cell of the slope (peak / 25 ft
    // per foot) lower.
    EXPECT_GT(rec.peak, 5.0f) << "a profile point inserted near 10 ft";
    float slope_loss = rec.peak / 25 * rec.cell;
    EXPECT_GE(rec.shaped_after - rec.shaped_before, rec.peak - slope_loss - 0.01f);
    EXPECT_LE(rec.shaped_after - rec.shaped_before, rec.peak + 0.01f);

    // The gate's position followed the drag (within a pixel of 1.6 ft).
    EXPECT_NEAR(rec.gate_after.x, rec.gate_target[0], 1.7f);
    EXPECT_NEAR(rec.gate_after.z, rec.gate_target[1], 1.7f);
    // Its references became marked: no plain entry of the gate is left.
    bool marked = false;
    for (int32_t e : rec.lap_entries) {
        EXPECT_NE(e, rec.gate);
        marked = marked || e == rec.gate + lap_entry_marked;
    }
    EXPECT_TRUE(marked);
    EXPECT_EQ(rec.billboards_after, rec.billboards_before + 1);
    EXPECT_EQ(rec.statues_after, rec.statues_before + 1);
    EXPECT_EQ(rec.statue_switches, 2) << "\"Show Wireframe\" and \"Show Collidable\" clicked to \"Yes\"";
    EXPECT_EQ(rec.status_after_save, "Saved!");
    printf("gate %d moved to (%.2f, %.2f) for (%.2f, %.2f); billboards %d -> %d, statues %d -> %d; "
           "hill %.3f -> %.3f, tile %d -> %d, decals %d -> %d, gradients %d, peak %.2f raised %.3f\n",
           rec.gate, double(rec.gate_after.x), double(rec.gate_after.z), double(rec.gate_target[0]),
           double(rec.gate_target[1]), rec.billboards_before, rec.billboards_after, rec.statues_before,
           rec.statues_after, double(rec.hill_before), double(rec.hill_after), rec.tile_before, rec.tile_after,
           rec.decals_before, rec.decals_after, rec.gradients_after, double(rec.peak),
           double(rec.shaped_after - rec.shaped_before));

    // Read the saved folder back, as a track load does (the GL context is
    // gone: no textures, no models).
    track_object_services_reset();
    track_object_hooks.texture_load = [](const char*) { return 0; };
    track_object_hooks.model_load = [](const char*) -> mesh* { return nullptr; };
    terrain_services_reset();
    terrain_hooks.texture_load = [](const char*) -> uint32_t { return 0; };
    ASSERT_EQ(load_track_folder("tracks/practice"), 1);
    const terrain& t = track_terrain;
    ASSERT_EQ(size_t(t.size) * t.size, rec.heights.size());
    // Bit-exact: the reloaded heights give back the very file that was saved.
    size_t length = 0;
    uint8_t* again = terrain_format_heights(&t, &length);
    std::string saved = read_whole_file(setup.player_folder() + "/tracks/practice/terrain.hf");
    EXPECT_TRUE(saved.size() == length && memcmp(saved.data(), again, length) == 0) << "terrain.hf round trip";
    alloc_check_free(again);
    // The gradient made in the session is in the saved "edinfo".
    std::string edinfo = read_whole_file(setup.player_folder() + "/tracks/practice/edinfo");
    EXPECT_EQ(edinfo.rfind("add_gradient ", 0), 0u) << edinfo;
    // And each height is the edited one to within half a 16-bit step.
    float worst = 0;
    for (size_t k = 0; k < rec.heights.size(); k++) worst = std::fmax(worst, std::fabs(t.heights[k] - rec.heights[k]));
    EXPECT_LE(worst, rec.height_step * 0.5f + 1e-4f);
    int32_t tiles = 1 << t.exponent;
    EXPECT_TRUE(std::equal(rec.tiles.begin(), rec.tiles.end(), t.tile_map)) << "tiles";
    ASSERT_EQ(t.decals.count, int32_t(rec.decals.size()));
    for (int32_t i = 0; i < t.decals.count; i++) {
        const decal& d = static_cast<const decal*>(t.decals.items)[i];
        EXPECT_NEAR(d.x, rec.decals[size_t(i)].x, 1e-3f);
        EXPECT_NEAR(d.z, rec.decals[size_t(i)].z, 1e-3f);
    }
    (void)tiles;
    ASSERT_EQ(timing_gates.checkpoint_count, int32_t(rec.checkpoints.size()));
    EXPECT_NEAR(timing_gates.checkpoints[rec.gate].x, rec.checkpoints[size_t(rec.gate)].x, 1e-3f);
    EXPECT_NEAR(timing_gates.checkpoints[rec.gate].z, rec.checkpoints[size_t(rec.gate)].z, 1e-3f);
    EXPECT_TRUE(std::equal(rec.lap_entries.begin(), rec.lap_entries.end(), timing_gates.lap_entries)) << "switch points";
    ASSERT_EQ(track_objects.billboards.count - track_objects.first_file_billboard, int32_t(rec.billboards.size()));
    for (size_t i = 0; i < rec.billboards.size(); i++) {
        const billboard* b = billboard_at(track_objects.first_file_billboard + int32_t(i));
        EXPECT_NEAR(b->x, rec.billboards[i].x, 1e-3f) << i;
        EXPECT_NEAR(b->z, rec.billboards[i].z, 1e-3f) << i;
        EXPECT_EQ(b->name, rec.billboards[i].name) << i;
    }
    ASSERT_EQ(track_objects.statues.count - track_objects.first_file_statue, int32_t(rec.statues.size()));
    for (size_t i = 0; i < rec.statues.size(); i++) {
        const statue* s = statue_at(track_objects.first_file_statue + int32_t(i));
        EXPECT_NEAR(s->x, rec.statues[i].x, 1e-3f) << i;
        EXPECT_NEAR(s->z, rec.statues[i].z, 1e-3f) << i;
        EXPECT_EQ(std::string(s->model_name ? s->model_name : "null"), rec.statues[i].name) << i;
    }
    free_loaded_track();

    // A fresh program races on the edited track: three seconds, then quit.
    std::string commands;
    for (int i = 0; i < 96; i++) commands += "/echo tic;";
    commands += "/quit";
    zentrik_result r = run_zentrik(setup, {"--track", "practice", "--nosound", "--lock-fps", "32", "--console-commands",
                                           commands});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<std::string> lines = log_lines(r.log);
    EXPECT_GE(find_line(lines, "Loading terrain...done"), 0) << r.log;
    EXPECT_LT(find_line(lines, "Timing gate error"), 0) << r.log;
    EXPECT_LT(find_line(lines, "damaged"), 0) << r.log;
}

}  // namespace
