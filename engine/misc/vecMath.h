// Four-lane SSE vectors (vec4float, vec4i32), Matrix44 with row vectors multiplied from the left,
// the D3dColor conversions and the scalar rounding helpers every module uses.
#pragma once
#include <emmintrin.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

typedef uint32_t D3dColor;  // 0xAARRGGBB

struct vec4float {
  __m128 v;
  vec4float() : v(_mm_setzero_ps()) {}
  vec4float(__m128 m) : v(m) {}
  vec4float(float x, float y, float z, float w) : v(_mm_setr_ps(x, y, z, w)) {}
  static vec4float zero() { return vec4float(_mm_setzero_ps()); }
  static vec4float splat(float f) { return vec4float(_mm_set1_ps(f)); }
  operator __m128() const { return v; }

  float x() const { return _mm_cvtss_f32(v); }
  float y() const { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))); }
  float z() const { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2))); }
  float w() const { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3))); }
  float operator[](int i) const {
    float f[4];
    _mm_storeu_ps(f, v);
    return f[i];
  }
  vec4float splatY() const { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)); }
  vec4float splatZ() const { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)); }
  vec4float splatW() const { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)); }
  vec4float swapHalves() const { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)); }

  vec4float operator+(vec4float o) const { return _mm_add_ps(v, o.v); }
  vec4float operator-(vec4float o) const { return _mm_sub_ps(v, o.v); }
  vec4float operator*(vec4float o) const { return _mm_mul_ps(v, o.v); }
  vec4float operator/(vec4float o) const { return _mm_div_ps(v, o.v); }
  vec4float operator*(float s) const { return _mm_mul_ps(v, _mm_set1_ps(s)); }
  vec4float operator/(float s) const { return _mm_div_ps(v, _mm_set1_ps(s)); }
  vec4float operator-() const { return _mm_sub_ps(_mm_setzero_ps(), v); }
  vec4float& operator+=(vec4float o) {
    v = _mm_add_ps(v, o.v);
    return *this;
  }
  vec4float operator&(vec4float o) const { return _mm_and_ps(v, o.v); }
  vec4float operator|(vec4float o) const { return _mm_or_ps(v, o.v); }
  vec4float operator^(vec4float o) const { return _mm_xor_ps(v, o.v); }
  vec4float& operator&=(vec4float o) {
    v = _mm_and_ps(v, o.v);
    return *this;
  }
};

inline vec4float v_andnot(vec4float a, vec4float b) { return _mm_andnot_ps(a.v, b.v); }  // ~a & b
inline vec4float v_abs(vec4float a) { return _mm_and_ps(a.v, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))); }
inline vec4float v_min(vec4float a, vec4float b) { return _mm_min_ps(a.v, b.v); }
inline vec4float v_max(vec4float a, vec4float b) { return _mm_max_ps(a.v, b.v); }
inline vec4float v_saturate(vec4float a) { return _mm_max_ps(_mm_min_ps(a.v, _mm_set1_ps(1.f)), _mm_setzero_ps()); }
inline vec4float v_sqrt(vec4float a) { return _mm_sqrt_ps(a.v); }
inline vec4float v_hsum(vec4float a) {
  __m128 xy = _mm_add_ps(a.v, _mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(2, 3, 0, 1)));  // (x+y, y+x, z+w, w+z)
  return _mm_add_ps(xy, _mm_shuffle_ps(xy, xy, _MM_SHUFFLE(1, 0, 3, 2)));          // (x+y)+(z+w)
}
inline vec4float v_dot4(vec4float a, vec4float b) { return v_hsum(a * b); }
inline vec4float v_length3_sq(vec4float a) {
  vec4float sq = a * a;
  return v_hsum(_mm_and_ps(sq.v, _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0))));
}
inline vec4float v_length3(vec4float a) { return v_sqrt(v_length3_sq(a)); }
inline vec4float v_normalize3(vec4float a) {
  vec4float l = v_length3(a);
  vec4float r = a / l;
  return _mm_and_ps(r.v, _mm_cmpneq_ps(l.v, _mm_setzero_ps()));
}
inline vec4float v_cmp_le(vec4float a, vec4float b) { return _mm_cmple_ps(a.v, b.v); }
inline vec4float v_cmp_lt(vec4float a, vec4float b) { return _mm_cmplt_ps(a.v, b.v); }
inline vec4float v_cmp_lt(float s, vec4float b) { return _mm_cmplt_ps(_mm_set1_ps(s), b.v); }
inline vec4float v_cmp_le(float s, vec4float b) { return _mm_cmple_ps(_mm_set1_ps(s), b.v); }
inline int v_movemask(vec4float a) { return _mm_movemask_ps(a.v); }
inline vec4float v_select(vec4float mask, vec4float a, vec4float b) {
  return _mm_or_ps(_mm_and_ps(mask.v, a.v), _mm_andnot_ps(mask.v, b.v));
}
// Boxes are (x0, y0, x1, y1).
inline vec4float v_box_union(vec4float a, vec4float b) {
  vec4float mn = v_min(a, b), mx = v_max(a, b);
  return _mm_shuffle_ps(mn.v, mx.v, _MM_SHUFFLE(3, 2, 1, 0));
}
inline bool v_box_overlap(vec4float a, vec4float b) {
  return b.x() <= a.z() && b.y() <= a.w() && b.z() > a.x() && b.w() > a.y();
}

inline D3dColor v_to_color(vec4float c) {
  __m128i i = _mm_cvtps_epi32(_mm_mul_ps(v_saturate(c).v, _mm_set1_ps(255.f)));
  int32_t l[4];
  _mm_storeu_si128((__m128i*)l, i);
  return (uint32_t(l[3]) << 24) | (uint32_t(l[0]) << 16) | (uint32_t(l[1]) << 8) | uint32_t(l[2]);
}
inline vec4float v_from_color(D3dColor c) {
  return vec4float(float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255), float(c >> 24)) / 255.f;
}

// Scalar helpers. Rounding follows the processor's current mode (nearest, ties to even).
inline int f_to_int_nearest(float f) { return _mm_cvtss_si32(_mm_set_ss(f)); }
inline float bits_to_float(uint32_t b) {
  float f;
  memcpy(&f, &b, 4);
  return f;
}
// True floor and ceiling for every float. (Rounding f -/+ 0.49999988 to nearest, the old way, is
// off by one for odd integers from 3 up: 3.0 - 0.49999988 rounds to 2.5, and ties go to even.)
// Out-of-range values and NaN give the processor's "integer indefinite", INT_MIN.
inline int f_floor_int(float f) {
  int i = _mm_cvttss_si32(_mm_set_ss(f));
  if (i != INT32_MIN && float(i) > f) i--;
  return i;
}
inline int f_ceil_int(float f) {
  int i = _mm_cvttss_si32(_mm_set_ss(f));
  if (i != INT32_MIN && float(i) < f) i++;
  return i;
}
inline float f_sqrt(float f) { return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(f))); }
inline float f_abs(float f) { return fabsf(f); }
inline float f_max(float a, float b) { return b > a ? b : a; }  // ties and NaN give a

struct vec4i32 {
  __m128i v;
  vec4i32() : v(_mm_setzero_si128()) {}
  vec4i32(__m128i m) : v(m) {}
  vec4i32(int x, int y, int z, int w) : v(_mm_setr_epi32(x, y, z, w)) {}
  static vec4i32 zero() { return vec4i32(_mm_setzero_si128()); }
  static vec4i32 splat(int i) { return vec4i32(_mm_set1_epi32(i)); }
  vec4i32 xyxy() const { return _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 1, 0)); }
  vec4i32 splatY() const { return _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1)); }
  vec4i32 splatZ() const { return _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 2, 2)); }
  int x() const { return _mm_cvtsi128_si32(v); }
  int y() const { return _mm_cvtsi128_si32(_mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1))); }
  int z() const { return _mm_cvtsi128_si32(_mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 2, 2))); }
  int w() const { return _mm_cvtsi128_si32(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 3))); }
  vec4i32 operator&(vec4i32 o) const { return _mm_and_si128(v, o.v); }
  vec4i32 operator^(vec4i32 o) const { return _mm_xor_si128(v, o.v); }
  vec4i32 operator~() const { return _mm_xor_si128(v, _mm_set1_epi32(-1)); }
  vec4i32 operator+(vec4i32 o) const { return _mm_add_epi32(v, o.v); }
  vec4i32 operator-(vec4i32 o) const { return _mm_sub_epi32(v, o.v); }
  vec4i32& operator&=(vec4i32 o) {
    v = _mm_and_si128(v, o.v);
    return *this;
  }
  vec4i32 operator>(vec4i32 o) const { return _mm_cmpgt_epi32(v, o.v); }
  vec4i32 operator>=(vec4i32 o) const { return ~vec4i32(_mm_cmpgt_epi32(o.v, v)); }
  vec4float toFloat() const { return _mm_cvtepi32_ps(v); }
  static vec4i32 truncate(vec4float f) { return _mm_cvttps_epi32(f.v); }
  static vec4i32 nearest(vec4float f) { return _mm_cvtps_epi32(f.v); }
  // Truncates, then steps down the lanes that truncation moved up (negative non-integers);
  // out-of-range lanes stay INT_MIN.
  static vec4i32 floor(vec4float f) {
    __m128i t = _mm_cvttps_epi32(f.v);
    __m128i up = _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(t), f.v));
    __m128i valid = _mm_xor_si128(_mm_cmpeq_epi32(t, _mm_set1_epi32(INT32_MIN)), _mm_set1_epi32(-1));
    return _mm_add_epi32(t, _mm_and_si128(up, valid));
  }
};
inline vec4i32 v_select(vec4i32 mask, vec4i32 a, vec4i32 b) {
  return _mm_or_si128(_mm_and_si128(mask.v, a.v), _mm_andnot_si128(mask.v, b.v));
}

struct alignas(16) Matrix44 {
  vec4float r[4];
  Matrix44() {}
  Matrix44(vec4float a, vec4float b, vec4float c, vec4float d) {
    r[0] = a;
    r[1] = b;
    r[2] = c;
    r[3] = d;
  }
  static Matrix44 identity() {
    return Matrix44(vec4float(1, 0, 0, 0), vec4float(0, 1, 0, 0), vec4float(0, 0, 1, 0), vec4float(0, 0, 0, 1));
  }
  vec4float& row(int i) { return r[i]; }
  const vec4float& row(int i) const { return r[i]; }
  bool operator==(const Matrix44& o) const {
    int m = 15;
    for (int i = 0; i < 4; i++) m &= _mm_movemask_ps(_mm_cmpeq_ps(r[i].v, o.r[i].v));
    return m == 15;
  }
  bool operator!=(const Matrix44& o) const { return !(*this == o); }
  float at(int row, int col) const { return r[row][col]; }
  Matrix44 operator*(const Matrix44& b) const;
  Matrix44 inverse() const;
};

// v M for a row vector: (w row3 + z row2) + (y row1 + x row0).
inline vec4float operator*(vec4float v, const Matrix44& m) {
  vec4float hi = m.r[3] * v.splatW() + m.r[2] * v.splatZ();
  vec4float lo = m.r[1] * v.splatY() + m.r[0] * vec4float(_mm_shuffle_ps(v.v, v.v, 0));
  return hi + lo;
}
inline Matrix44 Matrix44::operator*(const Matrix44& b) const {
  return Matrix44(r[0] * b, r[1] * b, r[2] * b, r[3] * b);
}

inline Matrix44 Matrix44::inverse() const {
  float m[16], inv[16];
  for (int i = 0; i < 4; i++) _mm_storeu_ps(m + i * 4, r[i].v);
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
           m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
           m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
           m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
            m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
           m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
           m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
           m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
            m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] + m[13] * m[2] * m[7] -
           m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
           m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
            m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
            m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] - m[9] * m[2] * m[7] +
           m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] + m[8] * m[2] * m[7] -
           m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] - m[8] * m[1] * m[7] +
            m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] -
            m[8] * m[2] * m[5];
  float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  float id = 1.0f / det;  // no test for a singular matrix: it gives non-finite elements
  Matrix44 out;
  for (int i = 0; i < 4; i++) out.r[i] = _mm_mul_ps(_mm_loadu_ps(inv + i * 4), _mm_set1_ps(id));
  return out;
}
