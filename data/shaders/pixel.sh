// Particles: one cell-sized square each, position packed into 16-bit values in 1/16 cell:
// (x mod 32768, y, z, x / 32768). Vertex: {0 SHORT4 POSITION}, {8 D3DCOLOR COLOR0}.
// c0..c3: the transform rows (row vectors).
float4 tm[4] : register(c0);

struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
};

#ifdef VSH
VsOut vsh(float4 p : POSITION, float4 col : COLOR0) {
  VsOut o;
  float x = (p.x + p.w * 32768.0) * (1.0 / 16.0);
  float y = p.y * (1.0 / 16.0);
  float z = p.z * (1.0 / 16.0);
  o.pos = x * tm[0] + y * tm[1] + z * tm[2] + tm[3];
  o.col = col;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR { return float4(i.col.rgb, 1.0); }
#endif
