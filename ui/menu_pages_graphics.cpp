// The Graphics/Sound and Advanced Graphics pages, and the Multiplayer page
// with its server field and history.
#include <algorithm>
#include <cstring>

#include "core/game_state.h"
#include "game/control_input.h"
#include "game/startup.h"
#include "gfx/text.h"
#include "gfx/ztgl.h"
#include "gfx/ztgl_queue.h"
#include "net/client.h"
#include "physics/wheel_effects.h"
#include "terrain/treadmarks.h"
#include "platform/vesk_window.h"
#include "ui/menu.h"
#include "ui/menu_pages.h"
#include "ui/console.h"
#include "ui/settings.h"

namespace {

menu_item back_items[3];  // pages 11, 12, 13
menu_item advanced_item = {"Advanced Graphics Setup", {}};
menu_item preset_items[graphics_preset_count] = {
    {"Use Compatibility Settings", {}}, {"Use High FPS Settings", {}}, {"Use Normal Settings", {}},
    {"Use High Detail Settings", {}}};
menu_item switch_mode_item = {"Switch To Selected Mode Now", {}};
menu_item connect_item = {"Connect", {}}, restart_item = {"Request Restart", {}};

// The Graphics/Sound page's sliders (lines 10..17).
menu_slider* graphics_slider(int i)
{
    menu_slider* sliders[] = {&settings.fov, &settings.first_person_height, &settings.first_person_angle,
                              &settings.first_person_gimbal, &settings.third_person_height,
                              &settings.third_person_distance, &settings.volume, &settings.comp_volume};
    return sliders[i];
}

// The Advanced Graphics lines 1..14: a slider or a choice each.
struct advanced_line {
    menu_slider* slider;
    menu_choice* choice;
};
advanced_line advanced(int line)
{
    const advanced_line lines[] = {
        {&settings.ground_detail, nullptr},
        {nullptr, &settings.ground_mesh_dim},
        {nullptr, &settings.ground_texture_levels},
        {nullptr, &settings.ground_texture_dim_new},
        {&settings.ground_texture_update_rate, nullptr},
        {nullptr, &settings.ground_mipmaps},
        {nullptr, &settings.texture_compress},
        {&settings.model_detail, nullptr},
        {&settings.model_texture_detail, nullptr},
        {&settings.roost_density, nullptr},
        {&settings.treadmark_limit, nullptr},
        {&settings.terrain_resync_rate, nullptr},
        {nullptr, &settings.lens_flare},
        {nullptr, &settings.reflections},
    };
    return lines[line - 1];
}

void draw_setting(int line, menu_slider* slider, menu_choice* choice, const menu_pen* pen, float width)
{
    if (slider) menu_draw_slider(slider, line_selected(line), pen, width, 0, 0.5f);
    else menu_draw_choice(choice, line_selected(line), pen, width, 0, 0.5f);
}

void key_setting(menu_slider* slider, menu_choice* choice, uint32_t code)
{
    if (slider) menu_slider_key(slider, code);
    else menu_choice_key(choice, code);
}

// ---- Graphics/Sound Setup --------------------------------------------------------

void graphics_draw()
{
    menu_pen pen;
    page_begin(&pen, "Graphics/Sound Setup", &back_items[0], "Back to Main Menu");
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&advanced_item, line_selected(1), &pen, menu_item_width, 0);
    menu_end();
    menu_begin_fitted(36, menu_page_left, -6 - menu_margin, &pen);
    // The preset block's lines are 1.5 apart so that the driver strings
    // below the sliders still end inside the 36 lines.
    const float preset_step = -1.5f;
    menu_advance(&pen, 12, preset_step);
    menu_draw_label(graphics_preset_label(), menu_label_colours, 23.33f, 0);
    for (int i = 0; i < graphics_preset_count; i++) {
        menu_advance(&pen, 0, preset_step);
        menu_draw_item(&preset_items[i], line_selected(2 + i), &pen, 23.33f, 0);
    }
    menu_advance(&pen, -12, preset_step);
    const float width = 47.33f;
    menu_draw_choice(&settings.video_mode, line_selected(6), &pen, width, 0, 0.5f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&switch_mode_item, line_selected(7), &pen, width, 0);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_choice(&settings.hide_rider, line_selected(8), &pen, width, 0, 0.5f);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_choice(&settings.rigid_camera, line_selected(9), &pen, width, 0, 0.5f);
    for (int i = 0; i < 8; i++) {
        menu_advance(&pen, 0, menu_line_step);
        menu_draw_slider(graphics_slider(i), line_selected(10 + i), &pen, width, 0, 0.5f);
    }
    ztglTranslatef(23.67f, -1.5f, 0);
    draw_text_centred(1, 0, 0, 1, -12.5f, 12.5f, "Some settings will not take effect until next restart");
    ztglTranslatef(0, -1, 0);
    ztglScalef(0.75f, 0.75f, 1);
    draw_text_centred(1, 1, 1, 1, -16.66f, 16.66f, "Driver info:");
    const char* strings[] = {ztgl_state.vendor, ztgl_state.renderer, ztgl_state.version};
    for (const char* s : strings) {
        ztglTranslatef(0, -1, 0);
        draw_text_centred(1, 1, 1, 1, -16.66f, 16.66f, s ? s : "");
    }
    menu_end();
}

// Asks the window for the selected video mode: the stored size windowed,
// any other entry that mode full screen.
void switch_video_mode()
{
    int i = settings.video_mode.selected;
    if (!game_window) return;
    if (i == 1) {
        vesk_window_set_mode(game_window, settings.xres, settings.yres, 0);
    } else if (i >= 0 && i < video_mode_count) {
        vesk_window_set_mode(game_window, video_mode_list[i].width, video_mode_list[i].height,
                             vesk_window_full_screen);
    }
}

void graphics_key(uint32_t code)
{
    line_move(code, 17);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_items[0].rect, code)) menu_open(page_main);
    } else if (line == 1) {
        if (line_activated(&advanced_item.rect, code)) menu_open(page_advanced_graphics);
    } else if (line <= 5) {
        if (line_activated(&preset_items[line - 2].rect, code)) graphics_preset_apply(line - 2);
    } else if (line == 6) {
        menu_choice_key(&settings.video_mode, code);
    } else if (line == 7) {
        if (line_activated(&switch_mode_item.rect, code)) switch_video_mode();
    } else if (line == 8 || line == 9) {
        menu_choice_key(line == 8 ? &settings.hide_rider : &settings.rigid_camera, code);
    } else {
        menu_slider_key(graphics_slider(line - 10), code);
    }
}

const menu_rect* graphics_rect(int line)
{
    if (line == 0) return &back_items[0].rect;
    if (line == 1) return &advanced_item.rect;
    if (line <= 5) return &preset_items[line - 2].rect;
    if (line == 6) return &settings.video_mode.rect;
    if (line == 7) return &switch_mode_item.rect;
    if (line == 8) return &settings.hide_rider.rect;
    if (line == 9) return &settings.rigid_camera.rect;
    return &graphics_slider(line - 10)->rect;
}

// ---- Advanced Graphics Setup -------------------------------------------------------

void advanced_draw()
{
    menu_pen pen;
    page_begin(&pen, "Advanced Graphics Setup", &back_items[1], "Back to Graphics/Sound Menu");
    menu_advance(&pen, 0, menu_line_step - 1.5f);
    for (int line = 1; line <= 14; line++) {
        if (line > 1) menu_advance(&pen, 0, menu_line_step);
        advanced_line l = advanced(line);
        draw_setting(line, l.slider, l.choice, &pen, menu_wide_width);
    }
    menu_end();
}

void advanced_key(uint32_t code)
{
    line_move(code, 14);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_items[1].rect, code)) menu_open(page_graphics);
        return;
    }
    advanced_line l = advanced(line);
    key_setting(l.slider, l.choice, code);
    // The roost density takes effect at once.
    roost_frequency = int32_t(settings.roost_density.value);
    // The treadmark limit sizes the ring at the next track load.
    treadmark_limit = int32_t(settings.treadmark_limit.value);
}

const menu_rect* advanced_rect(int line)
{
    if (line == 0) return &back_items[1].rect;
    advanced_line l = advanced(line);
    return l.slider ? &l.slider->rect : &l.choice->rect;
}

// ---- Multiplayer ----------------------------------------------------------------------

void multiplayer_draw()
{
    menu_pen pen;
    page_begin(&pen, "Multiplayer", &back_items[2], "Back to Main Menu");
    menu_advance(&pen, 0, menu_line_step);
    connect_item.label = net_server_set() ? "Disconnect" : "Connect";
    menu_draw_item(&connect_item, line_selected(1), &pen, menu_item_width, 0);
    menu_advance(&pen, 0, menu_line_step);
    menu_draw_item(&restart_item, line_selected(2), &pen, menu_item_width, 0);
    menu_advance(&pen, 5.3333335f, menu_line_step - 1.5f);
    menu_draw_text(&settings.server_name, line_selected(3), &pen, 32, 0, 0.1875f);
    menu_end();
}

// Page up / page down in the server field: older and newer history entries.
void server_history_key(uint32_t code)
{
    menu_text* field = &settings.server_name;
    int32_t& at = settings.server_history_selected;
    if (code == menu_keys.page_up) {
        int before = at;
        at = std::min(at + 1, server_history_count - 1);
        if (before == -1 && !strcmp(settings.server_history[0], field->text)) at = std::min(1, server_history_count - 1);
        if (!settings.server_history[at][0]) at = before;
        else menu_text_set(field, settings.server_history[at]);
    } else if (code == menu_keys.page_down) {
        if (at == 0) at = -1;
        else if (at > 0) menu_text_set(field, settings.server_history[--at]);
    } else {
        return;
    }
    field->cursor = std::min(field->cursor, int32_t(strlen(field->text)));
}

void multiplayer_key(uint32_t code)
{
    line_move(code, 3);
    int line = menu_line;
    if (line == 0) {
        if (line_activated(&back_items[2].rect, code)) menu_open(page_main);
    } else if (line == 1) {
        if (!line_activated(&connect_item.rect, code)) return;
        if (!net_server_set()) {
            server_history_push();
            net_set_server(settings.server_name.text);
            menu_page = page_none;
        } else if (net_client.state == 0) {
            console_print("Disconnected\n");
            net_reset();
        } else {
            net_set_state(client_leaving);
        }
    } else if (line == 2) {
        if (!line_activated(&restart_item.rect, code)) return;
        if (net_connected() && net_client.state == client_racing) net_send_restart();
        menu_page = page_none;
    } else {
        server_history_key(code);
        menu_text_key(&settings.server_name, code);
    }
}

const menu_rect* multiplayer_rect(int line)
{
    const menu_rect* rects[] = {&back_items[2].rect, &connect_item.rect, &restart_item.rect,
                                &settings.server_name.rect};
    return rects[line];
}

}  // namespace

const menu_page_entry graphics_page = {graphics_draw, graphics_key, graphics_rect, 17};
const menu_page_entry advanced_graphics_page = {advanced_draw, advanced_key, advanced_rect, 14};
const menu_page_entry multiplayer_page = {multiplayer_draw, multiplayer_key, multiplayer_rect, 3};
