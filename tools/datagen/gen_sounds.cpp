// The four-strokes' engine sound table: "sounds/four.table" (2 rpm rows x 2
// load columns) and its four raw recordings, made by formula; then the
// "soundtable" key in the four-stroke default setups (docs/sound_table.md).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/datagen/datagen.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int cycle_samples = 1024;  // one engine cycle of each recording
constexpr int cycles = 2;            // two cycles, the second a little weaker
const float row_keys[2] = {3000, 9000};
const float column_keys[2] = {0, 1};

// One cell: a firing pulse that rings down, brighter at high rpm, quieter
// on a closed throttle.
std::string cell_bytes(int row, int column)
{
    std::string out;
    double brightness = row == 0 ? 6 : 11;  // ringing periods per cycle
    double level = column == 0 ? 0.3 : 0.9;
    for (int c = 0; c < cycles; c++)
        for (int i = 0; i < cycle_samples; i++) {
            double d = i / double(cycle_samples);
            double ring = std::exp(-5 * d) * std::sin(2 * pi * brightness * d);
            double rumble = 0.25 * std::sin(2 * pi * d + 0.5);
            double v = level * (c == 0 ? 1.0 : 0.85) * (0.75 * ring + rumble);
            auto s = int16_t(std::lround(std::fmax(-1.0, std::fmin(1.0, v)) * 32767));
            out += char(s & 0xFF);
            out += char((s >> 8) & 0xFF);
        }
    return out;
}

std::string cell_name(int row, int column)
{
    return "sounds/four_" + std::to_string(row) + "_" + std::to_string(column) + ".raw";
}

int write_sounds(const std::string& root)
{
    std::ostringstream table;
    table << "SOUNDTABLE 2 2\n" << row_keys[0] << " " << row_keys[1] << "\n" << column_keys[0] << " " << column_keys[1] << "\n";
    for (int r = 0; r < 2; r++)
        for (int c = 0; c < 2; c++) {
            if (!datagen_write_text(root, cell_name(r, c), cell_bytes(r, c))) return 0;
            // The open-throttle cells alternate their two cycles; the others
            // play them in turn.
            table << (c == 1 ? "0 1 1 0 " : "") << "-1 " << cycles << " @" << cell_name(r, c) << "\n";
        }
    if (!datagen_write_text(root, "sounds/four.table", table.str())) return 0;
    // The default setups of the four-stroke classes (written by the step
    // before) use the table.
    for (const char* cls : {"250f", "450f"}) {
        std::string name = root + "/default" + cls + ".braap";
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            fprintf(stderr, "zt_datagen: can't read '%s'\n", name.c_str());
            return 0;
        }
        if (!datagen_write_text(root, std::string("default") + cls + ".braap",
                                text.str() + "soundtable @sounds/four.table\n"))
            return 0;
    }
    return 1;
}

}  // namespace

DATAGEN_STEP("52_engine_sounds", write_sounds);
