// Saving: not built yet.
#include "editor/editor_save.h"

void editor_save() {}
void export_pov_scene() {}
void pov_write_identifier(vfs_stream*, const char*) {}
