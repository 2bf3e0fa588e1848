#pragma once
// Saving the edited track and exporting it as a ray-tracer scene.
struct vfs_stream;

void editor_save();
// Writes "track.pov" in the track folder; silently nothing when it cannot be opened.
void export_pov_scene();
// The scene identifier made of a file name ("objects/tree.png" -> "_tree").
void pov_write_identifier(vfs_stream* out, const char* file_name);
