#pragma once
// The track script host.

// Unloads the track script and frees its sounds.
void script_unload();
// Hands a script message from the race server to the track script.
void script_message(const char* text);
