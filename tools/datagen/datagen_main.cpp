// Writes the game's data root, deterministically, from code.
#include <cstdio>
#include <filesystem>

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
    return 0;
}
