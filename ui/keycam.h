#pragma once
// The key-framed camera path
// that keycam mode flies: key frames made from the free camera ("addkey"),
// removed ("deletekey"), and kept in "@keycam/<name>" text files.
#include <cstdint>

#include "core/array.h"
#include "game/cameras.h"

// Kept in ascending tic order by keyframe_add (a file read keeps its order).
extern growable_array keyframe_list;
extern int32_t keycam_mode;

// Start-up and shut-down of the list.
void keyframe_list_init();
void keyframe_list_free();

// A key frame from the free camera, the field of view and the tic, inserted
// after every key frame whose tic is not later (equal tics keep their order).
void keyframe_add(const aimed_camera* camera, float fov, int32_t tic);
// "deletekey": fewer than two frames empty the list; otherwise the first
// frame later than tic goes (the last when none is later), or the frame
// before it when that one is not earlier (a list read out of order).
void keyframe_delete(int32_t tic);
// Removes entry index, moving the later ones down; past the end: nothing.
void keyframe_remove(int32_t index);
// Replaces the list with "@keycam/<name>" in file order. A line that does
// not hold nine values ends the read and keeps the frames read so far.
// 1 when the whole file was read.
int keyframes_read(const char* name);
// Writes the list to "@keycam/<name>"; 1 on success.
int keyframes_write(const char* name);
