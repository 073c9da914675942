// Debug drawing: coloured lines and triangles in world space with the pass's transform.
// Vertex: {0 FLOAT3 POSITION}, {12 D3DCOLOR COLOR0}; c0..c3: the transform rows (row vectors).
float4 tm[4] : register(c0);

struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
};

#ifdef VSH
VsOut vsh(float3 p : POSITION, float4 col : COLOR0) {
  VsOut o;
  o.pos = p.x * tm[0] + p.y * tm[1] + p.z * tm[2] + tm[3];
  o.col = col;
  return o;
}
#endif

#ifdef PSH
float4 psh(VsOut i) : COLOR { return i.col; }
#endif
