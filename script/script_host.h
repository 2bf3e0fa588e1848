#pragma once
// The track script host.

// Unloads the track script and frees its sounds.
void script_unload();
// Hands a script message (from the race server or a replayed demo) to the
// track script's handler.
void script_message(const char* text);
