// Vector and matrix maths: rounding helpers, colour conversions, boxes, products and the inverse.
#include <math.h>
#include <vector>
#include "engine/misc/vecMath.h"
#include "testSupport.h"

TEST(VecMath, RoundingHelpers) {
  struct Case {
    float f;
    int floor_, ceil_, nearest;
  } cases[] = {{2.0f, 2, 2, 2}, {-0.5f, -1, 0, 0}, {2.2f, 2, 3, 2},
               {2.5f, 2, 3, 2}, {3.5f, 3, 4, 4},   {-2.7f, -3, -2, -3}};
  for (const Case& c : cases) {
    EXPECT_EQ(f_floor_int(c.f), c.floor_) << c.f;
    EXPECT_EQ(f_ceil_int(c.f), c.ceil_) << c.f;
    EXPECT_EQ(f_to_int_nearest(c.f), c.nearest) << c.f;
  }
  EXPECT_EQ(f_max(1.f, 1.f), 1.f);
  EXPECT_EQ(f_max(2.f, NAN), 2.f);
  EXPECT_EQ(f_max(2.f, 3.f), 3.f);
  vec4i32 fl = vec4i32::floor(vec4float(2.0f, -0.5f, 1.99f, -2.5f));
  EXPECT_EQ(fl.x(), 2);
  EXPECT_EQ(fl.y(), -1);
  EXPECT_EQ(fl.z(), 1);
  EXPECT_EQ(fl.w(), -3);
}

// Floor and ceiling are exact for every float: objects standing on a cell edge (an odd integer as
// often as an even one) must land in the right cell.
TEST(VecMath, FloorAndCeilingAreExactForIntegersHalvesAndNegatives) {
  std::vector<float> values;
  for (int i = -9; i <= 9; i++) {
    values.push_back(float(i));
    values.push_back(float(i) + 0.5f);
    values.push_back(nextafterf(float(i), -100.f));
    values.push_back(nextafterf(float(i), 100.f));
  }
  for (float f : {1001.0f, 4095.0f, 4095.5f, -4097.0f, 65537.0f, 1e-30f, -1e-30f, 0.49999997f, -0.49999997f})
    values.push_back(f);
  for (float f : values) {
    EXPECT_EQ(f_floor_int(f), int(floorf(f))) << f;
    EXPECT_EQ(f_ceil_int(f), int(ceilf(f))) << f;
    vec4i32 v = vec4i32::floor(vec4float(f, -f, f + 1.0f, f * 2.0f));
    EXPECT_EQ(v.x(), int(floorf(f))) << f;
    EXPECT_EQ(v.y(), int(floorf(-f))) << f;
    EXPECT_EQ(v.z(), int(floorf(f + 1.0f))) << f;
    EXPECT_EQ(v.w(), int(floorf(f * 2.0f))) << f;
  }
}

TEST(VecMath, ColourConversions) {
  vec4float c = v_from_color(0x80FF0000);
  EXPECT_FLOAT_EQ(c.x(), 1.f);
  EXPECT_FLOAT_EQ(c.y(), 0.f);
  EXPECT_FLOAT_EQ(c.z(), 0.f);
  EXPECT_NEAR(c.w(), 0.50196f, 1e-5);
  EXPECT_EQ(v_to_color(c), 0x80FF0000u);
  EXPECT_EQ(v_to_color(vec4float(2.f, -1.f, 0.5f, 1.f)), 0xFFFF0080u);
}

TEST(VecMath, LaneOperations) {
  vec4float a(1, 2, 3, 4), b(4, 3, 2, 1);
  EXPECT_FLOAT_EQ(v_hsum(a).z(), 10.f);
  EXPECT_FLOAT_EQ(v_dot4(a, b).x(), 20.f);
  EXPECT_FLOAT_EQ(v_length3(vec4float(3, 4, 0, 9)).w(), 5.f);
  vec4float z = v_normalize3(vec4float(0, 0, 0, 5));
  EXPECT_EQ(v_movemask(v_cmp_le(z, vec4float::zero())), 15);
  EXPECT_EQ(z.w(), 0.f);
  EXPECT_EQ(v_movemask(v_cmp_lt(a, b)), 0b0011);
  vec4float s = v_select(v_cmp_lt(a, b), a, b);
  EXPECT_FLOAT_EQ(s.z(), 2.f);
  EXPECT_FLOAT_EQ(v_abs(vec4float(-1, 2, -3, 0)).z(), 3.f);
  EXPECT_FLOAT_EQ(a.swapHalves().x(), 3.f);
  vec4float u = v_box_union(vec4float(0, 0, 2, 2), vec4float(1, -1, 3, 1));
  EXPECT_FLOAT_EQ(u.y(), -1.f);
  EXPECT_FLOAT_EQ(u.z(), 3.f);
  EXPECT_TRUE(v_box_overlap(vec4float(0, 0, 2, 2), vec4float(1, 1, 3, 3)));
  EXPECT_TRUE(v_box_overlap(vec4float(0, 0, 2, 2), vec4float(2, 0, 3, 3)));    // b's left edge on a's right edge
  EXPECT_FALSE(v_box_overlap(vec4float(0, 0, 2, 2), vec4float(-1, 0, 0, 3)));  // b's right edge on a's left edge
  EXPECT_FALSE(v_box_overlap(vec4float(0, 0, 2, 2), vec4float(3, 0, 4, 3)));
  vec4i32 i(1, 2, 3, 4);
  EXPECT_EQ((i >= vec4i32(1, 3, 3, 0)).y(), 0);
  EXPECT_EQ((i >= vec4i32(1, 3, 3, 0)).x(), -1);
}

TEST(VecMath, MatrixProductsAndInverse) {
  Matrix44 t = Matrix44::identity();
  t.row(3) = vec4float(5, -6, 7, 1);
  vec4float p = vec4float(1, 2, 3, 1) * t;
  EXPECT_FLOAT_EQ(p.x(), 6.f);
  EXPECT_FLOAT_EQ(p.y(), -4.f);
  Matrix44 inv = t.inverse();
  EXPECT_FLOAT_EQ(inv.row(3).x(), -5.f);
  EXPECT_FLOAT_EQ(inv.row(3).z(), -7.f);
  EXPECT_TRUE(t * inv == Matrix44::identity());
  Matrix44 m(vec4float(2, 0, 0, 0), vec4float(1, 3, 0, 0), vec4float(0, 0, 4, 0), vec4float(1, 2, 3, 1));
  Matrix44 r = m * m.inverse();
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_NEAR(r.at(i, j), i == j ? 1.f : 0.f, 1e-6);
  Matrix44 singular(vec4float::zero(), vec4float::zero(), vec4float::zero(), vec4float::zero());
  EXPECT_FALSE(std::isfinite(singular.inverse().at(0, 0)));
  EXPECT_TRUE(m != t);
}
