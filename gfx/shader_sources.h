#pragma once
// The six built-in shader programs. Every source is written once for both
// dialects: it starts "#version 300 es\n//#version 150\n", and desktop GL
// compiles it from the second line on (see ztgl_source_for_context).

struct shader_program_source {
  const char* name;
  const char* vertex;
  const char* fragment;
};

// Indexed by slot; entry 0 is empty.
extern const shader_program_source shader_sources[8];
