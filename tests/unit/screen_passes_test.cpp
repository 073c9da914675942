// The numbers the scene's passes hand to the shaders and the level renderer's texture sizes, checked
// without a device: the post effect's screen-to-texture mapping and cell size, the background's
// extent and tints, the pixel scale's view in cells and its power-of-two textures.
#include <gtest/gtest.h>
#include "game/gameScene.h"
#include "game/levelRenderer.h"
#include "game/screenPasses.h"

TEST(ScenePasses, PostEffectConstantsAtTheGameSizes) {
  PostfxConstants c = postfx_constants(1280, 720, 6);
  EXPECT_FLOAT_EQ(c.finalVs[0], 0.5f);
  EXPECT_FLOAT_EQ(c.finalVs[1], -0.5f);
  EXPECT_FLOAT_EQ(c.finalVs[2], 0.500390625f);
  EXPECT_FLOAT_EQ(c.finalVs[3], 0.500694444f);
  EXPECT_FLOAT_EQ(c.finalPs[0], 6.0f / 1280.0f);
  EXPECT_FLOAT_EQ(c.finalPs[1], 6.0f / 720.0f);
  c = postfx_constants(640, 360, 3);
  EXPECT_FLOAT_EQ(c.finalVs[2], 0.50078125f);
  EXPECT_FLOAT_EQ(c.finalPs[1], 3.0f / 360.0f);

  vec4float e = background_extent(1280, 720, 6);
  EXPECT_FLOAT_EQ(e.x(), 1280.0f / 24.0f);
  EXPECT_FLOAT_EQ(e.y(), -30.0f);
  vec4float t = colour_to_vec(0x0099723F);
  EXPECT_FLOAT_EQ(t.x(), 0x99 / 255.0f);
  EXPECT_FLOAT_EQ(t.y(), 0x72 / 255.0f);
  EXPECT_FLOAT_EQ(t.z(), 0x3F / 255.0f);
  EXPECT_FLOAT_EQ(t.w(), 0.0f);
}

TEST(ScenePasses, LevelTexturesFitTheViewInPowersOfTwo) {
  struct {
    int view, grid, side;
  } cases[] = {
      {215, 4096, 256}, {122, 256, 128}, {128, 4096, 128},   {129, 4096, 256},  // rounding up, a power stays
      {0, 4096, 4096},  {-5, 256, 256},  {5000, 4096, 4096}, {300, 256, 256},   // none, or more than the grid
      {1, 4096, 1},     {3, 20, 4},      {20, 20, 32},                          // a grid that is no power
  };
  for (auto c : cases) EXPECT_EQ(level_texture_side(c.view, c.grid), c.side) << c.view << " of " << c.grid;
  // The scene's view: screen pixels over the scale, rounded up, plus two.
  EXPECT_EQ(level_view_cells(1280, 6), 216);
  EXPECT_EQ(level_view_cells(720, 6), 122);
  EXPECT_EQ(level_view_cells(1, 1), 3);
}

TEST(ScenePasses, TexelsWidenTheFiveBitChannels) {
  EXPECT_EQ(level_texel(0x7FFF), 0x00FFFFFFu);  // not present: alpha 0, colour kept
  EXPECT_EQ(level_texel(0x8000), 0xFF000000u);
  EXPECT_EQ(level_texel(0x8000 | (16 << 10) | (1 << 5) | 30), 0xFF8408F7u);
}
