#pragma once
// The way the line learner's own rider rides a track: the track's designed
// centre line ("centre_line", written by the data generator) with its
// corners rounded, a speed for every point from the bend it lies in, the
// braking before it and the jumps on it ("jumps"), sampled a quarter second
// apart like a recorded racing line.
#include <functional>
#include <string>
#include <vector>

struct tool_point {
    float x, z;
    float speed;  // ft/s; negative over a jump's gap (the rider is in the air)
};

struct tool_jump {
    float x, z, dx, dz;                   // where its face starts, the way it is ridden
    float lip, crest, slope_end, end;     // along its way from the face's start (ft)
    float design_speed;                   // ft/s at the lip
};

// How hard the learner's rider rides.
struct tool_pace {
    float top_speed;       // ft/s on the straights
    float side_accel;      // ft/s^2 in bends: v = sqrt(side_accel x radius)
    float braking;         // ft/s^2 before a slower stretch
    float corner_margin;   // ft: how far a rounded corner may leave the corner's lines
    float rough_speed;     // ft/s over bumpy ground
};

// "x z" a line ('#' lines skipped); the loop closes from the last point to
// the first. Fewer than 3 points, or a line that does not scan, gives an
// empty list and the reason in *error.
std::vector<tool_point> read_centre_line(const std::string& text, std::string* error);
// The "jumps" file: "name x z dx dz lip crest slope_end end lip_height
// lip_degrees design_speed" a line. Lines that do not scan are an error.
std::vector<tool_jump> read_jumps(const std::string& text, std::string* error);

// The closed loop with each corner replaced by a circular arc tangent to both
// of its sides, its radius as large as the margin and half of either side
// allow; then points about every foot, each with the radius of the bend it
// lies in (0 on a straight).
struct dense_point {
    float x, z, radius;
};
std::vector<dense_point> round_corners(const std::vector<tool_point>& corners, float margin);

// Speeds along a dense loop: the bend's speed, held at a jump's design speed
// from 60 ft before its face to the middle of its landing (negative from the
// lip on), the rough-ground speed where the ground (height(x, z), when
// given) is bumpy, top speed elsewhere, lowered so the rider can brake into
// every slower stretch (around the loop).
std::vector<float> loop_speeds(const std::vector<dense_point>& loop, const std::vector<tool_jump>& jumps,
                               const tool_pace& pace, const std::function<float(float, float)>& height = nullptr);

// The loop sampled a quarter second apart at its speeds (at least a foot)
// along the centre, then moved sideways by offset (ft, to the left of the
// way ridden).
std::vector<tool_point> timed_loop(const std::vector<dense_point>& loop, const std::vector<float>& speeds,
                                   float offset);
