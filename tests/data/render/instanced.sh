// Test shader: a unit quad from stream 0 placed and coloured per instance from stream 1.
#ifdef VSH
struct VsIn {
  float2 corner : POSITION;
  float4 place : TEXCOORD1;
  float4 col : COLOR1;
};
struct VsOut {
  float4 pos : POSITION;
  float4 col : COLOR0;
};
VsOut vsh(VsIn i) {
  VsOut o;
  o.pos = float4(i.place.xy + i.corner * i.place.zw, 0, 1);
  o.col = i.col;
  return o;
}
#endif

#ifdef PSH
float4 psh(float4 col : COLOR0) : COLOR {
  return col;
}
#endif
