#pragma once
// The track script host.

// Unloads the track script and frees its sounds.
void script_unload();
