#pragma once
// The headless harness: runs the built program under the display the tests
// run with (xvfb-run), with a scratch player folder holding a windowed
// "config", the generated data root, message boxes off and a fixed seed, and
// captures its exit status, standard output and error, and its log.
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

struct zentrik_result {
    int status = -1;       // exit status; -1 when killed or not started
    std::string out, err;  // standard output and error
    std::string log;       // the log file's text
};

struct zentrik_setup {
    temp_dir scratch;            // XDG_DATA_HOME; the player's folder is scratch/Zentrik
    std::string data_root;       // ZT_HOME (absolute); the generated build/data by default
    std::string config = "video_mode=Windowed\nxres=320\nyres=240\n";  // the player's "config"
    std::map<std::string, std::string> env;  // more variables (an empty value unsets)
    int timeout_seconds = 120;
    std::string program;         // another program to run; empty: the built one
    // Close the reading end of standard output at once, as a video encoder
    // that went away does.
    bool stdout_reader_gone = false;

    zentrik_setup();
    std::string player_folder() const { return scratch.path + "/Zentrik"; }
    std::string log_path() const { return scratch.path + "/log.txt"; }
};

// The generated data root of this build (build/data), absolute.
std::string zentrik_data_root();
// The built program, absolute.
std::string zentrik_program();
// Runs the program with the arguments and waits for it.
zentrik_result run_zentrik(zentrik_setup& setup, const std::vector<std::string>& args);
// Sets the harness's variables in this process (for runs of game_main in a
// test's own process): the same environment run_zentrik gives the program.
void zentrik_environment_here(zentrik_setup& setup);

// Splits standard output into P6 frames; false when it is not a sequence
// of whole "P6\n<w> <h>\n255\n" images.
struct p6_frame {
    int width = 0, height = 0;
    std::string pixels;  // width x height x 3 bytes, top row first
};
bool parse_p6_frames(const std::string& bytes, std::vector<p6_frame>* frames);
// The lines of the log without their time prefix, in order.
std::vector<std::string> log_lines(const std::string& log);
// The position in lines of the first line that contains text at or after
// from; -1 when none.
int find_line(const std::vector<std::string>& lines, const std::string& text, int from = 0);
// Pushes a key press or release (an SDL scan code) into the event queue of
// a program running in this process, as the keyboard would.
void push_key_event(int scancode, bool down);
