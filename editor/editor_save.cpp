// Saving the edited track into its folder, and the scene export for a ray
// tracer. Every file goes through a temporary that replaces the old file only
// when complete, so a save cut short never leaves a truncated track file.
#include "editor/editor_save.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "ai/racing_lines.h"
#include "core/game_state.h"
#include "core/vfs.h"
#include "editor/editor_state.h"
#include "editor/gradients.h"
#include "editor/object_tools.h"
#include "editor/pov_reserved.h"
#include "game/timing_gates.h"
#include "game/track_objects.h"
#include "gfx/model.h"
#include "gfx/texture.h"
#include "terrain/terrain.h"
#include "terrain/terrain_load.h"

void editor_save()
{
    billboards_save();
    timing_gates_save();
    if (editor.ground) terrain_save(editor.ground);
    statues_save();
    char folder[track_dir_size + 2];
    snprintf(folder, sizeof folder, "@%s", track_dir);
    edinfo_write(folder);
    if (editor_object_sections_changed) {
        // The lines were filed under sections cut at the old switch points.
        line_sets_empty();
        editor_object_sections_changed = 0;
    }
    if (editor.ground) editor.ground->change_flags &= ~2;
    editor_set_status("Saved!");
}

namespace {

// The identifier text of a file name, without the uniqueness suffix.
std::string identifier_of(const char* file_name)
{
    const char* name = file_name[0] == '@' ? file_name + 1 : file_name;
    const char* slash = strrchr(name, '/');
    if (slash) name = slash;
    const char* dot = strrchr(name, '.');
    size_t length = dot ? size_t(dot - name) : strlen(name);
    std::string id;
    if (length > 0 && isdigit(static_cast<unsigned char>(name[0]))) id += '_';
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        id += isalnum(c) ? char(c) : '_';
    }
    // POV-Ray has no empty identifier.
    if (id.empty()) id.push_back('_');
    return id;
}

// The file names given identifiers so far, so that two names that read the
// same ("a/tree.qm" and "b/tree.qm") get "_tree" and "_tree_2", and a name
// that reads as a reserved word ("cone.qm") gets "cone_2".
struct identifier_table {
    std::vector<std::string> names, ids;
    const std::string& of(const char* file_name)
    {
        for (size_t i = 0; i < names.size(); i++)
            if (names[i] == file_name) return ids[i];
        std::string base = identifier_of(file_name), id = base;
        for (int k = 2;; k++) {
            bool taken = pov_reserved_word(id.c_str());
            for (const std::string& other : ids) taken = taken || other == id;
            if (!taken) break;
            id = base + "_" + std::to_string(k);
        }
        names.push_back(file_name);
        ids.push_back(id);
        return ids.back();
    }
};

// A file name inside a POV string: quotes and backslashes escaped.
void write_pov_string(vfs_stream* out, const char* text)
{
    for (const char* p = text; *p; p++) {
        if (*p == '"' || *p == '\\') vfs_putc(out, '\\');
        vfs_putc(out, *p);
    }
}

bool ends_with_ppm(const char* name)
{
    size_t n = strlen(name);
    return n >= 5 && !strcmp(name + n - 4, ".ppm");
}

bool has_texture(const statue* s) { return s->texture_name && s->texture_name[0]; }

void write_statues(vfs_stream* f, identifier_table& ids)
{
    int32_t count = track_objects.statues.count;
    std::vector<uint8_t> declared(size_t(count + 7) / 8, 0);
    for (int32_t i = 0; i < count; i++) {
        const statue* s = statue_at(i);
        if (!s->model || (declared[size_t(i) / 8] & (1 << (i % 8)))) continue;
        const char* name = s->model_name ? s->model_name : model_name(s->model);
        bool textured = has_texture(s);
        for (int32_t j = i + 1; j < count; j++) {
            const statue* o = statue_at(j);
            const char* other = o->model_name ? o->model_name : (o->model ? model_name(o->model) : nullptr);
            if (!o->model || !other || strcmp(other, name)) continue;
            declared[size_t(j) / 8] |= uint8_t(1 << (j % 8));
            textured = textured || has_texture(o);
        }
        vfs_printf(f, "#declare %s = ", ids.of(name).c_str());
        // A statue's image texture cannot be layered over the model's own
        // colours: a model that any statue textures is declared without them.
        if (textured) model_export_pov_shape(s->model, f);
        else model_export_pov(s->model, f);
    }
    vfs_puts(f, "#declare statues = union {\n");
    for (int32_t i = 0; i < count; i++) {
        const statue* s = statue_at(i);
        if (!s->model) continue;
        const char* name = s->model_name ? s->model_name : model_name(s->model);
        vfs_printf(f, "\tobject {\n\t\t%s\n", ids.of(name).c_str());
        if (has_texture(s)) {
            const char* texture = s->texture_name[0] == '@' ? s->texture_name + 1 : s->texture_name;
            vfs_printf(f, "\t\ttexture { uv_mapping pigment { image_map { %s \"", ends_with_ppm(s->texture_name) ? "ppm" : "png");
            write_pov_string(f, texture);
            vfs_puts(f, "\"} } scale <1,-1,1> }\n");
        }
        const float* e = s->orientation;
        // POV-Ray's matrix takes the rows of the transform applied to row
        // vectors: the stored 3 x 3 transposed.
        vfs_printf(f, "\t\tmatrix <%f,%f,%f,%f,%f,%f,%f,%f,%f,0,0,0>\n", e[0], e[3], e[6], e[1], e[4], e[7], e[2],
                   e[5], e[8]);
        vfs_printf(f, "\t\ttranslate <%f,%f,%f>\n\t}\n", s->x, s->y, s->z);
    }
    vfs_puts(f, "}\n");
}

}  // namespace

void pov_write_identifier(vfs_stream* out, const char* file_name)
{
    vfs_puts(out, identifier_of(file_name).c_str());
}

void export_pov_scene()
{
    char path[track_dir_size + 16];
    snprintf(path, sizeof path, "@%s/track.pov", track_dir);
    vfs_stream* f = vfs_open_replacement(path);
    if (!f) return;
    identifier_table ids;
    // The scene's own names come first, so no file name can take them.
    for (const char* own : {"statues", "billboards", "ground"}) ids.names.push_back(""), ids.ids.push_back(own);
    if (track_objects.statues.count > 0) write_statues(f, ids);
    vfs_puts(f, "#declare billboards = union {\n");
    for (int32_t i = 0; i < track_objects.billboards.count; i++) {
        const billboard* b = billboard_at(i);
        if (!b->name || !b->name[0]) continue;
        vfs_printf(f, "object {\n\t%s()\n\ttranslate <%f,%f,%f>\n}\n", ids.of(b->name).c_str(), b->x, b->y, b->z);
    }
    vfs_puts(f, "}\n");
    const terrain* t = editor.ground ? editor.ground : &track_terrain;
    vfs_puts(f, "#declare ground = height_field {\n\tpng \"terrain.png\"\n");
    vfs_printf(f, "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n\tscale <%f,%f,%f>\n", t->extent,
               t->height_max - t->height_min, t->extent);
    vfs_printf(f, "\ttranslate <0,%f,0>\n}\n", t->height_min);
    vfs_commit_replacement(f, path);
}
