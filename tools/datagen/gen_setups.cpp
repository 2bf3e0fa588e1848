// The default setup of each bike class ("@default<class>.braap"): the menu
// defaults on that class's reference bike, then the engine-sound lines the
// same files carry (a pipe and the torque span mapped to engine load).
#include <string>

#include "physics/setup.h"
#include "tools/datagen/datagen.h"

namespace {

struct class_default {
    const char* cls;
    const char* bike;
    const char* skin;
    const char* sound;
};

const class_default defaults[] = {
    {"50", "rs50yz", "@yz125.png", "pipe 1.75 0.3 -0.75 0 15\nminrpm 1000\nlowtorque -3.5\nhightorque 1.5\n"},
    {"125", "yz125", "@yz125.png", "pipe 1.75 0.3 -0.75 0 15\nminrpm 1000\nlowtorque -3.5\nhightorque 3.5\n"},
    {"250", "yz250(2012)", "@yz250.png", "pipe 2 0.35 -0.75 0 15\nminrpm 1000\nlowtorque -3.5\nhightorque 3.5\n"},
    {"250f", "yz250f(2017)", "@yz250f.png", "pipe 5 0.91820717 -0.85 0 15\nminrpm 1000\nlowtorque -2.5\nhightorque 2.5\n"},
    {"450f", "yz450f(2018)", "@yz450f.png", "pipe 5.5 1 -0.85 0 15\nminrpm 1000\nlowtorque -2.5\nhightorque 2.5\n"},
};

int write_default_setups(const std::string& root)
{
    for (const auto& d : defaults) {
        bike_setup setup;
        setup_defaults(&setup);
        if (!setup_parse_pair(&setup, "bike", d.bike) || !setup_parse_pair(&setup, "bike_texture", d.skin)) return 0;
        char body[8192];
        setup_format(&setup, body, sizeof body);
        std::string text = std::string("# Default setup of the ") + d.cls + " class\n" + body + "# Engine sound\n" + d.sound;
        if (!datagen_write_text(root, std::string("default") + d.cls + ".braap", text)) return 0;
    }
    return 1;
}

} // namespace

DATAGEN_STEP("51_default_setups", write_default_setups);
