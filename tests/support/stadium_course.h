#pragma once
// A slow, careful course round the generated stadium, for rides that must
// go round whole: checkpoint to checkpoint, beside the jumps and the
// whoops rather than over them.
#include <algorithm>
#include <cmath>
#include <vector>

namespace stadium_course {

// The course: the lanes ridden east, west, east, west, east joined by the
// berms, then back down the east side, along the south wall and round a
// hairpin onto the first lane again. A leg of it is a polyline with the
// speed (ft/s) wanted at each point.
struct course_point {
    double x, z, speed;
};
using course = std::vector<course_point>;

// One step of the course: a point, or (r > 0) an arc round (x, z) of
// radius r from one angle to another (degrees), ridden at that speed.
struct course_step {
    double x, z, speed, r = 0, from_deg = 0, to_deg = 0;
};

// The stretch from checkpoint k - 1 to checkpoint k (lap 2 on; leg 0
// starts at the finish), then the first lap's first stretch from the grid
// (leg 5). Turns are taken slowly after 40 ft of braking, and short of the
// berms so that the way back down the east side stays clear. The second
// lane is ridden beside its double jumps and the third beside its whoops,
// swinging in to the checkpoints (18 ft reach).
inline constexpr double fast = 20.0, turn = 10.0, tight = 7.0, table = 14.0;
inline const std::vector<course_step> course_legs[6] = {
    {{128, 205, table}, {173, 205, 16}, {213, 205, turn}, {213, 190, turn, 15, 90, 0},  // down the east side
     {228, 100, 16}, {228, 60, turn}, {198, 60, turn, 30, 0, -90},                      // along the south wall
     {150, 30, 16}, {110, 30, turn}, {100, 40, turn, 10, -90, -270},                     // round onto the first lane
     {116, 46, turn}, {128, 40, turn}, {150, 40, fast}, {190, 40, turn}},
    {{190, 40, turn}, {192, 40, turn}, {192, 66.75, turn, 26.75, -90, 90}, {172, 93.5, fast}, {142, 93.5, turn},
     {134, 91, turn}, {126, 90, turn}},
    {{126, 90, turn}, {116, 91, turn}, {108, 93.5, turn}, {96, 93.5, fast}, {72, 93.5, tight}, {62, 88, tight},
     {50, 100, tight, 13, -67, -270}, {62, 109, turn}, {76, 107, turn}, {116, 107, turn}, {128, 109, turn}},
    {{128, 109, turn}, {140, 107, fast}, {150, 107, fast}, {190, 107, turn}, {190, 133.5, turn, 26.5, -90, 90},
     {170, 160, table}, {128, 160, table}},
    {{128, 160, table}, {104, 160, fast}, {64, 160, turn}, {64, 182.5, turn, 22.5, -90, -270}, {90, 205, table},
     {128, 205, table}},
    {{134, 40, fast}, {150, 40, fast}, {190, 40, turn}},
};

// A leg's steps as points, each arc in steps of at most 10 degrees.
inline course expand_course(const std::vector<course_step>& steps)
{
    course c;
    for (const course_step& s : steps) {
        if (s.r <= 0) {
            c.push_back({s.x, s.z, s.speed});
            continue;
        }
        int n = int(std::ceil(std::fabs(s.to_deg - s.from_deg) / 10.0));
        for (int i = 1; i <= n; i++) {
            double a = (s.from_deg + (s.to_deg - s.from_deg) * i / n) * M_PI / 180.0;
            c.push_back({s.x + s.r * std::cos(a), s.z + s.r * std::sin(a), s.speed});
        }
    }
    return c;
}

inline course course_leg(int k, bool first_lap)
{
    return expand_course(course_legs[first_lap && k == 0 ? 5 : k]);
}

// Points at most `spacing` feet apart along a course, each piece's last
// point left to the next, the speed running evenly between its ends.
inline course points_along(const course& c, double spacing)
{
    course out;
    for (size_t i = 1; i < c.size(); i++) {
        const course_point &a = c[i - 1], &b = c[i];
        int n = std::max(1, int(std::ceil(std::hypot(b.x - a.x, b.z - a.z) / spacing)));
        for (int j = 0; j < n; j++) {
            double f = double(j) / n;
            out.push_back({a.x + f * (b.x - a.x), a.z + f * (b.z - a.z), a.speed + f * (b.speed - a.speed)});
        }
    }
    return out;
}

// The first lap whole, from the grid to the finish.
inline course first_lap()
{
    course c;
    for (int k : {5, 1, 2, 3, 4}) {
        course leg = expand_course(course_legs[k]);
        c.insert(c.end(), leg.begin(), leg.end());
    }
    return c;
}

}  // namespace stadium_course
