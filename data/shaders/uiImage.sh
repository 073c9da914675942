// Plain GUI images: any texture in screen pixels with y down, colour as a 2x modulation, transparent
// texels discarded (GUI drawing has no blending or alpha test).
// Vertex: {0 FLOAT2 POSITION}, {8 D3DCOLOR COLOR0}, {12 FLOAT2 TEXCOORD0}.
// c17: (2 / W, -2 / H, -1 - 0.5 / W, 1 + 0.5 / H).
float4 screen_map : register(c17);
sampler2D image : register(s0);

struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
  float2 uv : TEXCOORD0;
};

#ifdef VSH
VsOut vsh(float2 p : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0) {
  VsOut o;
  o.pos = float4(p * screen_map.xy + screen_map.zw, 0.0, 1.0);
  o.col = col;
  o.uv = uv;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float4 t = tex2D(image, i.uv);
  float4 c = float4(t.rgb * i.col.rgb * 2.0, t.a * i.col.a);
  clip(c.a - 0.5);
  return c;
}
#endif
