#pragma once
// A fresh temporary folder for one test, removed with everything in it.
#include <string>

struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

std::string read_whole_file(const std::string& path);
void write_whole_file(const std::string& path, const std::string& bytes);
