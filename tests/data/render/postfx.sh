// Test shader: the full-screen pass, mapping the screen onto a texture with the half-texel offset
// given in vertex constant 16, and a particle-style packed vertex for the second pass.
#ifdef VSH
float4 map : register(c16);
struct VsOut {
  float4 pos : POSITION;
  float2 uv : TEXCOORD0;
};
VsOut vsh(float3 pos : POSITION) {
  VsOut o;
  o.pos = float4(pos, 1);
  o.uv = pos.xy * map.xy + map.zw;
  return o;
}
#endif

#ifdef PSH
sampler2D scene : register(s0);
float4 psh(float2 uv : TEXCOORD0) : COLOR {
  return tex2D(scene, uv);
}
#endif
