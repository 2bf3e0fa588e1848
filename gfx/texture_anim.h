#pragma once
// Animated textures (".seq" files, magic "ANIM1") and the script-driven custom
// frames composed into them: the record, the file reader and the pure steps
// (which sequence entry a tic shows, pasting one frame into the compose
// buffer). The GL side lives with the texture registry (texture.h).
#include <cstdint>

#include "gfx/image_source.h"

// Caps on a ".seq" header, so its one allocation stays small and sane.
constexpr int ANIM_MAX_ENTRIES = 65536;

struct anim_frame {
    int32_t width, height, bytes_per_pixel;
    uint8_t* pixels;  // a full chain
};

struct animated_texture {
    int32_t id;
    int32_t length;  // L: sequence entries
    int32_t frame_count;  // F
    int32_t frame;   // the frame now uploaded
    int32_t period;  // tics per sequence step, at least 1
    int32_t loop;
    int32_t start;
    int32_t paused;
    anim_frame* frames;   // F entries, in the same allocation as the record
    int32_t* sequence;    // L frame indices, likewise
    uint8_t* custom;      // compose buffer (a full chain of frame 0's size) or null
};

// Reads a PNG frame named in the file; 1 with a full chain.
typedef int (*anim_png_reader)(const char* name, uint8_t** pixels, int* width, int* height, int* bytes_per_pixel);

// Reads the rest of a ".seq" file after its "ANIM1" token. Frames go through
// image_fit_pot with the frame pixel limit. Null with image_last_error set
// (and everything read so far freed) on any fault.
animated_texture* anim_read(image_source* src, anim_png_reader read_png, int frame_pixel_limit);
void anim_free(animated_texture* anim);

// The sequence entry shown at tic: max(0, tic - start) / period, wrapped with
// the loop flag, else held on the last entry.
int anim_sequence_position(const animated_texture* anim, int tic);

// Pastes frame `frame` of the animation into its compose buffer (level 0);
// coordinates and sizes are fractions of the frame size. 1 when anything was
// pasted. Refuses a missing buffer, a bad frame index and non-finite numbers.
int anim_paste(animated_texture* anim, int frame, float sx, float sy, float dx, float dy, float fw, float fh);
