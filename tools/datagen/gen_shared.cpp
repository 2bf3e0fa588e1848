#include "tools/datagen/gen_shared.h"

namespace {
constexpr unsigned char red[3] = {210, 30, 30}, green[3] = {60, 190, 40}, yellow[3] = {235, 200, 20},
                        blue[3] = {30, 70, 200}, orange[3] = {240, 110, 10}, white[3] = {235, 235, 235},
                        black[3] = {30, 30, 34}, navy[3] = {20, 30, 90};

bike_stem stem(const char* name, const unsigned char* paint, const unsigned char* alt)
{
    return {name, {paint[0], paint[1], paint[2]}, {alt[0], alt[1], alt[2]}};
}
} // namespace

const std::vector<bike_stem>& bike_stems()
{
    static const std::vector<bike_stem> stems = {
        stem("cr125", red, white),     stem("crf250", red, black),    stem("cr250", red, white),
        stem("crf450", red, black),    stem("kx125", green, white),   stem("kx250f", green, black),
        stem("kx250", green, white),   stem("kx450f", green, black),  stem("rm125", yellow, blue),
        stem("rmz250", yellow, black), stem("rm250", yellow, blue),   stem("rmz450", yellow, black),
        stem("yz125", blue, white),    stem("yz250f", blue, black),   stem("yz250f_se", white, blue),
        stem("yz250", blue, white),    stem("yz450f", blue, black),   stem("125sx", orange, white),
        stem("250sxf", orange, black), stem("250sx", orange, white),  stem("350sxf", orange, black),
        stem("450sxf", orange, navy),  stem("fc250", white, navy),    stem("fc450", white, navy),
    };
    return stems;
}
