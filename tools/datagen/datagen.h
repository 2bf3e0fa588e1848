#pragma once
// The data generator is a list of steps, each writing one part of the data
// root. A step registers itself from its own file with DATAGEN_STEP, so parts
// of the generator can be added without touching a central list. Steps run in
// order of their names; each returns 1 on success, 0 after printing one line
// to standard error naming the file it could not write.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct datagen_step {
    const char* name;
    int (*run)(const std::string& root);
};

int datagen_register(const char* name, int (*run)(const std::string& root));

#define DATAGEN_STEP(name, fn) static const int datagen_registered_##fn = datagen_register(name, fn)

// Writes bytes to root/relative, creating folders; 0 with a message on failure.
int datagen_write_file(const std::string& root, const std::string& relative, const void* bytes, size_t size);
int datagen_write_text(const std::string& root, const std::string& relative, const std::string& text);
// Encodes top-down RGB or RGBA (channels 3 or 4) with an optional text chunk
// and writes it as a PNG; 0 with a message on failure.
int datagen_write_png(const std::string& root, const std::string& relative, const uint8_t* pixels, int width,
                      int height, int channels, const char* text = nullptr);

// The bytes of a ".saf" archive holding the members in order (docs/saf.md).
std::string datagen_saf(const std::vector<std::pair<std::string, std::string>>& members);

// The sample track folder under the data root; steps that write track files
// put them here (the game opens them as "@tracks/practice/<file>").
constexpr const char* datagen_track_folder = "tracks/practice";
