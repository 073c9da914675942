// Our OpenGL 3.3 core function loader: every entry point the layer calls, fetched by name through
// plat_gl_get_proc_address once a context exists. Nothing links libGL directly.
#pragma once
#include <GL/glcorearb.h>

// One entry a line, which the formatter would run together.
// clang-format off
#define D3D9_GL_FUNCTIONS(F)                                                                                           \
  F(GetString, GETSTRING)                                                                                              \
  F(GetIntegerv, GETINTEGERV)                                                                                          \
  F(GetError, GETERROR)                                                                                                \
  F(Enable, ENABLE)                                                                                                    \
  F(Disable, DISABLE)                                                                                                  \
  F(Viewport, VIEWPORT)                                                                                                \
  F(DepthRange, DEPTHRANGE)                                                                                            \
  F(Scissor, SCISSOR)                                                                                                  \
  F(ClearColor, CLEARCOLOR)                                                                                            \
  F(ClearDepth, CLEARDEPTH)                                                                                            \
  F(ClearStencil, CLEARSTENCIL)                                                                                        \
  F(Clear, CLEAR)                                                                                                      \
  F(ColorMask, COLORMASK)                                                                                              \
  F(DepthMask, DEPTHMASK)                                                                                              \
  F(StencilMask, STENCILMASK)                                                                                          \
  F(DepthFunc, DEPTHFUNC)                                                                                              \
  F(StencilFunc, STENCILFUNC)                                                                                          \
  F(StencilOp, STENCILOP)                                                                                              \
  F(BlendFunc, BLENDFUNC)                                                                                              \
  F(BlendEquation, BLENDEQUATION)                                                                                      \
  F(CullFace, CULLFACE)                                                                                                \
  F(FrontFace, FRONTFACE)                                                                                              \
  F(PolygonMode, POLYGONMODE)                                                                                          \
  F(PixelStorei, PIXELSTOREI)                                                                                          \
  F(ReadPixels, READPIXELS)                                                                                            \
  F(ReadBuffer, READBUFFER)                                                                                            \
  F(Finish, FINISH)                                                                                                    \
  F(Flush, FLUSH)                                                                                                      \
  F(GenTextures, GENTEXTURES)                                                                                          \
  F(DeleteTextures, DELETETEXTURES)                                                                                    \
  F(BindTexture, BINDTEXTURE)                                                                                          \
  F(ActiveTexture, ACTIVETEXTURE)                                                                                      \
  F(TexImage2D, TEXIMAGE2D)                                                                                            \
  F(TexSubImage2D, TEXSUBIMAGE2D)                                                                                      \
  F(TexParameteri, TEXPARAMETERI)                                                                                      \
  F(TexParameteriv, TEXPARAMETERIV)                                                                                    \
  F(GenSamplers, GENSAMPLERS)                                                                                          \
  F(DeleteSamplers, DELETESAMPLERS)                                                                                    \
  F(BindSampler, BINDSAMPLER)                                                                                          \
  F(SamplerParameteri, SAMPLERPARAMETERI)                                                                              \
  F(SamplerParameterfv, SAMPLERPARAMETERFV)                                                                            \
  F(GenBuffers, GENBUFFERS)                                                                                            \
  F(DeleteBuffers, DELETEBUFFERS)                                                                                      \
  F(BindBuffer, BINDBUFFER)                                                                                            \
  F(BufferData, BUFFERDATA)                                                                                            \
  F(BufferSubData, BUFFERSUBDATA)                                                                                      \
  F(GenVertexArrays, GENVERTEXARRAYS)                                                                                  \
  F(DeleteVertexArrays, DELETEVERTEXARRAYS)                                                                            \
  F(BindVertexArray, BINDVERTEXARRAY)                                                                                  \
  F(EnableVertexAttribArray, ENABLEVERTEXATTRIBARRAY)                                                                  \
  F(DisableVertexAttribArray, DISABLEVERTEXATTRIBARRAY)                                                                \
  F(VertexAttribPointer, VERTEXATTRIBPOINTER)                                                                          \
  F(VertexAttribDivisor, VERTEXATTRIBDIVISOR)                                                                          \
  F(DrawArrays, DRAWARRAYS)                                                                                            \
  F(DrawElementsBaseVertex, DRAWELEMENTSBASEVERTEX)                                                                    \
  F(DrawArraysInstanced, DRAWARRAYSINSTANCED)                                                                          \
  F(DrawElementsInstancedBaseVertex, DRAWELEMENTSINSTANCEDBASEVERTEX)                                                  \
  F(CreateShader, CREATESHADER)                                                                                        \
  F(DeleteShader, DELETESHADER)                                                                                        \
  F(ShaderSource, SHADERSOURCE)                                                                                        \
  F(CompileShader, COMPILESHADER)                                                                                      \
  F(GetShaderiv, GETSHADERIV)                                                                                          \
  F(GetShaderInfoLog, GETSHADERINFOLOG)                                                                                \
  F(CreateProgram, CREATEPROGRAM)                                                                                      \
  F(DeleteProgram, DELETEPROGRAM)                                                                                      \
  F(AttachShader, ATTACHSHADER)                                                                                        \
  F(LinkProgram, LINKPROGRAM)                                                                                          \
  F(GetProgramiv, GETPROGRAMIV)                                                                                        \
  F(GetProgramInfoLog, GETPROGRAMINFOLOG)                                                                              \
  F(UseProgram, USEPROGRAM)                                                                                            \
  F(GetUniformLocation, GETUNIFORMLOCATION)                                                                            \
  F(GetActiveUniform, GETACTIVEUNIFORM)                                                                                \
  F(GetUniformIndices, GETUNIFORMINDICES)                                                                              \
  F(GetActiveUniformsiv, GETACTIVEUNIFORMSIV)                                                                          \
  F(Uniform1i, UNIFORM1I)                                                                                              \
  F(Uniform4f, UNIFORM4F)                                                                                              \
  F(Uniform4fv, UNIFORM4FV)                                                                                            \
  F(UniformMatrix4fv, UNIFORMMATRIX4FV)                                                                                \
  F(BindFragDataLocation, BINDFRAGDATALOCATION)                                                                        \
  F(GenFramebuffers, GENFRAMEBUFFERS)                                                                                  \
  F(DeleteFramebuffers, DELETEFRAMEBUFFERS)                                                                            \
  F(BindFramebuffer, BINDFRAMEBUFFER)                                                                                  \
  F(FramebufferTexture2D, FRAMEBUFFERTEXTURE2D)                                                                        \
  F(FramebufferRenderbuffer, FRAMEBUFFERRENDERBUFFER)                                                                  \
  F(CheckFramebufferStatus, CHECKFRAMEBUFFERSTATUS)                                                                    \
  F(BlitFramebuffer, BLITFRAMEBUFFER)                                                                                  \
  F(DrawBuffers, DRAWBUFFERS)                                                                                          \
  F(GenRenderbuffers, GENRENDERBUFFERS)                                                                                \
  F(DeleteRenderbuffers, DELETERENDERBUFFERS)                                                                          \
  F(BindRenderbuffer, BINDRENDERBUFFER)                                                                                \
  F(RenderbufferStorage, RENDERBUFFERSTORAGE)                                                                          \
  F(FenceSync, FENCESYNC)                                                                                              \
  F(DeleteSync, DELETESYNC)                                                                                            \
  F(ClientWaitSync, CLIENTWAITSYNC)                                                                                    \
  F(GetActiveAttrib, GETACTIVEATTRIB)                                                                                  \
  F(GetAttribLocation, GETATTRIBLOCATION)
// clang-format on

struct D3d9Gl {
#define D3D9_GL_MEMBER(name, upper) PFNGL##upper##PROC name;
  D3D9_GL_FUNCTIONS(D3D9_GL_MEMBER)
#undef D3D9_GL_MEMBER
};

extern D3d9Gl d3d9_gl;
// Fetches every entry point; false (naming the first missing one in *missing) when one is absent.
bool d3d9_gl_load(const char** missing);
