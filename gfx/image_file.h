#pragma once
// Image files through the file system: whole files read into memory and handed
// to the decoders of image_png.h and image_pnm.h, and the PNG writers.
#include <cstddef>
#include <cstdint>

// The whole file (plain or ".gz") in a buffer from the allocator; null when it
// cannot be opened, is damaged (see vfs_error) or holds more than 256 MiB.
uint8_t* image_file_read(const char* name, size_t* size);

// A PNG with its text (text chunks, then the "<name>.info" side file) and its
// chain as the text asks ("[mip_custom]", "[mip_max_alpha]"). 1 on success;
// 0 with image_last_error set.
int png_read(const char* name, uint8_t** pixels, int* width, int* height, int* bytes_per_pixel, char** text);
// The same for a file already in memory (the side file is still read).
int png_read_memory(const char* name, const uint8_t* data, size_t size, uint8_t** pixels, int* width, int* height,
                    int* bytes_per_pixel, char** text);

// Grey bytes of a PGM; null with image_last_error set ("Can't get PGM
// dimensions" for a bad header).
uint8_t* pgm_read(const char* name, int* width, int* height);
// 16-bit grey samples of a grey PNG (terrain heights).
uint16_t* image_read_png_gray16(const char* name, int* width, int* height);

// Writers; 1 on success, 0 with one line in the message log.
int image_write_png_gray16(const char* name, const uint16_t* samples, int width, int height);
// The input runs bottom-up, as read back from the window.
int image_write_png_rgb(const char* name, const uint8_t* samples, int width, int height);
