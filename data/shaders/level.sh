// The level cells and the sprites: one texel of the stage-0 texture (cell colours, or the sprite
// atlas) is one voxel, shaded by the tile texture at stage 1 (one tile repeat per texel, wrapped).
// Vertex: {0 FLOAT3 POSITION}, {12 SHORT2 TEXCOORD0}; texture coordinates in 1/16384 of the texture.
// c0..c3: the transform rows (row vectors); c16: (texture width, -texture height, 0, 0), so the tile
// sits upright whether the texture's rows run up (cells, atlas) or down.
float4 tm[4] : register(c0);
float4 tex_size : register(c16);
sampler2D cells : register(s0);
sampler2D tile : register(s1);

struct VsOut {
  float4 pos : POSITION;
  float2 uv : TEXCOORD0;
  float2 voxel : TEXCOORD1;
};

#ifdef VSH
VsOut vsh(float3 p : POSITION, float2 tc : TEXCOORD0) {
  VsOut o;
  o.pos = p.x * tm[0] + p.y * tm[1] + p.z * tm[2] + tm[3];
  o.uv = tc * (1.0 / 16384.0);
  o.voxel = o.uv * tex_size.xy;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float4 c = tex2D(cells, i.uv);
  // Absent cells and transparent sprite texels are cut out here as well as by the alpha test.
  clip(c.a - 0.5);
  float3 shade = tex2D(tile, i.voxel).rgb;
  return float4(c.rgb * shade * 2.0, 1.0);
}
#endif
