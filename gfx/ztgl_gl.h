#pragma once
// The GL entry points the game calls, held in one table that start-up fills by
// name through the platform layer's loader. Nothing links the GL library
// itself, so the same binary runs on desktop GL and on GL ES.
#include <GL/glcorearb.h>

// Names that only the compatibility profile defines, used as plain values.
#define ZTGL_MODELVIEW 0x1700
#define ZTGL_PROJECTION 0x1701
#define ZTGL_TEXTURE 0x1702

// X(type, name): "gl" name is the entry point; optional ones may be missing
// (glGetTexLevelParameteriv exists on GL ES only from 3.1).
#define ZTGL_REQUIRED_FUNCTIONS(X) \
  X(PFNGLGETSTRINGPROC, GetString) \
  X(PFNGLGETERRORPROC, GetError) \
  X(PFNGLGETINTEGERVPROC, GetIntegerv) \
  X(PFNGLGETFLOATVPROC, GetFloatv) \
  X(PFNGLENABLEPROC, Enable) \
  X(PFNGLDISABLEPROC, Disable) \
  X(PFNGLBLENDFUNCPROC, BlendFunc) \
  X(PFNGLDEPTHFUNCPROC, DepthFunc) \
  X(PFNGLDEPTHMASKPROC, DepthMask) \
  X(PFNGLBINDTEXTUREPROC, BindTexture) \
  X(PFNGLDRAWARRAYSPROC, DrawArrays) \
  X(PFNGLDRAWELEMENTSPROC, DrawElements) \
  X(PFNGLCLEARPROC, Clear) \
  X(PFNGLCLEARCOLORPROC, ClearColor) \
  X(PFNGLDELETETEXTURESPROC, DeleteTextures) \
  X(PFNGLGENTEXTURESPROC, GenTextures) \
  X(PFNGLFLUSHPROC, Flush) \
  X(PFNGLFINISHPROC, Finish) \
  X(PFNGLPIXELSTOREIPROC, PixelStorei) \
  X(PFNGLREADPIXELSPROC, ReadPixels) \
  X(PFNGLTEXIMAGE2DPROC, TexImage2D) \
  X(PFNGLTEXPARAMETERFPROC, TexParameterf) \
  X(PFNGLTEXPARAMETERFVPROC, TexParameterfv) \
  X(PFNGLTEXPARAMETERIPROC, TexParameteri) \
  X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D) \
  X(PFNGLVIEWPORTPROC, Viewport) \
  X(PFNGLDRAWRANGEELEMENTSPROC, DrawRangeElements) \
  X(PFNGLACTIVETEXTUREPROC, ActiveTexture) \
  X(PFNGLATTACHSHADERPROC, AttachShader) \
  X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer) \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus) \
  X(PFNGLCOMPILESHADERPROC, CompileShader) \
  X(PFNGLCREATEPROGRAMPROC, CreateProgram) \
  X(PFNGLCREATESHADERPROC, CreateShader) \
  X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers) \
  X(PFNGLDELETEPROGRAMPROC, DeleteProgram) \
  X(PFNGLDELETESHADERPROC, DeleteShader) \
  X(PFNGLDETACHSHADERPROC, DetachShader) \
  X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D) \
  X(PFNGLGENERATEMIPMAPPROC, GenerateMipmap) \
  X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers) \
  X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog) \
  X(PFNGLGETSHADERIVPROC, GetShaderiv) \
  X(PFNGLGETPROGRAMIVPROC, GetProgramiv) \
  X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog) \
  X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation) \
  X(PFNGLLINKPROGRAMPROC, LinkProgram) \
  X(PFNGLSHADERSOURCEPROC, ShaderSource) \
  X(PFNGLUNIFORM1IPROC, Uniform1i) \
  X(PFNGLUNIFORM1FPROC, Uniform1f) \
  X(PFNGLUNIFORM2FVPROC, Uniform2fv) \
  X(PFNGLUNIFORM3FVPROC, Uniform3fv) \
  X(PFNGLUNIFORM4FVPROC, Uniform4fv) \
  X(PFNGLUNIFORMMATRIX3FVPROC, UniformMatrix3fv) \
  X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv) \
  X(PFNGLUSEPROGRAMPROC, UseProgram) \
  X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation) \
  X(PFNGLBINDBUFFERPROC, BindBuffer) \
  X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray) \
  X(PFNGLBUFFERDATAPROC, BufferData) \
  X(PFNGLBUFFERSUBDATAPROC, BufferSubData) \
  X(PFNGLDELETEBUFFERSPROC, DeleteBuffers) \
  X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays) \
  X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray) \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray) \
  X(PFNGLGENBUFFERSPROC, GenBuffers) \
  X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays) \
  X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f) \
  X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)

#define ZTGL_OPTIONAL_FUNCTIONS(X) \
  X(PFNGLGETTEXLEVELPARAMETERIVPROC, GetTexLevelParameteriv)

struct ztgl_functions {
#define ZTGL_MEMBER(type, name) type name;
  ZTGL_REQUIRED_FUNCTIONS(ZTGL_MEMBER)
  ZTGL_OPTIONAL_FUNCTIONS(ZTGL_MEMBER)
#undef ZTGL_MEMBER
};

// Every GL call of the game goes through this table.
extern ztgl_functions ztgl_fn;

// The platform's loader: the entry point by name, null when missing.
typedef void* (*ztgl_proc_lookup)(void* user, const char* name);

// Fills ztgl_fn; 0 after logging "Can't find GL function %s\n" when a required
// entry point is missing (the table is then unusable).
int ztgl_load_functions(ztgl_proc_lookup lookup, void* user);
