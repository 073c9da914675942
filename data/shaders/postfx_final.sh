// The post effect: the scene texture (stage 0) to the back buffer, darkened towards the edges by the
// shadow map (stage 1) and with a faint grid between level cells in the ring the shadow map marks.
// Vertex: {0 FLOAT3 POSITION} of the full-screen quad.
// Vertex c16: (0.5, -0.5, 0.5 / W + 0.5, 0.5 / H + 0.5): screen to texture with the half-texel offset.
// Pixel c16: (pixel scale / W, pixel scale / H, 0, 0): one level cell in texture units.
sampler2D scene : register(s0);
sampler2D shadow_map : register(s1);

struct VsOut {
  float4 pos : POSITION;
  float2 uv : TEXCOORD0;
};

#ifdef VSH
float4 to_tex : register(c16);
VsOut vsh(float3 p : POSITION) {
  VsOut o;
  o.pos = float4(p.xy, 0.0, 1.0);
  o.uv = p.xy * to_tex.xy + to_tex.zw;
  return o;
}
#endif

#ifdef PSH
float4 cell : register(c16);
float4 psh(VsOut i) : COLOR {
  float3 c = tex2D(scene, i.uv).rgb;
  float4 s = tex2D(shadow_map, i.uv);
  float2 f = frac(i.uv / max(cell.xy, 0.0001));
  float grid = (f.x < 0.08 || f.y < 0.08) ? 0.94 : 1.0;
  float darken = 1.0 - 0.5 * s.b;
  c *= lerp(1.0, grid, s.g);
  return float4(c * darken, 1.0);
}
#endif
