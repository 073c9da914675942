// Distance-field icons in screen pixels with y down, drawn like distance-field text with five
// colours. Vertex (40 bytes): {0 FLOAT2 POSITION}, {8 FLOAT2 TEXCOORD0}, {16 D3DCOLOR TEXCOORD1}
// packed (shadow x, shadow y, outline, edge) as for text, {20 D3DCOLOR COLOR0} fill,
// {24 D3DCOLOR COLOR1} outline, {28 D3DCOLOR TEXCOORD2} shadow, {32 D3DCOLOR TEXCOORD3} fill tint,
// {36 D3DCOLOR TEXCOORD4} glow (rgb added, scaled by its alpha).
// c16: (2 / W, -2 / H, -1 - 0.5 / W, 1 + 0.5 / H).
float4 screen_map : register(c16);
sampler2D page : register(s0);

struct VsOut {
  float4 pos : POSITION;
  float4 fill : COLOR0;
  float4 outline_col : COLOR1;
  float2 uv : TEXCOORD0;
  float4 params : TEXCOORD1;
  float4 shadow : TEXCOORD2;
  float4 tint : TEXCOORD3;
  float4 glow : TEXCOORD4;
};

#ifdef VSH
VsOut vsh(float2 p : POSITION, float2 uv : TEXCOORD0, float4 params : TEXCOORD1, float4 fill : COLOR0,
          float4 line_col : COLOR1, float4 shadow : TEXCOORD2, float4 tint : TEXCOORD3, float4 glow : TEXCOORD4) {
  VsOut o;
  o.pos = float4(p * screen_map.xy + screen_map.zw, 0.0, 1.0);
  o.fill = fill;
  o.outline_col = line_col;
  o.uv = uv;
  o.params = params;
  o.shadow = shadow;
  o.tint = tint;
  o.glow = glow;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float d = tex2D(page, i.uv).a;
  float edge = i.params.w;
  float outline = i.params.z;
  float ramp = max(0.5 - edge, 0.001);
  float fill_a = smoothstep(edge, 1.0 - edge, d) * i.fill.a;
  float line_a = smoothstep(outline - ramp, outline + ramp, d) * i.outline_col.a;
  float shadow_d = tex2D(page, i.uv - (0.5 - i.params.xy) * (1.0 / 32.0)).a;
  float shadow_a = smoothstep(outline - 2.0 * ramp, outline + 2.0 * ramp, shadow_d) * i.shadow.a;
  float3 fill = i.fill.rgb * i.tint.rgb + i.glow.rgb * i.glow.a;
  float3 rgb = fill * fill_a + i.outline_col.rgb * line_a * (1.0 - fill_a);
  float a = fill_a + line_a * (1.0 - fill_a);
  rgb = rgb + i.shadow.rgb * shadow_a * (1.0 - a);
  a = a + shadow_a * (1.0 - a);
  return float4(rgb, a);
}
#endif
