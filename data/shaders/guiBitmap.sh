// GUI images of the sprite atlas and bitmap-font glyphs in screen pixels with y down. GUI drawing
// runs without blending or alpha test, so transparent texels are discarded here. The colour is a
// 2x modulation (0xFF7F7F7F shows the image as it is); each texel is shaded as a voxel by the tile
// texture at stage 1. Vertex: {0 FLOAT2 POSITION}, {8 D3DCOLOR COLOR0}, {12 FLOAT2 TEXCOORD0}.
// c16: (texture width, +-texture height, 0, 0); c17: (2 / W, -2 / H, -1 - 0.5 / W, 1 + 0.5 / H).
float4 tex_size : register(c16);
float4 screen_map : register(c17);
sampler2D image : register(s0);
sampler2D tile : register(s1);

struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
  float2 uv : TEXCOORD0;
  float2 voxel : TEXCOORD1;
};

#ifdef VSH
VsOut vsh(float2 p : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0) {
  VsOut o;
  o.pos = float4(p * screen_map.xy + screen_map.zw, 0.0, 1.0);
  o.col = col;
  o.uv = uv;
  o.voxel = uv * tex_size.xy;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float4 t = tex2D(image, i.uv);
  clip(t.a - 0.5);
  float3 shade = tex2D(tile, i.voxel).rgb * 2.0;
  return float4(t.rgb * i.col.rgb * 2.0 * shade, i.col.a);
}
#endif
