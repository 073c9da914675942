// The tiled background behind the level: "background.dds" (64 x 64, wrapped) holds a brightness
// pattern in red and a mix factor in green between the two tint colours.
// Vertex: {0 FLOAT3 POSITION} of the full-screen quad (-1..1).
// Vertex constants: c16: (W / (4 pixel scale), -H / (4 pixel scale), 0, 0): the screen in
// background texels; c17, c18: the two colours (red, green, blue, alpha in 0..1), handed on to the
// pixel program.
sampler2D back : register(s0);

struct VsOut {
  float4 pos : POSITION;
  float2 uv : TEXCOORD0;
  float3 colour1 : TEXCOORD1;
  float3 colour2 : TEXCOORD2;
};

#ifdef VSH
float4 extent : register(c16);
float4 colour1 : register(c17);
float4 colour2 : register(c18);
VsOut vsh(float3 p : POSITION) {
  VsOut o;
  o.pos = float4(p.xy, 0.999, 1.0);
  o.uv = (p.xy * 0.5 + 0.5) * extent.xy * (1.0 / 64.0);
  o.colour1 = colour1.rgb;
  o.colour2 = colour2.rgb;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR {
  float4 t = tex2D(back, i.uv);
  float3 c = lerp(i.colour1, i.colour2, t.g) * (0.25 + 0.5 * t.r);
  return float4(c, 1.0);
}
#endif
