// Sprites: loading the folder tree with configs, the packer and atlas, the row order of images,
// the quads for the world and the GUI, the real sprite set, and the fatal paths.
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "engine/imageFiles.h"
#include "engine/loadSprite.h"
#include "engine/sysUtils.h"
#include "testSupport.h"

namespace {
// Writes a PNG whose pixel (x, y) (y = 0 the top row of the picture) is colour(x, y).
void write_png(const std::string& path, int w, int h, uint32_t (*colour)(int, int)) {
  std::vector<unsigned char> rgba(size_t(w) * h * 4);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t c = colour(x, y);
      unsigned char* p = &rgba[(size_t(y) * w + x) * 4];
      p[0] = (c >> 16) & 255;
      p[1] = (c >> 8) & 255;
      p[2] = c & 255;
      p[3] = c >> 24;
    }
  ASSERT_TRUE(save_png(path.c_str(), w, h, 4, rgba.data(), w * 4));
}
uint32_t solid(int, int) { return 0xFF808080; }
// Asymmetric: only the top-left pixel of the picture is red.
uint32_t marked(int x, int y) { return x == 0 && y == 0 ? 0xFFFF0000 : 0xFF0000FF; }

class Sprites : public DataFolderTest {
 protected:
  char saved[260];
  std::string dir;
  void SetUp() override {
    DataFolderTest::SetUp();
    memcpy(saved, app_path, sizeof(saved));
    dir = root + "/prog/";
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "sprites").c_str(), 0755);
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
  }
  void TearDown() override {
    close_sprites();
    memcpy(app_path, saved, sizeof(saved));
    DataFolderTest::TearDown();
  }
  std::string spr(const std::string& rel) { return dir + "sprites/" + rel; }
};
}  // namespace

TEST_F(Sprites, LoadsTreeConfigsAndOrigins) {
  mkdir(spr("hero").c_str(), 0755);
  mkdir(spr(".hidden").c_str(), 0755);
  write_png(spr("hero/body.png"), 6, 4, solid);
  write_file_text(spr("hero/body.cfg"), "ox=1\noy=-3\nnpl=2\nnpt=1\nnpr=9\nnpb=-4\n");
  write_png(spr("plain.png"), 5, 3, solid);
  write_file_text(spr("only_cfg.cfg"), "ox=4\n");
  write_png(spr(".hidden/skip.png"), 2, 2, solid);
  write_file_text(spr("notes.txt"), "ignored");
  write_file_text(spr(".png"), "too short a name");
  init_sprites();
  EXPECT_EQ(get_sprite_list().size(), 3);
  Sprite* body = get_sprite("hero/body", false);
  ASSERT_TRUE(body);
  EXPECT_EQ(body->width, 6);
  EXPECT_EQ(body->ox, 1);
  EXPECT_EQ(body->oy, -3);
  EXPECT_EQ(body->npl, 2);
  EXPECT_EQ(body->npt, 1);
  EXPECT_EQ(body->npr, 6);  // clamped to the width
  EXPECT_EQ(body->npb, 0);  // negative margins mean none
  Sprite* plain = get_sprite("plain", true);
  EXPECT_EQ(plain->ox, 2);  // width / 2
  EXPECT_EQ(plain->oy, 0);
  ASSERT_TRUE(plain->config);
  Sprite* cfg = get_sprite("only_cfg", false);
  ASSERT_TRUE(cfg);
  EXPECT_EQ(cfg->width, 0);
  EXPECT_EQ(cfg->ox, 4);
  EXPECT_EQ(get_sprite("hero/skip", false), nullptr);
  EXPECT_EQ(get_sprite("nope", false), nullptr);
}

TEST_F(Sprites, AtlasSideAndRectangles) {
  // One 16 x 16 sprite needs 32 texels (one texel of spacing); two more fit beside it.
  write_png(spr("a.png"), 16, 16, solid);
  write_png(spr("b.png"), 8, 8, solid);
  write_png(spr("c.png"), 8, 8, solid);
  init_sprites();
  EXPECT_EQ(spriteTexSize, 32);
  const DynArray<Sprite*>& l = get_sprite_list();
  EXPECT_STREQ(l[0]->name.text(), "a");  // largest first, equal areas by name
  EXPECT_STREQ(l[1]->name.text(), "b");
  int scale = 16384 / 32;
  EXPECT_EQ(l[0]->rect[0], 0);
  EXPECT_EQ(l[0]->rect[2], 16 * scale);
  EXPECT_EQ(l[1]->rect[0], 17 * scale);  // beside the first, past its spacing
  EXPECT_EQ(l[1]->rect[1], 0);
  EXPECT_EQ(l[2]->rect[0], 17 * scale);
  EXPECT_EQ(l[2]->rect[1], 9 * scale);
}

TEST_F(Sprites, RowOrderKeepsImagesUpright) {
  write_png(spr("m.png"), 3, 2, marked);
  init_sprites();
  Sprite* m = get_sprite("m", true);
  // The picture's bottom row comes first; its top-left pixel is the first of the last row.
  EXPECT_EQ(m->pixels[3], 0xFFFF0000u);
  EXPECT_EQ(m->pixels[0], 0xFF0000FFu);
  // In the atlas the sprite's first row sits at the top of its rectangle (row y, the lower v).
  const uint32_t* atlas = get_sprite_atlas_pixels();
  EXPECT_EQ(atlas[1 * spriteTexSize + 0], 0xFFFF0000u);
  EXPECT_EQ(atlas[0], 0xFF0000FFu);
  // World (y up): the vertex at the larger y carries the larger v, the atlas row of the picture's top.
  SpriteVertex v[6];
  float box[4];
  m->makeQuad(vec4float(10, 20, 3, 1), vec4float(1, 0, 0, 1), v, box);
  EXPECT_EQ(v[0].y, 20.0f);
  EXPECT_EQ(v[5].y, 22.0f);
  EXPECT_LT(v[0].v, v[5].v);
  // GUI (y down): the upper screen edge (smaller y) carries the larger v: the top of the picture.
  GuiImageVertex g[6];
  ASSERT_TRUE(m->makeCroppedUIQuad(0, 0, 0, 0, 0, 0, 0xFFFFFFFF, 1, g, box));
  EXPECT_EQ(g[5].y, 0.0f);
  EXPECT_EQ(g[0].y, 2.0f);
  EXPECT_GT(g[5].v, g[0].v);
}

TEST_F(Sprites, WorldQuadsFlipAroundTheOrigin) {
  write_png(spr("s.png"), 4, 2, solid);
  write_file_text(spr("s.cfg"), "ox=1\noy=0\n");
  init_sprites();
  Sprite* s = get_sprite("s", true);
  SpriteVertex v[6];
  float box[4];
  s->makeQuad(vec4float(10, 0, 5, 1), vec4float(1, 0, 0, 1), v, box);
  EXPECT_EQ(v[0].x, 9.0f);
  EXPECT_EQ(v[1].x, 13.0f);
  EXPECT_EQ(v[0].z, 5.0f);
  s->makeQuad(vec4float(10, 0, 5, 1), vec4float(-1, 0, 0, 1), v, box);  // flip_x
  EXPECT_EQ(v[0].x, 11.0f);
  EXPECT_EQ(v[1].x, 7.0f);
  EXPECT_EQ(box[0], 7.0f);
  EXPECT_EQ(box[2], 11.0f);
  // A direction turns the x axis; the quad's centre box stays the quad's extent.
  start_sprite_render();
  s->draw(vec4float(0, 0, 0, 1), vec4float(0, 1, 0, 0), false);
  ASSERT_EQ(sprite_batch_vertices().size(), 6);
  EXPECT_NEAR(sprite_batch_vertices()[1].y, 3.0f, 1e-6);  // K + A: 4 texels up from y = -1
  EXPECT_NEAR(sprite_batch_vertices()[0].x, 0.0f, 1e-6);  // K = P - (ox * m0 + oy * m2, ...) with m2 = -1
}

TEST_F(Sprites, CroppedUIQuadsAndRefusedCrops) {
  write_png(spr("n.png"), 8, 9, solid);
  init_sprites();
  Sprite* n = get_sprite("n", true);
  GuiImageVertex g[6];
  float box[4];
  ASSERT_TRUE(n->makeCroppedUIQuad(5, 7, 2, 3, 1, 1, 0xFF112233, 2, g, box));
  EXPECT_EQ(box[2] - box[0], 16.0f - 3.0f);
  EXPECT_EQ(box[3] - box[1], 18.0f - 4.0f);
  float c = 1.0f / (spriteTexSize * 2);
  EXPECT_NEAR(g[0].u, n->rect[0] / 16384.0f + 2 * c, 1e-6);
  EXPECT_NEAR(g[0].v, n->rect[1] / 16384.0f + 1 * c, 1e-6);  // bottom v with the lower edge
  EXPECT_NEAR(g[5].v, n->rect[3] / 16384.0f - 3 * c, 1e-6);  // top v with the upper edge
  EXPECT_EQ(g[0].colour, 0xFF112233u);
  // Nothing for a zero-width crop, and crops larger than the sprite are refused, not inverted.
  EXPECT_FALSE(n->makeCroppedUIQuad(0, 0, 4, 0, 4, 0, 0, 1, g, box));
  EXPECT_FALSE(n->makeCroppedUIQuad(0, 0, 6, 0, 6, 0, 0, 1, g, box));
  EXPECT_FALSE(n->makeCroppedUIQuad(0, 0, 0, 10, 0, 0, 0, 1, g, box));
  gui_image_vertices().clear();
  n->drawCroppedUI(0, 0, 9, 0, 0, 0, 0, 1);
  EXPECT_EQ(gui_image_vertices().size(), 0);
  // drawUI centres the sprite in a box smaller than itself.
  n->drawUI(_mm_setr_ps(10, 10, 12, 12), 0xFFFFFFFF, 1);
  ASSERT_EQ(gui_image_vertices().size(), 6);
  EXPECT_EQ(gui_image_vertices()[5].x, 7.0f);
  EXPECT_EQ(gui_image_vertices()[5].y, 6.5f);
}

TEST_F(Sprites, FatalPaths) {
  write_file_text(spr("bad.png"), "not a png");
  EXPECT_EXIT(init_sprites(), testing::ExitedWithCode(100), "Error loading sprite image sprites/bad.png");
  remove(spr("bad.png").c_str());
  EXPECT_EXIT(get_sprite("missing", true), testing::ExitedWithCode(100), "Sprite 'missing' not found");
  // Two sprites of 600 x 600 cannot share a 1024 atlas.
  for (int i = 0; i < 2; i++) write_png(spr("big" + std::to_string(i) + ".png"), 600, 600, solid);
  EXPECT_EXIT(init_sprites(), testing::ExitedWithCode(100),
              "Too many sprites, can't fit them all in 1024x1024 texture");
  // One sprite wider than the atlas is named as such (1024 texels plus the spacing do not fit).
  for (int i = 0; i < 2; i++) remove(spr("big" + std::to_string(i) + ".png").c_str());
  write_png(spr("wide.png"), 1024, 2, solid);
  EXPECT_EXIT(init_sprites(), testing::ExitedWithCode(100),
              "Sprite wide is 1024x2, too large for the 1024x1024 sprite texture");
}

// A sprite whose ".cfg" stays while its image is gone, or whose image's name is taken by a folder,
// would be drawn as nothing at all: the image is named as the one that cannot be read.
TEST_F(Sprites, AConfigWithoutItsImageNamesTheImage) {
  write_file_text(spr("barrel.cfg"), "oy=2\n");
  write_png(spr("bomb.png"), 4, 4, solid);
  // Missing: loading goes on and says so; a lookup that needs the sprite stops with the file.
  testing::internal::CaptureStdout();
  init_sprites();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("sprite 'barrel' has a config but no image: sprites/barrel.png (no such file)"), std::string::npos)
      << log;
  EXPECT_TRUE(get_sprite("barrel", false));
  EXPECT_EQ(get_sprite("bomb", true)->width, 4);
  EXPECT_EXIT(get_sprite("barrel", true), testing::ExitedWithCode(100),
              "Error loading sprite image sprites/barrel.png: no such file");
  close_sprites();
  // A folder in the image's place can never be read: loading stops at once.
  mkdir(spr("barrel.png").c_str(), 0755);
  EXPECT_EXIT(init_sprites(), testing::ExitedWithCode(100),
              "Error loading sprite image sprites/barrel.png: a folder, not an image");
}

// What the system says when a sprite image or a sprite folder cannot be read (as root the loading
// runs as another user, since root reads every file).
TEST_F(Sprites, AnUnreadableImageOrFolderSaysWhy) {
  struct Case {
    const char* unreadable;  // below sprites/, made mode 000
    const char* message;
  } cases[] = {
      {"bomb.png", "Error loading sprite image sprites/bomb.png: Permission denied"},
      {"hero", "can't read sprite folder sprites/hero/: Permission denied"},
  };
  ASSERT_EQ(chmod(root.c_str(), 0755), 0);
  mkdir(spr("hero").c_str(), 0755);
  write_png(spr("hero/body.png"), 4, 4, solid);
  write_png(spr("bomb.png"), 4, 4, solid);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unreadable);
    expect_fatal_while_unreadable(spr(c.unreadable), init_sprites, c.message);
  }
}

TEST_F(Sprites, PackerLeavesSpacingAndFailsWhenFull) {
  Sprite a, b;
  a.width = 15;
  a.height = 15;
  b.width = 15;
  b.height = 15;
  DynArray<Sprite*> l;
  l.push_back(&a);
  l.push_back(&b);
  EXPECT_FALSE(pack_sprites(l, 16));
  EXPECT_TRUE(pack_sprites(l, 32));
  EXPECT_EQ(b.rect[0], 16);
  EXPECT_FALSE(pack_sprites(l, 16 + 15));  // 16 + 16 > 31: the second goes nowhere
  l.free();
}

#ifdef ASCENDA_ART_DIR
// The generated sprite set: every sprite the game looks up exists and all fit the atlas.
TEST_F(Sprites, TheGameSpritesAllLoad) {
  snprintf(app_path, sizeof(app_path), "%s/", ASCENDA_ART_DIR);
  init_sprites();
  static const char* NAMES[] = {"hero_body",         "hero_arm",     "hero_legs0",    "hero_legs2",
                                "hero_legs4",        "hero_legs6",   "heart",         "bullet_hero",
                                "bullet_enemy",      "parts/body",   "parts/dasher",  "parts/drill",
                                "parts/jet",         "parts/jumper", "parts/magnet",  "parts/side_spikes",
                                "parts/top_spikes",  "parts/gun",    "parts/h_gun",   "parts/c_gun0",
                                "parts/c_gun1",      "parts/wheels", "barrel",        "bomb",
                                "up_point",          "heart_bonus",  "ui/crosshair1", "ui/button",
                                "ui/button_pressed", "ui/panel",     "ui/back"};
  for (const char* n : NAMES) EXPECT_TRUE(get_sprite(n, false)) << n;
  EXPECT_LE(spriteTexSize, 1024);
  // Nine-patch margins match the GUI borders that frame them.
  Sprite* b = get_sprite("ui/button", true);
  EXPECT_EQ(b->npl + b->npt * 10 + b->npr * 100 + b->npb * 1000, 2 + 30 + 200 + 2000);
  Sprite* p = get_sprite("ui/button_pressed", true);
  EXPECT_EQ(p->npt, 4);
  // The HUD heart hangs below the screen's top edge.
  EXPECT_GT(get_sprite("heart", true)->oy, get_sprite("heart", true)->height);
}
#endif

TEST_F(Sprites, FolderWalkEndsAtLinkLoopsAndAtADepthLimit) {
  // A link back to the top and another to the folder itself: each folder is read once.
  mkdir(spr("loop").c_str(), 0755);
  write_png(spr("loop/a.png"), 2, 2, solid);
  ASSERT_EQ(symlink("..", spr("loop/up").c_str()), 0);
  ASSERT_EQ(symlink(".", spr("loop/self").c_str()), 0);
  // Forty folders deep: those within the limit load, the rest are skipped with a message.
  std::string deep;
  for (int i = 1; i <= 40; i++) {
    deep += "d/";
    mkdir(spr(deep).c_str(), 0755);
    if (i == 5 || i == 30) write_png(spr(deep + "s.png"), 1, 1, solid);
  }
  testing::internal::CaptureStdout();
  init_sprites();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(get_sprite_list().size(), 2) << log;
  EXPECT_TRUE(get_sprite("loop/a", false));
  EXPECT_TRUE(get_sprite("d/d/d/d/d/s", false));
  EXPECT_NE(log.find("leads back into a folder being read"), std::string::npos) << log;
  EXPECT_NE(log.find("folders deep: not read"), std::string::npos) << log;
}
