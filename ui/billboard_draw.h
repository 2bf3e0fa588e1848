#pragma once
// Billboards in the world view: depth keys, a four-pass radix sort that needs
// no allocation, optional texture batching within a look-ahead window that
// never swaps two billboards overlapping on screen, and the camera-facing
// quads. The key and batching steps are pure on index lists.
#include <cstdint>

struct billboard;

// floor(depth x 1024 + 2^24) clamped at 0 (a depth beyond -16384 ft would
// otherwise wrap and sort as the nearest).
int32_t depth_key(float depth);

// Keys every billboard with a texture and colour alpha (stored in its
// sort_key) against the camera's z axis (m2, m5, m8); lists the indices of
// those whose key is below the camera's; the first 2000 add their width.
// Returns the count listed into list.
int billboard_key_list(billboard* table, int count, const float camera[3], const float camera_z[3], int32_t* list);

// Stable least-significant-digit sort of n indices by their keys (key of
// index i = keys[i]), over bits 0..31 in four byte passes; scratch holds n.
void radix_sort_indices(int32_t* list, int32_t* scratch, int n, const int32_t* keys, int key_stride);

// Moves same-texture billboards up to sit together within a window of
// lookahead entries, when the one moved overlaps none it passes as seen from
// the camera (right vector r in the ground plane). lookahead <= 1 keeps the
// order.
void billboard_batch(int32_t* list, int n, const billboard* table, const float camera[3], const float right[2],
                     int lookahead);

// Sorts and draws the track's billboards for the camera (position and
// row-major rotation); returns the number drawn and adds the texture
// changes to *texture_changes.
int draw_billboards(const float camera[3], const float rotation[9], int lookahead, int32_t* texture_changes);
