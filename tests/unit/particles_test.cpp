// Particles: their step (life, gravity, removal by moving the last one into the slot) and the
// packing of their squares into 16-bit vertices that the particle shader turns back into cells.
#include <gtest/gtest.h>
#include <math.h>
#include "engine/dynVBWriter.h"
#include "game/particles.h"
#include "render_test_util.h"

namespace {
struct Particles : testing::Test {
  void TearDown() override { close_junk(); }
};

// What "pixel.sh" computes from a vertex: the position in cells.
double shader_x(const JunkVertex& v) { return (double(v.xLow) + double(v.xHigh) * 32768.0) / 16.0; }

Junk at(float x, float y, float z = 0) {
  Junk j;
  j.pos = vec4float(x, y, z, 1);
  j.vel = vec4float::zero();
  j.colour = 0xff102030;
  j.life = 1;
  j.gravity = 0;
  return j;
}
}  // namespace

TEST_F(Particles, StepMovesFallsAndRemovesByMovingTheLastIntoTheSlot) {
  add_junk(vec4float(0, 0, 0, 1), vec4float(10, 20, 0, 0), 0xff000001, 0.04f, 0);    // gone after a step
  add_junk(vec4float(5, 5, 0, 1), vec4float(10, 20, 0, 0), 0xff000002, 1.0f, 0);     // straight line
  add_junk(vec4float(9, 9, 0, 1), vec4float(0, 0, 0, 0), 0xff000003, 1.0f, 500.0f);  // falls
  update_junk(0.05f);
  ASSERT_EQ(junk_list.size(), 2);
  // The last particle took the first one's slot.
  EXPECT_EQ(junk_list[0].colour, 0xff000003u);
  EXPECT_EQ(junk_list[1].colour, 0xff000002u);
  EXPECT_FLOAT_EQ(junk_list[0].vel.y(), -25.0f);
  EXPECT_FLOAT_EQ(junk_list[0].pos.y(), 9.0f);  // position first, then the velocity
  update_junk(0.05f);
  EXPECT_FLOAT_EQ(junk_list[0].pos.y(), 9.0f - 1.25f);
  EXPECT_FLOAT_EQ(junk_list[1].pos.x(), 6.0f);
  EXPECT_FLOAT_EQ(junk_list[1].pos.y(), 7.0f);
  EXPECT_FLOAT_EQ(junk_list[1].vel.y(), 20.0f);
}

TEST_F(Particles, DrawnOnlyWhileLifeIsLeftAtTheFrameTime) {
  Junk j = at(1, 1);
  j.life = 0.04f;
  EXPECT_TRUE(junk_visible(j, 0.03f));
  EXPECT_FALSE(junk_visible(j, 0.04f));
  EXPECT_FALSE(junk_visible(j, 0.05f));
}

TEST_F(Particles, PackedPositionsComeBackExactlyAndFarOnesAreClamped) {
  struct Case {
    float x, y;
    double wantX, wantY;  // centre the shader rebuilds, in cells
  } cases[] = {
      {0, 0, 0, 0},
      {10.5f, 3, 10.5f, 3},
      {-5, -2, -5, -2},  // negative: low bits plus a negative high part
      {-0.0625f, 0, -0.0625f, 0},
      {2047.5f, 255, 2047.5f, 255},  // crosses 32768 in 1/16 cells
      {4095.9375f, 100, 4095.9375f, 100},
      {-300, 556, -300, 556},
      {1e12f, 5000, 67108863.4375, 2047.4375},  // clamped whole, not wrapped
      {-1e12f, -5000, -67108863.5, -2047.5},
      {NAN, NAN, -67108863.5, -2047.5},
  };
  for (const Case& c : cases) {
    JunkVertex v[6];
    make_junk_quad(at(c.x, c.y, 8), 0, v);
    double cx = (shader_x(v[0]) + shader_x(v[2])) / 2, cy = (double(v[0].y) + double(v[2].y)) / 32;
    EXPECT_DOUBLE_EQ(cx, c.wantX) << c.x;
    EXPECT_DOUBLE_EQ(cy, c.wantY) << c.y;
    // One cell square, in the fixed corner order, one colour and depth.
    EXPECT_DOUBLE_EQ(shader_x(v[1]) - shader_x(v[0]), 1.0) << c.x;
    EXPECT_EQ(v[2].y - v[1].y, 16) << c.y;
    const int order[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, -1}, {1, 1}, {-1, 1}};
    for (int k = 0; k < 6; k++) {
      EXPECT_EQ(shader_x(v[k]) > cx, order[k][0] > 0) << c.x << " corner " << k;
      EXPECT_EQ(double(v[k].y) / 16 > cy, order[k][1] > 0) << c.y << " corner " << k;
      EXPECT_EQ(v[k].z, 128);
      EXPECT_EQ(v[k].colour, 0xff102030u);
      EXPECT_GE(v[k].xLow, 0);
    }
  }
}

TEST_F(Particles, DrawnWhereTheyAreAtTheFrameTime) {
  Junk j = at(100, 50);
  j.vel = vec4float(20, -40, 0, 0);
  JunkVertex v[6];
  make_junk_quad(j, 0.025f, v);
  EXPECT_FLOAT_EQ((shader_x(v[0]) + shader_x(v[2])) / 2, 100.5f);
  EXPECT_FLOAT_EQ((float(v[0].y) + float(v[2].y)) / 32, 49.0f);
}

// On the device: one pass through the shared buffer, two triangles a living particle, and a new
// run when fewer than 72 bytes are left (910 squares fill 65,520 of the 65,536 bytes).
class ParticlesOnDevice : public RecorderDevice {};

TEST_F(ParticlesOnDevice, DrawnInRunsOfWholeSquares) {
  plat_make_folder((folder + "cache").c_str());
  render_write_file(folder + "cache/pixel.sh.cache", cache_bytes({"pixel.sh"}));
  init_junk();
  common_vb_writer.create(65536);
  for (int i = 0; i < 1000; i++) add_junk(vec4float(float(i), 5, 0, 1), vec4float::zero(), 0xff00ff00, 1.0f, 0);
  add_junk(vec4float(0, 0, 0, 1), vec4float::zero(), 0xffff0000, 0.02f, 0);  // dead by the frame time
  d3d9_recorder_log().clear();
  render_junk(0.03f);
  EXPECT_EQ(d3d9_recorder_find("DrawPrimitive"),
            (std::vector<std::string>{"DrawPrimitive 4 0 1820", "DrawPrimitive 4 0 180"}));
  EXPECT_FALSE(common_vb_writer.started());
  close_junk();
  common_vb_writer.destroy();
}
