#pragma once
// What the world view draws for people working on the game rather than for
// the player: the labelled markers that the wheel log lays (speech bubbles
// facing the camera, farthest first), and under "--super-debug" the racing
// lines of every line set, fading with distance. The ordering and shape
// steps are plain functions on lists.
#include <cstdint>

struct marker;

// Keys every marker (stored in its sort_key, as billboards are keyed) against
// the camera's z axis and lists the indices of those more than 2 ft in front
// of the camera; returns the count listed.
int marker_key_list(marker* table, int count, const float camera[3], const float camera_z[3], int32_t* list);

// The speech bubble of a text n lines high and 2u wide, in marker units (the
// point at the origin, the tail up to the first line at y = 1): the nine
// points of its triangle fan.
void marker_bubble(float u, int n, float out[9][2]);
// Lines of a marker text (newlines plus one).
int marker_text_lines(const char* text);

// Sorts and draws the race's markers for the camera (position, row-major
// rotation); returns the number drawn.
int draw_markers(const float camera[3], const float rotation[9]);

// Under "--super-debug", the points a computer rider steers along: a box
// round each point of its planned path, the one it steers at twice the
// size. Returns the boxes drawn.
struct rider;
int draw_rider_path(const rider* r);

// Alpha of a racing-line point d feet from the camera: solid up close,
// fading out over the first ~30 ft, never below 1/16.
float racing_line_alpha(float d);
// Draws every line of every loaded line set as white strips; returns the
// points drawn.
int draw_racing_lines(const float camera[3]);
