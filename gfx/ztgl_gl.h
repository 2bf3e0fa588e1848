#pragma once
// The GL entry points the game calls, held in one table that start-up fills by
// name through the platform layer's loader. Nothing links the GL library
// itself, so the same binary runs on desktop GL and on GL ES.
#include <GL/glcorearb.h>

// Names that only the compatibility profile defines, used as plain values.
#define ZTGL_MODELVIEW 0x1700
#define ZTGL_PROJECTION 0x1701
#define ZTGL_TEXTURE 0x1702

// X(type, name, desktop, es): "gl" name is the entry point, first present in
// desktop GL and in GL ES of version desktop and es (major * 10 + minor).
// Optional ones may be missing (glGetTexLevelParameteriv: GL ES 3.1 on).
#define ZTGL_REQUIRED_FUNCTIONS(X) \
  X(PFNGLGETSTRINGPROC, GetString, 11, 20) \
  X(PFNGLGETERRORPROC, GetError, 11, 20) \
  X(PFNGLGETINTEGERVPROC, GetIntegerv, 11, 20) \
  X(PFNGLGETFLOATVPROC, GetFloatv, 11, 20) \
  X(PFNGLENABLEPROC, Enable, 11, 20) \
  X(PFNGLDISABLEPROC, Disable, 11, 20) \
  X(PFNGLBLENDFUNCPROC, BlendFunc, 11, 20) \
  X(PFNGLDEPTHFUNCPROC, DepthFunc, 11, 20) \
  X(PFNGLDEPTHMASKPROC, DepthMask, 11, 20) \
  X(PFNGLBINDTEXTUREPROC, BindTexture, 11, 20) \
  X(PFNGLDRAWARRAYSPROC, DrawArrays, 11, 20) \
  X(PFNGLDRAWELEMENTSPROC, DrawElements, 11, 20) \
  X(PFNGLCLEARPROC, Clear, 11, 20) \
  X(PFNGLCLEARCOLORPROC, ClearColor, 11, 20) \
  X(PFNGLDELETETEXTURESPROC, DeleteTextures, 11, 20) \
  X(PFNGLGENTEXTURESPROC, GenTextures, 11, 20) \
  X(PFNGLFLUSHPROC, Flush, 11, 20) \
  X(PFNGLFINISHPROC, Finish, 11, 20) \
  X(PFNGLPIXELSTOREIPROC, PixelStorei, 11, 20) \
  X(PFNGLREADPIXELSPROC, ReadPixels, 11, 20) \
  X(PFNGLTEXIMAGE2DPROC, TexImage2D, 11, 20) \
  X(PFNGLTEXPARAMETERFPROC, TexParameterf, 11, 20) \
  X(PFNGLTEXPARAMETERFVPROC, TexParameterfv, 11, 20) \
  X(PFNGLTEXPARAMETERIPROC, TexParameteri, 11, 20) \
  X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D, 11, 20) \
  X(PFNGLVIEWPORTPROC, Viewport, 11, 20) \
  X(PFNGLDRAWRANGEELEMENTSPROC, DrawRangeElements, 12, 30) \
  X(PFNGLACTIVETEXTUREPROC, ActiveTexture, 13, 20) \
  X(PFNGLATTACHSHADERPROC, AttachShader, 20, 20) \
  X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer, 30, 20) \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus, 30, 20) \
  X(PFNGLCOMPILESHADERPROC, CompileShader, 20, 20) \
  X(PFNGLCREATEPROGRAMPROC, CreateProgram, 20, 20) \
  X(PFNGLCREATESHADERPROC, CreateShader, 20, 20) \
  X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers, 30, 20) \
  X(PFNGLDELETEPROGRAMPROC, DeleteProgram, 20, 20) \
  X(PFNGLDELETESHADERPROC, DeleteShader, 20, 20) \
  X(PFNGLDETACHSHADERPROC, DetachShader, 20, 20) \
  X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D, 30, 20) \
  X(PFNGLGENERATEMIPMAPPROC, GenerateMipmap, 30, 20) \
  X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers, 30, 20) \
  X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog, 20, 20) \
  X(PFNGLGETSHADERIVPROC, GetShaderiv, 20, 20) \
  X(PFNGLGETPROGRAMIVPROC, GetProgramiv, 20, 20) \
  X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog, 20, 20) \
  X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation, 20, 20) \
  X(PFNGLLINKPROGRAMPROC, LinkProgram, 20, 20) \
  X(PFNGLSHADERSOURCEPROC, ShaderSource, 20, 20) \
  X(PFNGLUNIFORM1IPROC, Uniform1i, 20, 20) \
  X(PFNGLUNIFORM1FPROC, Uniform1f, 20, 20) \
  X(PFNGLUNIFORM2FVPROC, Uniform2fv, 20, 20) \
  X(PFNGLUNIFORM3FVPROC, Uniform3fv, 20, 20) \
  X(PFNGLUNIFORM4FVPROC, Uniform4fv, 20, 20) \
  X(PFNGLUNIFORMMATRIX3FVPROC, UniformMatrix3fv, 20, 20) \
  X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv, 20, 20) \
  X(PFNGLUSEPROGRAMPROC, UseProgram, 20, 20) \
  X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation, 20, 20) \
  X(PFNGLBINDBUFFERPROC, BindBuffer, 15, 20) \
  X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray, 30, 30) \
  X(PFNGLBUFFERDATAPROC, BufferData, 15, 20) \
  X(PFNGLBUFFERSUBDATAPROC, BufferSubData, 15, 20) \
  X(PFNGLDELETEBUFFERSPROC, DeleteBuffers, 15, 20) \
  X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays, 30, 30) \
  X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray, 20, 20) \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray, 20, 20) \
  X(PFNGLGENBUFFERSPROC, GenBuffers, 15, 20) \
  X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays, 30, 30) \
  X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f, 20, 20) \
  X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer, 20, 20)

#define ZTGL_OPTIONAL_FUNCTIONS(X) \
  X(PFNGLGETTEXLEVELPARAMETERIVPROC, GetTexLevelParameteriv, 11, 31)

struct ztgl_functions {
#define ZTGL_MEMBER(type, name, desktop, es) type name;
  ZTGL_REQUIRED_FUNCTIONS(ZTGL_MEMBER)
  ZTGL_OPTIONAL_FUNCTIONS(ZTGL_MEMBER)
#undef ZTGL_MEMBER
};

// Every GL call of the game goes through this table.
extern ztgl_functions ztgl_fn;

struct vesk_window;

// Fills ztgl_fn through the platform's loader for the window's current
// context; 0 after logging "Can't find GL function %s\n" for each required
// entry point the context lacks (the layer is then unusable).
int ztgl_load_functions(vesk_window* window);
