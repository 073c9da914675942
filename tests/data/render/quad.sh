// Test shader: a textured, tinted quad moved by two matrices, one of each packing.
#include "common.inc"

#ifdef VSH
row_major float4x4 xform : register(c0);
float4x4 xform2 : register(c4);
struct VsIn {
  float4 pos : POSITION;
  float4 col : COLOR0;
  float2 uv : TEXCOORD0;
};
// Declared in another order than the pixel input: the stages match by semantic.
struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
  float2 uv : TEXCOORD0;
};
VsOut vsh(VsIn i) {
  VsOut o;
  o.pos = mul(mul(i.pos, xform), xform2);
  o.col = i.col;
  o.uv = i.uv;
  return o;
}
#endif

#ifdef PSH
float4 tint : register(c2);
sampler2D tex : register(s1);
float4 psh(float2 uv : TEXCOORD0, float4 col : COLOR0) : COLOR {
  return modulate(tex2D(tex, uv), col) * tint;
}
#endif
