#pragma once
// Learning a track's racing lines with the game's own race: the learner's
// rider rides the designed centre line as a person would (its runs offered
// through the gate passage like any person's), then computer riders race on
// the lines with learning on, so the lines carry the auto pilot's times and
// failures. Everything runs in this process through the race reset and the
// simulation tic, with a fixed seed.
#include <string>
#include <vector>

#include "tools/linegen/tool_path.h"

struct learn_plan {
    int seed_laps;           // laps of each race of the learner's riders
    int seed_rounds;         // at most this many such races, until every section has a line
    int race_count;          // learning races after the rides
    int race_riders;         // computer riders in each
    int race_laps;
    int verbose;             // a line on standard error per ride and race
};

struct learn_report {
    int sets = 0;            // line sets of the track
    int empty_sets = 0;      // sets still without a line
    int lines = 0;           // lines written
    int rides = 0;           // rides of the learner's rider
    int rides_finished = 0;
    int races = 0;
    double seconds = 0;      // race time simulated
};

// The learner's pace at a skill (0 novice .. 2 expert).
tool_pace learner_pace(int skill);

// Learns the loaded data's track folder ("tracks/x") at a skill and writes
// its lines file through the game's cache writer; false with a message when
// the track does not load or has no centre line.
bool learn_track_lines(const std::string& folder, int skill, const learn_plan& plan, learn_report* report,
                       std::string* error);
