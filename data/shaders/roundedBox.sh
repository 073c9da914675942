// Rounded boxes with a soft drop shadow, in screen pixels with y down; also the GUI's lines (a box
// much larger than its quad, so the quad's own edges make the line). Coverage comes from the
// distance to the box's rounded outline.
// Vertex (44 bytes): {0 FLOAT2 POSITION} quad corner, {8 FLOAT2 TEXCOORD0} box centre,
// {16 FLOAT2 TEXCOORD1} box size, {24 D3DCOLOR TEXCOORD2} corner radii / 255 (top-left, top-right,
// bottom-right, bottom-left), {28 D3DCOLOR COLOR0} fill, {32 D3DCOLOR COLOR1} shadow colour,
// {36 D3DCOLOR TEXCOORD3} (offset x / 255 + 0.5, offset y / 255 + 0.5, blur / 255 + 0.5,
// feather / 255), {40 FLOAT1 TEXCOORD4} shadow size (negative: no shadow).
// c17: (2 / W, -2 / H, -1 - 0.5 / W, 1 + 0.5 / H).
float4 screen_map : register(c17);

struct VsOut {
  float4 pos : POSITION;
  float4 fill : COLOR0;
  float4 shadow : COLOR1;
  float4 rel : TEXCOORD0;     // pixel - centre, half size
  float4 radii : TEXCOORD1;   // pixels
  float4 params : TEXCOORD2;  // shadow offset x, y, blur, feather (pixels)
  float4 extra : TEXCOORD3;   // x: shadow size
};

#ifdef VSH
VsOut vsh(float2 p : POSITION, float2 centre : TEXCOORD0, float2 size : TEXCOORD1, float4 radii : TEXCOORD2,
          float4 fill : COLOR0, float4 shadow : COLOR1, float4 packed : TEXCOORD3, float shadow_size : TEXCOORD4) {
  VsOut o;
  o.pos = float4(p * screen_map.xy + screen_map.zw, 0.0, 1.0);
  o.fill = fill;
  o.shadow = shadow;
  o.rel = float4(p - centre, size * 0.5);
  o.radii = radii * 255.0;
  o.params = float4((packed.xyz - 0.5) * 255.0, packed.w * 255.0);
  o.extra = float4(shadow_size, 0.0, 0.0, 0.0);
  return o;
}
#endif

#ifdef PSH
float box_distance(float2 p, float2 half_size, float r) {
  float2 q = abs(p) - half_size + r;
  return length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - r;
}

float corner_radius(float2 p, float4 radii) {
  float2 top = p.x < 0.0 ? radii.xx : radii.yy;
  float2 bottom = p.x < 0.0 ? radii.ww : radii.zz;
  return p.y < 0.0 ? top.x : bottom.x;
}

float4 psh(VsOut i) : COLOR {
  float2 p = i.rel.xy;
  float2 half_size = i.rel.zw;
  float r = min(corner_radius(p, i.radii), min(half_size.x, half_size.y));
  float feather = max(i.params.w, 0.5);
  float fill_a = saturate(0.5 - box_distance(p, half_size, r) / (2.0 * feather)) * i.fill.a;
  float shadow_a = 0.0;
  if (i.extra.x >= 0.0) {
    float2 ps = p - i.params.xy;
    float grow = i.extra.x;
    float ds = box_distance(ps, half_size + grow, min(r + grow, min(half_size.x, half_size.y) + grow));
    shadow_a = saturate(0.5 - ds / max(2.0 * i.params.z, 1.0)) * i.shadow.a * (1.0 - fill_a);
  }
  float a = fill_a + shadow_a;
  clip(a - 0.5 / 255.0);
  return float4((i.fill.rgb * fill_a + i.shadow.rgb * shadow_a) / max(a, 0.0001), a);
}
#endif
