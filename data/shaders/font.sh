// The debug font: glyphs of "font.tga" and solid rectangles (texel coordinates -1, -1) in screen
// pixels with y up. Vertex: {0 SHORT2 POSITION}, {4 D3DCOLOR COLOR0}, {8 SHORT2 TEXCOORD0} (texels).
// c16: (2 / W, 2 / H, -1 - 0.5 / W, 0.5 / H - 1); c17: (1 / texture width, 1 / texture height, 0, 0).
float4 screen_map : register(c16);
float4 texel_scale : register(c17);
sampler2D glyphs : register(s0);

struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
  float3 uv : TEXCOORD0;  // z: 1 for a glyph, 0 for a solid rectangle
};

#ifdef VSH
VsOut vsh(float2 p : POSITION, float4 col : COLOR0, float2 tc : TEXCOORD0) {
  VsOut o;
  o.pos = float4(p * screen_map.xy + screen_map.zw, 0.0, 1.0);
  o.col = col;
  o.uv = float3(tc * texel_scale.xy, tc.x >= 0.0 ? 1.0 : 0.0);
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float4 t = tex2D(glyphs, i.uv.xy);
  float4 c = i.col;
  if (i.uv.z > 0.5) c *= t;
  // Empty texels go whatever the alpha-test reference left by an earlier pass.
  clip(c.a - 0.5 / 255.0);
  return c;
}
#endif
