#pragma once
// What the readers and writers of the track's text files share: the track
// folder's file names, the check that read numbers are usable, and the one
// line that says where a damaged file stopped being read.
#include <cstdint>

struct vfs_stream;

// "@" + track_dir + "/" + file into out; 0 when it does not fit.
int track_file_name(const char* file, char* out, int size);
// The track's file opened for writing; null after the console line
// "Can't open '<file>'". The bytes go to a temporary that
// close_track_file_written puts in the file's place once it is whole.
vfs_stream* open_track_file_for_writing(const char* file);
// 1 when the file was written whole and replaced the old one; 0 after the
// console line "Can't write '<file>'" (the old file is then kept).
int close_track_file_written(vfs_stream* f, const char* file);
// A heap copy (free with alloc_check_free); null when out of memory.
char* track_name_copy(const char* name);
// 1 when all n values are finite: a number too large for a float reads as
// infinity and would poison every position computed from it.
int track_values_finite(const float* values, int n);
// 1 when anything but white space is left in the stream.
int track_file_has_more(vfs_stream* f);
// 1 when a record scanned whole (scanned == wanted) with finite values;
// otherwise 0, after the damage line when the file does not simply end here.
int track_record_read(vfs_stream* f, const char* path, int scanned, int wanted, const float* values, int n,
                      int32_t records_read);
// The one line for a file whose reading stopped at a damaged record; what was
// read before it stays.
void track_file_stopped(const char* path, int32_t records_read);
