// The shadow map of the post effect, drawn in two slices over the full screen: each slice writes the
// pixels outside a radius (c16.x percent of the half diagonal, vertex constant) with its own mark
// (pixel c16.xy into red and green). Blue is the shade towards the screen's edges, the same in both
// slices so the border between them does not show. The first slice marks the ring that the final
// pass grids, the second the outer border where the grid ends.
// Vertex: {0 FLOAT3 POSITION} of the full-screen quad.
struct VsOut {
  float4 pos : POSITION;
  float3 rel : TEXCOORD0;  // xy: position in -1..1, z: radius
};

#ifdef VSH
float4 slice : register(c16);
VsOut vsh(float3 p : POSITION) {
  VsOut o;
  o.pos = float4(p.xy, 0.0, 1.0);
  o.rel = float3(p.xy, slice.x * 0.01 * 1.41421356);
  return o;
}
#endif

#ifdef PSH
float4 mark : register(c16);
float4 psh(VsOut i) : COLOR {
  float r = length(i.rel.xy);
  clip(r - i.rel.z);
  return float4(mark.x, mark.y, saturate((r - 0.6) * 1.25), 1.0);
}
#endif
