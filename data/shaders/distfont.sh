// Distance-field text in screen pixels with y down: the page's alpha holds the distance to the glyph
// outline (0.5 on it). Drawn with premultiplied-alpha blending.
// Vertex (28 bytes): {0 FLOAT2 POSITION}, {8 D3DCOLOR COLOR0} text colour, {12 D3DCOLOR COLOR1}
// outline colour, {16 FLOAT2 TEXCOORD0}, {24 D3DCOLOR TEXCOORD1} packed (shadow x, shadow y, outline,
// edge): shadow offsets as (0.5 - uv offset * 32), outline and edge as the distance level where
// their soft edge begins (0.5 minus half their width in distance units).
// c16: (2 / W, -2 / H, -1 - 0.5 / W, 1 + 0.5 / H).
float4 screen_map : register(c16);
sampler2D page : register(s0);

struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
  float4 second : COLOR1;
  float2 uv : TEXCOORD0;
  float4 params : TEXCOORD1;
};

#ifdef VSH
VsOut vsh(float2 p : POSITION, float4 col : COLOR0, float4 second : COLOR1, float2 uv : TEXCOORD0,
          float4 params : TEXCOORD1) {
  VsOut o;
  o.pos = float4(p * screen_map.xy + screen_map.zw, 0.0, 1.0);
  o.col = col;
  o.second = second;
  o.uv = uv;
  o.params = params;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float d = tex2D(page, i.uv).a;
  float edge = i.params.w;
  float outline = i.params.z;
  float ramp = max(0.5 - edge, 0.001);
  float fill_a = smoothstep(edge, 1.0 - edge, d) * i.col.a;
  float line_a = smoothstep(outline - ramp, outline + ramp, d) * i.second.a;
  float2 shadow_uv = i.uv - (0.5 - i.params.xy) * (1.0 / 32.0);
  float shadow_d = tex2D(page, shadow_uv).a;
  float shadow_a = smoothstep(outline - 2.0 * ramp, outline + 2.0 * ramp, shadow_d) * 0.5 * i.col.a;
  // Layers from the top: fill over outline over shadow (premultiplied).
  float3 rgb = i.col.rgb * fill_a + i.second.rgb * line_a * (1.0 - fill_a);
  float a = fill_a + line_a * (1.0 - fill_a);
  a = a + shadow_a * (1.0 - a);
  return float4(rgb, a);
}
#endif
