#pragma once
// Textures: creation from pixel buffers (wrap and filter modes from flags,
// every level uploaded and counted), the size policy, and the registry that
// loads textures by name from every image format of the game, follows LINK
// aliases, runs ".seq" animations and custom frames, and purges by
// generation. Texture ids are GL texture names; 0 means none.
#include <cstdint>

// Settings and counters.
extern uint64_t texture_memory;            // bytes of every level uploaded
extern int32_t texture_generation;         // the track loader adds 1 per track
extern int32_t texture_drop_levels;        // texture detail, 0..4
extern int32_t texture_compression_mode;   // 0 never, 1 on "[compress]", 2 every PNG
extern int32_t texture_frame_pixel_limit;  // largest animation frame in pixels
extern int32_t texture_verbose;

// Creation (the buffer holds the full chain unless TEXTURE_NO_MIPS).
int texture_create(const uint8_t* pixels, int width, int height, int bytes_per_pixel, uint32_t flags);
int texture_create_clamped(const uint8_t* pixels, int width, int height, int bytes_per_pixel);
int texture_create_clamped_fwd(const uint8_t* pixels, int width, int height, int bytes_per_pixel);
// The size policy, then texture_create; name (may be null) for the message.
int texture_create_fitted(uint8_t* pixels, int width, int height, int bytes_per_pixel, int drop_levels,
                          uint32_t flags, const char* name);
// Uploads every level of a chain into an existing texture of that size.
void texture_upload_levels(int id, const uint8_t* pixels, int width, int height, int bytes_per_pixel);
// The number-plate texture (number_plate.h) for a rider's number and colours.
int number_plate_texture(const char* number, const uint8_t background[3], const uint8_t digit[3]);

// The registry.
int texture_load(const char* name);
int texture_find(const char* name);
const char* texture_name(int id);
const char* texture_text(int id);
// LINK aliases recorded, one per LINK file name loaded (failed loads included).
int texture_alias_count();
// When name ends with old_suffix: the texture of the name with that suffix
// replaced by new_suffix (loaded); else 0.
int replace_suffix_lookup(const char* name, const char* old_suffix, const char* new_suffix);
// all = 0: textures of an older nonzero generation; all = 1: everything.
void textures_purge(int all);

// Animations and custom frames.
void texture_anims_step(int tic);
void texture_anim_start(int id, int tic);
void texture_anim_pause(int id);
int texture_begin_custom_frame(int id);
int texture_paste_custom_frame(int id, int frame, float sx, float sy, float dx, float dy, float fw, float fh);
int texture_end_custom_frame(int id);
