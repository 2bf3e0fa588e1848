#include "support_terrain.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "terrain/heightfield.h"
#include "terrain/terrain_services.h"

std::string make_hf(int exponent, float spacing, float low, float high, const std::function<uint16_t(int, int)>& fn)
{
    char header[128];
    snprintf(header, sizeof header, "%d %.9g %.9g %.9g\n:", exponent, spacing, low, high);
    std::string out = header;
    int size = (1 << (exponent + 1)) + 1;
    for (int j = 0; j < size; j++) {
        for (int i = 0; i < size; i++) {
            uint16_t v = fn(i, j);
            out += char(v & 0xff);
            out += char(v >> 8);
        }
    }
    return out;
}

void load_hf(terrain* t, const std::string& bytes)
{
    terrain_free(t);
    ASSERT_EQ(heightfield_read(t, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr), 1);
}

namespace {
terrain_test_env* current_env;
void capture(const char* text)
{
    if (current_env) current_env->console.push_back(text);
}
} // namespace

terrain_test_env::terrain_test_env()
{
    terrain_services_reset();
    terrain_hooks.console_print = capture;
    current_env = this;
    terrain_free(&track_terrain);
}

terrain_test_env::~terrain_test_env()
{
    terrain_free(&track_terrain);
    current_env = nullptr;
    terrain_services_reset();
}

int terrain_test_env::count_containing(const std::string& text) const
{
    int n = 0;
    for (const auto& line : console) n += line.find(text) != std::string::npos;
    return n;
}
