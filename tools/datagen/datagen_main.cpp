// Writes the game's data root, deterministically, from code.
#include "tools/datagen/datagen.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/alloc.h"
#include "gfx/image_png.h"

namespace {
std::vector<datagen_step>& steps()
{
    static std::vector<datagen_step> list;
    return list;
}
} // namespace

int datagen_register(const char* name, int (*run)(const std::string& root))
{
    steps().push_back({name, run});
    return 1;
}

int datagen_write_file(const std::string& root, const std::string& relative, const void* bytes, size_t size)
{
    std::filesystem::path path = std::filesystem::path(root) / relative;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "zt_datagen: can't write '%s'\n", path.c_str());
        return 0;
    }
    bool ok = fwrite(bytes, 1, size, f) == size;
    ok = fclose(f) == 0 && ok;
    if (!ok) fprintf(stderr, "zt_datagen: error writing '%s'\n", path.c_str());
    return ok;
}

int datagen_write_text(const std::string& root, const std::string& relative, const std::string& text)
{
    return datagen_write_file(root, relative, text.data(), text.size());
}

int datagen_write_png(const std::string& root, const std::string& relative, const uint8_t* pixels, int width,
                      int height, int channels, const char* text)
{
    size_t size = 0;
    uint8_t* png = png_encode(pixels, width, height, channels, text, &size);
    if (!png) {
        fprintf(stderr, "zt_datagen: can't encode '%s'\n", relative.c_str());
        return 0;
    }
    int ok = datagen_write_file(root, relative, png, size);
    alloc_check_free(png);
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: zt_datagen DATA_ROOT\n");
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    if (ec) {
        fprintf(stderr, "zt_datagen: can't create '%s': %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    auto& list = steps();
    std::sort(list.begin(), list.end(), [](const datagen_step& a, const datagen_step& b) {
        return std::string(a.name) < b.name;
    });
    for (const auto& step : list) {
        if (!step.run(argv[1])) {
            fprintf(stderr, "zt_datagen: step '%s' failed\n", step.name);
            return 1;
        }
    }
    return 0;
}
