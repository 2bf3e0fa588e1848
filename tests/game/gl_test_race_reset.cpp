// Both generated tracks load from the program: with --debug the reset logs
// what each track's files made, in the order the reset reads them, and the
// rider of the start-up race stands on the first start gate.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "support_zentrik.h"

namespace {

struct track_counts {
    const char* track;
    // As the generator lays the tracks out: a row of start gates across the
    // start straight, one checkpoint per counted gate of the lap.
    int start_gates, checkpoints;
};

void PrintTo(const track_counts& t, std::ostream* os) { *os << t.track; }

class program_track : public ::testing::TestWithParam<track_counts> {};

TEST_P(program_track, loads_with_its_counts_logged)
{
    const track_counts& t = GetParam();
    zentrik_setup setup;
    zentrik_result r = run_zentrik(setup, {"--track", t.track, "--nosound", "--debug", "--console-commands", "/quit"});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<std::string> lines = log_lines(r.log);
    const char* order[] = {"Resetting",        "Scanning...done", "Loading '@tracks/", "Loading terrain...done",
                           "Found ",           "Loading flaggers...done", "Loading billboards...done",
                           "Loading statues...done", "Loading map...done", "cameras found", "start gates, ",
                           "Loading bikes...done", "Loading track script...done", "Max loading delay was",
                           "Deallocating track", "Finished deallocating track"};
    int at = 0;
    for (const char* text : order) {
        int found = find_line(lines, text, at);
        EXPECT_GE(found, 0) << "\"" << text << "\" after line " << at << "\n" << r.log;
        if (found >= 0) at = found + 1;
    }
    int line = find_line(lines, "start gates, ");
    ASSERT_GE(line, 0);
    int gates = 0, checkpoints = 0, cameras = 0, billboards = 0, statues = 0, flaggers = 0;
    ASSERT_EQ(sscanf(lines[size_t(line)].c_str(), "%d start gates, %d checkpoints, %d cameras, %d billboards, %d statues, %d flaggers",
                     &gates, &checkpoints, &cameras, &billboards, &statues, &flaggers),
              6)
        << lines[size_t(line)];
    EXPECT_EQ(gates, t.start_gates);
    EXPECT_EQ(checkpoints, t.checkpoints);
    EXPECT_GE(cameras, 3) << "more than one view of the track";
    EXPECT_GT(billboards, 0) << "banners";
    EXPECT_GT(statues, 0) << "hay bales";
    EXPECT_GE(flaggers, 1);
    // Nothing the reset read was refused.
    for (const std::string& l : lines) {
        EXPECT_EQ(l.find("Error"), std::string::npos) << l;
        EXPECT_EQ(l.find("Can't open '@tracks/"), std::string::npos) << l;
    }
}

INSTANTIATE_TEST_SUITE_P(generated, program_track,
                         ::testing::Values(track_counts{"practice", 8, 11}, track_counts{"stadium", 6, 5}),
                         [](const ::testing::TestParamInfo<track_counts>& p) { return std::string(p.param.track); });

}  // namespace
