// The level on screen and the scene's frame on the GL back end (llvmpipe): a hole that
// level_clear_box cuts shows in the very next frame with no invalidation call, leaving out the empty
// blocks of a layer loses no cell, a rectangle wider than the level textures keeps to them, resizes
// re-make the textures without leaking, and golden images of a generated level in play through the
// whole frame (background, level, objects, particles, post effect) at 640 x 360 and 1280 x 720,
// each the same to the bit whether its opaque layers are painted back to front or drawn nearest
// first, with the background behind them over the whole screen or only where the level leaves it
// open. A golden image is written only when ASCENDA_MAKE_GOLDEN=1 is set (then look at it before committing).
// Sections: fixtures; level renderer; scene frame.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/config.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/imageFiles.h"
#include "engine/input.h"
#include "engine/log.h"
#include "engine/sysUtils.h"
#include "game/baseObject.h"
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/entlingReload.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/levelGrid.h"
#include "game/levelRenderer.h"
#include "game/objectLists.h"
#include "game/particles.h"
#include "game/progression.h"
#include "game/sceneView.h"
#include "game/screenPasses.h"
#include "render_gl_env.h"
#include "tools/harness/entlingViews.h"

namespace {
// ---- fixtures

const int W = 64, H = 48;
const uint16_t RED = 0x8000 | (31 << 10), BLUE = 0x8000 | 31;

int red(D3dColor c) { return int((c >> 16) & 255); }
int blue(D3dColor c) { return int(c & 255); }

class LevelRendererGl : public ::testing::Test {
 protected:
  LevelRenderer* renderer = nullptr;
  void SetUp() override {
    ASSERT_TRUE(render_gl_open(W, H));
    ASSERT_TRUE(reset_d3d(W, H, false, true));
    snprintf(app_path, sizeof(app_path), "%s/", RENDER_BIN_DIR);
    close_shaders();
    load_shader_compiler();
    if (!common_vb_writer.vb) common_vb_writer.create(65536);
    init_debug_font();
    init_background();
    init_level_rendering();
    clear_level_data();
    // Every cell of the screen: red in front of blue, destructible.
    for (int y = 0; y < 64; y++)
      for (int x = 0; x < 64; x++) level_cell(x, y) = LevelCell{BLUE, RED, LEVEL_COLL_DESTRUCTIBLE};
  }
  void TearDown() override {
    destroy_renderer(renderer);
    close_level_rendering();
    close_background();
    close_debug_font();
    close_shaders();
    clear_level_data();
  }
  // One frame: one screen pixel per cell, cell (0, 0) at the bottom-left; dx and dy move the cells by
  // those parts of a pixel.
  std::vector<D3dColor> frame(int x0, int y0, int x1, int y1, float dx = 0, float dy = 0) {
    EXPECT_EQ(d3d->BeginScene(), D3D_OK);
    set_back_buffer_target();
    set_zenable(false);
    set_blend_none();
    clear_view_color(0xFF00FF00);
    set_view_tm(Matrix44::identity());
    set_proj_tm(Matrix44(vec4float(2.0f / W, 0, 0, 0), vec4float(0, 2.0f / H, 0, 0), vec4float(0, 0, 0.01f, 0),
                         vec4float(-1 + 2 * dx / W, -1 + 2 * dy / H, 0.1f, 1)));
    // The frame's transform registers, as the scene sets them before the world pass.
    Matrix44 glob;
    get_glob_tm(glob);
    set_vs_consts(0, (const float*)&glob, 4);
    start_level_rendering();
    render_area(renderer, x0, y0, x1, y1, 0.0f);
    end_level_rendering();
    d3d->EndScene();
    return read_back_buffer(W, H);
  }
  static D3dColor cell(const std::vector<D3dColor>& px, int x, int y) { return px[size_t(H - 1 - y) * W + x]; }
};

// ---- level renderer

TEST_F(LevelRendererGl, AHoleShowsInTheNextFrameWithoutInvalidation) {
  renderer = create_level_renderer(level_data, int(sizeof(LevelCell)), LEVEL_WIDTH * int(sizeof(LevelCell)),
                                   LEVEL_WIDTH, LEVEL_HEIGHT, W, H);
  ASSERT_NE(renderer, nullptr);
  EXPECT_EQ(renderer->texWidth, 64);
  EXPECT_EQ(renderer->texHeight, 64);
  level_cell(30, 30) = LevelCell{0, 0x7FFF, 0};  // nothing present: the alpha test drops both texels
  std::vector<D3dColor> px = frame(0, 0, W - 1, H - 1);
  EXPECT_GT(red(cell(px, 10, 10)), blue(cell(px, 10, 10)));
  EXPECT_EQ(cell(px, 30, 30), 0xFF00FF00u);

  level_clear_box(8, 8, 12, 12);
  px = frame(0, 0, W - 1, H - 1);
  EXPECT_GT(blue(cell(px, 10, 10)), red(cell(px, 10, 10))) << "the background shows through the hole";
  EXPECT_GT(blue(cell(px, 12, 8)), red(cell(px, 12, 8)));
  EXPECT_GT(red(cell(px, 13, 10)), blue(cell(px, 13, 10))) << "cells beside the hole keep their colour";
  EXPECT_GT(red(cell(px, 10, 7)), blue(cell(px, 10, 7)));
}

// The scene asks for one column and one row more than the view when the screen divides by the
// pixel scale: a rectangle larger than the textures draws only what fits from its bottom-left.
TEST_F(LevelRendererGl, ARectangleWiderThanTheTexturesKeepsToThem) {
  renderer = create_level_renderer(level_data, int(sizeof(LevelCell)), LEVEL_WIDTH * int(sizeof(LevelCell)),
                                   LEVEL_WIDTH, LEVEL_HEIGHT, 16, 8);
  ASSERT_EQ(renderer->texWidth, 16);
  ASSERT_EQ(renderer->texHeight, 8);
  std::vector<D3dColor> px = frame(0, 0, 16, 8);
  EXPECT_GT(red(cell(px, 15, 3)), 0);
  EXPECT_EQ(cell(px, 16, 3), 0xFF00FF00u) << "column 16 is past the texture";
  EXPECT_GT(red(cell(px, 3, 7)), 0);
  EXPECT_EQ(cell(px, 3, 8), 0xFF00FF00u) << "row 8 is past the texture";
  // From the rectangle's own corner, not the grid's.
  px = frame(20, 20, 40, 40);
  EXPECT_EQ(cell(px, 19, 22), 0xFF00FF00u);
  EXPECT_GT(red(cell(px, 35, 27)), 0);
  EXPECT_EQ(cell(px, 36, 22), 0xFF00FF00u);
  EXPECT_EQ(cell(px, 22, 28), 0xFF00FF00u);
}

// A draw leaves out the blocks of cells that show nothing of a layer. Patches of every mix (empty,
// background alone, foreground alone, both, scattered single cells), laid across the blocks and a
// rectangle whose size is no multiple of them: every cell still shows its foreground where it has
// one, else its background, else nothing.
TEST_F(LevelRendererGl, EachCellShowsItsOwnLayersWhereverTheEmptyOnesAreLeftOut) {
  renderer = create_level_renderer(level_data, int(sizeof(LevelCell)), LEVEL_WIDTH * int(sizeof(LevelCell)),
                                   LEVEL_WIDTH, LEVEL_HEIGHT, W, H);
  uint32_t seed = 12345;
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      seed = seed * 1664525u + 1013904223u;
      bool scattered = (seed >> 24) % 11 == 0;
      // 0 empty, 1 background, 2 foreground, 3 both, 4 scattered
      int mix = ((x / 6) * 5 + (y / 5) * 2 + (x / 6) * (y / 5) * 3) % 5;
      bool bg = mix == 1 || mix == 3 || (mix == 4 && scattered && (seed & 1));
      bool fg = mix == 2 || mix == 3 || (mix == 4 && scattered && !(seed & 1));
      level_cell(x, y) = LevelCell{uint16_t(bg ? BLUE : 0x7FFF), uint16_t(fg ? RED : 0x7C00), 0};
    }
  const int x0 = 3, y0 = 2, x1 = 57, y1 = 43;
  // A larger draw first leaves texels past the rectangle, which must not show. Each pixel's centre
  // lies in the middle of its cell, so that no sample falls on the edge of two.
  frame(0, 0, W - 1, H - 1);
  std::vector<D3dColor> px = frame(x0, y0, x1, y1, -0.5f, 0.5f);
  int wrong = 0;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      const LevelCell& c = level_cell(x, y);
      bool inside = x >= x0 && x <= x1 && y >= y0 && y <= y1;
      D3dColor p = cell(px, x, y);
      bool ok = !inside || !(c.foreground & 0x8000 || c.background & 0x8000) ? p == 0xFF00FF00u
                : (c.foreground & 0x8000)                                    ? red(p) > blue(p)
                                                                             : blue(p) > red(p);
      if (!ok && wrong++ < 5) ADD_FAILURE() << "cell " << x << "," << y << " shows " << std::hex << p;
    }
  EXPECT_EQ(wrong, 0);

  // What the draw left open for the background: exactly the blocks of the rectangle that hold a
  // cell with neither colour, each once.
  int drawn[4];
  const int* open = nullptr;
  int count = last_draw_open_area(drawn, &open);
  EXPECT_EQ(std::vector<int>(drawn, drawn + 4), (std::vector<int>{x0, y0, x1 + 1, y1 + 1}));
  auto empty = [](int x, int y) { return !((level_cell(x, y).foreground | level_cell(x, y).background) & 0x8000); };
  const int B = LEVEL_BLOCK_CELLS;
  int wrong_blocks = 0, open_blocks = 0;
  for (int by = y0; by <= y1; by += B)
    for (int bx = x0; bx <= x1; bx += B) {
      bool has_empty = false;
      for (int y = by; y < std::min(by + B, y1 + 1); y++)
        for (int x = bx; x < std::min(bx + B, x1 + 1); x++) has_empty |= empty(x, y);
      int reported = 0;
      for (int i = 0; i < count; i++)
        reported += bx >= open[4 * i] && by >= open[4 * i + 1] && bx < open[4 * i + 2] && by < open[4 * i + 3];
      wrong_blocks += reported != (has_empty ? 1 : 0);
      open_blocks += has_empty;
    }
  EXPECT_EQ(wrong_blocks, 0);
  EXPECT_GT(open_blocks, 0);
  EXPECT_LT(open_blocks, ((x1 - x0) / B + 1) * ((y1 - y0) / B + 1));
}

// A grid of its own (a boss part, the elevator's lift) placed by set_level_tm; the end of the pass
// puts the frame's transform back for the next pass.
TEST_F(LevelRendererGl, AGridOfItsOwnIsPlacedByTheLevelTransform) {
  LevelCell grid[3 * 4];
  for (LevelCell& c : grid) c = LevelCell{BLUE, RED, LEVEL_COLL_SOLID};
  grid[0].foreground = 0;  // its bottom-left cell shows the background colour
  renderer = create_level_renderer(grid, int(sizeof(LevelCell)), 4 * int(sizeof(LevelCell)), 4, 3, 0, 0);
  ASSERT_EQ(renderer->texWidth, 4);
  ASSERT_EQ(renderer->texHeight, 4);
  EXPECT_EQ(d3d->BeginScene(), D3D_OK);
  set_back_buffer_target();
  set_zenable(false);
  set_blend_none();
  clear_view_color(0xFF00FF00);
  set_view_tm(Matrix44::identity());
  set_proj_tm(Matrix44(vec4float(2.0f / W, 0, 0, 0), vec4float(0, 2.0f / H, 0, 0), vec4float(0, 0, 0.01f, 0),
                       vec4float(-1, -1, 0.1f, 1)));
  Matrix44 glob;
  get_glob_tm(glob);
  set_vs_consts(0, (const float*)&glob, 4);
  start_level_rendering();
  Matrix44 tm = Matrix44::identity();
  tm.r[3] = vec4float(20, 10, 0, 1);
  set_level_tm(tm);
  set_level_tm(tm);
  render_all(renderer, 0.0f);
  end_level_rendering();
  // A second pass without a transform of its own draws where the frame's transform puts it.
  start_level_rendering();
  render_all(renderer, 0.0f);
  end_level_rendering();
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  EXPECT_GT(blue(cell(px, 20, 10)), red(cell(px, 20, 10)));
  EXPECT_GT(red(cell(px, 23, 12)), blue(cell(px, 23, 12)));
  EXPECT_EQ(cell(px, 24, 12), 0xFF00FF00u);
  EXPECT_EQ(cell(px, 20, 13), 0xFF00FF00u);
  EXPECT_EQ(cell(px, 19, 10), 0xFF00FF00u);
  EXPECT_GT(blue(cell(px, 0, 0)), red(cell(px, 0, 0))) << "the frame's transform is back in registers 0 to 3";
  EXPECT_GT(red(cell(px, 3, 2)), blue(cell(px, 3, 2)));
  EXPECT_EQ(cell(px, 4, 2), 0xFF00FF00u);
}

// Each pass names itself on the splash while its shaders compile, the background first.
TEST_F(LevelRendererGl, ThePassesShowTheirSplashTextsInOrder) {
  close_background();
  init_background();
  EXPECT_STREQ(get_splash_text(), "Compiling background shaders");
  init_postfx();
  EXPECT_STREQ(get_splash_text(), "Compiling post-effect shaders");
  close_postfx();
}

// A resize re-makes the level's textures through the scene's device-reset hook, sized for the new
// view; the scene texture is re-made by the renderer; nothing is left behind over 20 resizes.
TEST_F(LevelRendererGl, ResizesRemakeTheTexturesAndLeakNothing) {
  Texture* scene = create_screen_render_texture();
  ASSERT_NE(scene, nullptr);
  level_renderer = create_level_renderer(level_data, int(sizeof(LevelCell)), LEVEL_WIDTH * int(sizeof(LevelCell)),
                                         LEVEL_WIDTH, LEVEL_HEIGHT, W, H);
  int in_use = count_textures_in_use();
  const int sizes[][2] = {{320, 240}, {1, 1}, {1280, 720}, {640, 360}, {719, 719}};
  for (int i = 0; i < 20; i++) {
    int w = sizes[i % 5][0], h = sizes[i % 5][1];
    ASSERT_TRUE(reset_d3d(w, h, false, true));
    EXPECT_EQ(voxel_scale, h / 120 < 1 ? 1 : h / 120);
    EXPECT_EQ(level_renderer->texWidth, level_texture_side(level_view_cells(w, voxel_scale), LEVEL_WIDTH)) << w;
    EXPECT_EQ(level_renderer->texHeight, level_texture_side(level_view_cells(h, voxel_scale), LEVEL_HEIGHT)) << h;
    EXPECT_EQ(get_texture_width(scene), w);
    EXPECT_EQ(count_textures_in_use(), in_use);
  }
  destroy_renderer(level_renderer);
  destroy_texture(scene);
  EXPECT_EQ(count_textures_in_use(), in_use - 3);
  ASSERT_TRUE(reset_d3d(W, H, false, true));
}
}  // namespace

namespace {
// ---- scene frame

// The whole scene on the program folder of the build, started and stopped once for the suite.
class SceneGl : public ::testing::Test {
 protected:
  static std::string data_folder, saved_appdata;
  static void SetUpTestSuite() {
    // The scene's settings and log go to a folder of the suite's own.
    const char* old = getenv("APPDATA");
    saved_appdata = old ? old : "";
    char tmpl[] = "/tmp/ascenda_scene_XXXXXX";
    data_folder = mkdtemp(tmpl);
    setenv("APPDATA", data_folder.c_str(), 1);
    close_debug_log();
    reset_app_config();
    ASSERT_TRUE(render_gl_open(W, H));
    ASSERT_TRUE(reset_d3d(640, 360, false, true));
    snprintf(app_path, sizeof(app_path), "%s/", RENDER_BIN_DIR);
    close_shaders();
    load_shader_compiler();
    if (!common_vb_writer.vb) common_vb_writer.create(65536);
    init_debug_font();
    init_scene();
    // The pictures of the boss read its parts through the shared views: their sizes are the library's.
    auto class_sizes = (GetEntlingClassSizesFn)get_library_proc(entling_library_module(), "get_entling_class_sizes");
    int count = 0;
    const int* sizes = class_sizes ? class_sizes(&count) : nullptr;
    ASSERT_EQ(check_entling_views(sizes, count), "");
  }
  static void TearDownTestSuite() {
    close_scene();
    close_debug_font();
    close_shaders();
    close_debug_log();
    reset_app_config();
    std::string cmd = "rm -rf '" + data_folder + "'";
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
    if (saved_appdata.empty()) unsetenv("APPDATA");
    else setenv("APPDATA", saved_appdata.c_str(), 1);
    ASSERT_TRUE(reset_d3d(W, H, false, true));
  }
  // A generated level in play after a second of updates, with a burst of debris beside the hero.
  // With company, an enemy stands ahead of the hero and a barrel behind it, so one frame shows them.
  static void startLevel(uint64_t seed, int level, bool company = false) {
    // Earlier tests leave keys and the pointer wherever they were: the hero aims up and to the right.
    clear_input();
    push_input_event(IE_MOUSE_MOVE, 0, 0, 0, 480, 120);
    clear_input();
    game_rnd_seed = seed;
    cur_level = level;
    restart_level();
    set_game_mode(&play_mode);
    if (company) {
      vec4float h = get_hero_pos();
      add_enemy(8, h.x() + 45, h.y());
      add_enemy(11, h.x() - 28, h.y());
    }
    time_dt = 0.05f;
    time_ik = 1.0f;
    for (int i = 0; i < 20; i++) update_step(0.05f);
    vec4float h = get_hero_pos();
    for (int i = 0; i < 12; i++)
      add_junk(h + vec4float(float(8 + i), float(6 + (i % 4)), 0, 0), vec4float(0, 0, 0, 0),
               0xFF000000u | (0x20u * uint32_t(i)) << 8 | 0xE0u << 16, 5.0f, 0.0f);
  }
  static std::vector<D3dColor> frame(int w, int h) {
    EXPECT_EQ(d3d->BeginScene(), D3D_OK);
    time_dt = 0.025f;
    time_ik = 0.5f;
    render_frame(0.025f);
    d3d->EndScene();
    return read_back_buffer(w, h);
  }
  // The frame painted back to front, then with the opaque layers nearest first and the background
  // over the whole screen behind them, then with the background cut down to the blocks the level
  // leaves open (the game's way): all three must be the same to the bit, since they differ only in
  // the pixels the rasteriser skips.
  // Each frame starts from a scene texture of one colour that none draws, so a pixel left out shows.
  static std::vector<D3dColor> bothOrdersFrame(int w, int h) {
    auto scrubbed_frame = [&] {
      EXPECT_EQ(d3d->BeginScene(), D3D_OK);
      set_render_target(scene_texture, 0, true);
      clear_view_color(0xFFFF00FF);
      d3d->EndScene();
      return frame(w, h);
    };
    level_nearest_first = false;
    std::vector<D3dColor> painted = scrubbed_frame();
    level_nearest_first = true;
    background_open_blocks_only = false;
    std::vector<D3dColor> behind = scrubbed_frame();
    background_open_blocks_only = true;
    std::vector<D3dColor> open_blocks = scrubbed_frame();
    for (const std::vector<D3dColor>* other : {&behind, &open_blocks}) {
      size_t differ = 0, first = 0;
      for (size_t i = 0; i < painted.size(); i++)
        if (painted[i] != (*other)[i] && !differ++) first = i;
      EXPECT_EQ(differ, 0u) << (other == &behind ? "behind the level" : "in the open blocks")
                            << ": pixels differ from the painted frame, first at (" << first % size_t(w) << ", "
                            << first / size_t(w) << ")";
    }
    return open_blocks;
  }
};

std::string SceneGl::data_folder, SceneGl::saved_appdata;

TEST_F(SceneGl, AGeneratedLevelInPlayAtBothGameSizes) {
  startLevel(7, 1, true);
  EXPECT_EQ(voxel_scale, 3);
  expect_golden_image("scene_level_640", bothOrdersFrame(640, 360), 640, 360);
  ASSERT_TRUE(reset_d3d(1280, 720, false, true));
  EXPECT_EQ(voxel_scale, 6);
  expect_golden_image("scene_level_1280", bothOrdersFrame(1280, 720), 1280, 720);
  ASSERT_TRUE(reset_d3d(640, 360, false, true));
}

// Where the level leaves the background open, in a block of empty cells and past the level's left
// and top edges, the frame is the same in every order; the cut-down background leaves no pixel of
// it out.
TEST_F(SceneGl, TheBackgroundShowsThroughEmptyCellsAndPastTheLevelsEdges) {
  startLevel(7, 1);
  // Neither colour in a block that starts and ends inside blocks of the level renderer's.
  for (int y = 203; y < 226; y++)
    for (int x = 13; x < 50; x++) level_cell(x, y) = LevelCell{0, 0, 0};
  vec4float corner(40, 230, 0, 1);
  move_camera(corner, 0);
  move_camera(corner, 0);
  bothOrdersFrame(640, 360);
  EXPECT_LT(cur_view_x0, 0);
  EXPECT_GT(cur_view_y1, 255);
  ASSERT_TRUE(reset_d3d(1280, 720, false, true));
  bothOrdersFrame(1280, 720);
  ASSERT_TRUE(reset_d3d(640, 360, false, true));
}

// The boss and its parts, in the order the boss makes them (body fifth).
EntlingView* boss_object() { return Boss1_list.size() ? view<EntlingView>((BaseObject*)Boss1_list[0]) : nullptr; }
PartView* boss_part(int i) { return view<PartView>((BaseObject*)BossPart_list[i]); }
vec4float boss_cell_point(PartView* p, int x, int y) { return vec4float(x + 0.5f, y + 0.5f, 0, 1) * p->tm; }
// A hit on every tenth cell of each part that is not a subpart's and has none within the reach of
// a hit (two cells), so that no subpart's countdown starts before the picture means it to.
void shoot_boss_holes() {
  for (int i = 0; i < BossPart_list.size(); i++) {
    PartView* p = boss_part(i);
    const LevelGrid* g = p->grid;
    auto near_subpart = [&](int x, int y) {
      for (int v = std::max(0, y - 2); v <= std::min(g->height - 1, y + 2); v++)
        for (int u = std::max(0, x - 2); u <= std::min(g->width - 1, x + 2); u++)
          if (g->cells[u + v * g->width].collision & 4) return true;
      return false;
    };
    for (int y = 3; y < g->height; y += 10)
      for (int x = 3; x < g->width; x += 10) {
        const LevelCell& c = g->cells[x + y * g->width];
        if (c.collision && !near_subpart(x, y)) p->hit(boss_cell_point(p, x, y), 1);
      }
  }
}

// The level-4 boss in its room, through the whole frame: asleep; awake and fighting with holes shot
// through every part; dying, with its plates blown off, holes opening in its body and the first
// parts fallen. The camera is put on the boss; the hero never dies while the pictures are taken.
TEST_F(SceneGl, TheBossAsleepFightingAndDying) {
  // The updates give the hero its health back every time; the frames look at the boss, with the
  // hero (whose aim follows whatever mouse the earlier tests left) out of the picture.
  int health = 0;
  auto steps = [&](int n) {
    for (int i = 0; i < n; i++) {
      set_hero_health(health);
      update_step(0.05f);
    }
  };
  auto boss_frame = [&] {
    vec4float b = boss_object()->getPos(), cam(b.x(), b.y() + 5, 0, 1);
    move_camera(cam, 0);
    move_camera(cam, 0);
    return bothOrdersFrame(640, 360);
  };
  int saved_destr = bullet_wall_destr;
  bullet_wall_destr = 2;
  // Straight after a device reset, as after a change of resolution: the parts keep their depth order.
  ASSERT_TRUE(reset_d3d(1280, 720, false, true));
  ASSERT_TRUE(reset_d3d(640, 360, false, true));
  startLevel(7, 4);
  health = get_hero_health();
  ASSERT_NE(boss_object(), nullptr);
  ASSERT_EQ(BossPart_list.size(), 9);
  PartView* body = boss_part(4);
  ASSERT_NE(body->renderer, nullptr);
  ASSERT_NE(body->renderer->fgTexture, nullptr);
  int textures = count_textures_in_use();  // two of each part's renderer among them
  float floor_y = boss_part(0)->pos.y() - 1;
  vec4float at = boss_object()->getPos();
  // Asleep: the hero out of its reach.
  reset_hero(at.x() - 230, floor_y);
  steps(5);
  EXPECT_FLOAT_EQ(boss_object()->getPos().x(), at.x()) << "asleep, it stands still";
  std::vector<D3dColor> asleep = boss_frame();
  expect_golden_image("scene_boss_asleep", asleep, 640, 360);

  // Awake for four seconds, shot full of holes.
  reset_hero(at.x() - 150, floor_y);
  steps(80);
  shoot_boss_holes();
  steps(2);
  EXPECT_NE(boss_object()->getPos().x(), at.x()) << "awake, it walks";
  std::vector<D3dColor> fighting = boss_frame();
  expect_golden_image("scene_boss_fighting", fighting, 640, 360);

  // Both plates shot, the middle blown off after them, then the core hit: two and a half seconds
  // into its countdown the launcher and the top gun are gone.
  body->hit(boss_cell_point(body, 38, 5), 1);
  body->hit(boss_cell_point(body, 38, 42), 1);
  steps(45);
  body->hit(boss_cell_point(body, 10, 24), 1);
  steps(50);
  EXPECT_LT(BossPart_list.size(), 9) << "parts have fallen off";
  EXPECT_EQ(count_textures_in_use(), textures - 2 * (9 - BossPart_list.size())) << "a part gone frees its textures";
  EXPECT_EQ(ExitFx_list.size(), 0) << "not dead yet";
  std::vector<D3dColor> dying = boss_frame();
  expect_golden_image("scene_boss_dying", dying, 640, 360);

  // Dead: the core blown off 6 s after its hit, the exit placed, the pieces at rest on the floor.
  // The body's cleared rows hang below the floor, yet nothing of a part shows outside the level:
  // under its bottom edge the picture is the one without any part.
  steps(90);
  EXPECT_EQ(ExitFx_list.size(), 1) << "dead";
  steps(40);
  std::vector<D3dColor> dead = boss_frame();
  expect_golden_image("scene_boss_dead", dead, 640, 360);
  vec4float edge = vec4float(0, 0, 0, 1) * (cur_view_tm * cur_proj_tm);
  int edge_row = int(ceilf((1 - edge.y()) * 0.5f * 360));
  ASSERT_GT(edge_row, 0);
  ASSERT_LT(edge_row, 360) << "the level's bottom edge is in the picture";
  int parts = BossPart_list.num;
  BossPart_list.num = 0;
  std::vector<D3dColor> bare = frame(640, 360);
  BossPart_list.num = parts;
  int outside = 0;
  for (int y = edge_row; y < 360; y++)
    for (int x = 0; x < 640; x++) outside += dead[size_t(y) * 640 + x] != bare[size_t(y) * 640 + x];
  EXPECT_EQ(outside, 0) << "pixels of the boss's parts under the level's bottom edge (row " << edge_row << " down)";
  // The pictures differ where the boss is.
  EXPECT_NE(asleep, fighting);
  EXPECT_NE(fighting, dying);
  bullet_wall_destr = saved_destr;
}

// The level viewer's minimap fills the bottom-left 1024 x 64 pixels, level row 0 at the bottom:
// its opaque texels show on screen as they were built from the cells.
TEST_F(SceneGl, TheLevelViewerShowsTheLevelAlongTheBottom) {
  startLevel(7, 1);
  ASSERT_TRUE(reset_d3d(1280, 720, false, true));
  set_game_mode(&view_level_mode);
  ASSERT_NE(view_level_mode.minimap, nullptr);
  std::vector<D3dColor> px = frame(1280, 720);
  // The viewed area is outlined over the minimap in translucent green: those texels are left out.
  int vx = int(nearbyintf(view_level_mode.viewPos.x())), vy = int(nearbyintf(view_level_mode.viewPos.y()));
  int rx0 = (vx - 1280 / 6 / 2) / 4 - 1, rx1 = (vx + 1280 / 6 / 2) / 4 + 1;
  int ry0 = (vy - 720 / 6 / 2) / 4 - 1, ry1 = (vy + 720 / 6 / 2) / 4 + 1;
  int checked = 0;
  for (int j = 1; j < 63; j += 7)
    for (int i = 1; i < 1023; i += 13) {
      D3dColor t = minimap_texel(i, j);
      if ((t >> 24) != 255 || (i >= rx0 && i <= rx1 && j >= ry0 && j <= ry1)) continue;
      D3dColor p = px[size_t(719 - j) * 1280 + i];
      for (int s = 0; s < 24; s += 8) EXPECT_NEAR(int((p >> s) & 255), int((t >> s) & 255), 2) << i << "," << j;
      checked++;
    }
  EXPECT_GT(checked, 100);
  set_game_mode(&play_mode);
  ASSERT_TRUE(reset_d3d(640, 360, false, true));
}

// The ride from the exit to the upgrades, drawn every step. Halfway up, with the camera on the
// hero, the lift's copies of the exit area stack below the hero and nothing is drawn above it: the
// frame differs from the plain world's only below the screen's centre.
TEST_F(SceneGl, TheElevatorRideIsDrawnUpToTheUpgrades) {
  startLevel(7, 1);
  reached_exit = true;
  update_step(0.05f);
  ASSERT_EQ(cur_game_mode, &elevator_mode);
  int level = cur_level, frames = 0, below = 0, above = 0;
  bool compared = false;
  while (cur_game_mode == &elevator_mode && frames < 60) {
    update_step(0.05f);
    std::vector<D3dColor> ride = frame(640, 360);
    frames++;
    if (!compared && elevator_mode.y1 - elevator_mode.y0 > 20 * elevator_mode.rows) {
      compared = true;
      vec4float h = get_hero_pos(), cam(h.x(), h.y(), 0, 1);
      move_camera(cam, 0);
      move_camera(cam, 0);
      ride = bothOrdersFrame(640, 360);
      cur_game_mode = &play_mode;  // the same world without the lift, no mode switch
      std::vector<D3dColor> world = frame(640, 360);
      cur_game_mode = &elevator_mode;
      for (int y = 0; y < 360; y++)
        for (int x = 280; x < 360; x++) {
          bool differs = ride[size_t(y) * 640 + x] != world[size_t(y) * 640 + x];
          if (y < 170) above += differs;
          if (y > 200) below += differs;
        }
    }
  }
  EXPECT_TRUE(compared);
  EXPECT_GT(below, 500) << "the lift's copies below the hero";
  EXPECT_EQ(above, 0) << "nothing of the lift above the hero";
  EXPECT_EQ(cur_game_mode, &upgrade_mode);
  EXPECT_EQ(cur_level, level + 1);
  set_game_mode(&play_mode);
}

// The title shows the background only (the menus draw over it once they exist), through the post
// effect: the whole frame is made of the two tints, darkest at the corners.
TEST_F(SceneGl, TheTitleShowsTheBackgroundThroughThePostEffect) {
  set_game_mode(&title_mode);
  std::vector<D3dColor> px = frame(640, 360);
  D3dColor centre = px[size_t(180) * 640 + 320], corner = px[0];
  EXPECT_NE(centre, 0u);
  EXPECT_GT(red(centre), blue(centre));  // brown tints
  EXPECT_LT(red(corner) + blue(corner), red(centre) + blue(centre));
}

// The window's own events, as the system sends them when the player minimises and restores it.
void send_window_event(Uint8 event) {
  SDL_Event e = {};
  e.type = SDL_WINDOWEVENT;
  e.window.event = event;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  PlatMsg m;
  while (plat_peek_message(&m)) plat_dispatch_message(m);
}

// A minimised window has nothing to draw into: frames are skipped and the device counts as lost
// (so the main loop sleeps) without being reset; once it is restored the device check resets it at
// its size and the same frame comes out again.
TEST_F(SceneGl, MinimisingPausesDrawingAndRestoringResumesIt) {
  // The gate on frames in flight would skip frames of its own on a busy machine.
  bool gate = d3d_limit_buffered_frames;
  d3d_limit_buffered_frames = false;
  startLevel(7, 1, true);
  time_dt = 0.025f;
  time_ik = 0.5f;
  ASSERT_TRUE(render_d3d_frame(0.025f));
  std::vector<D3dColor> before = read_back_buffer(640, 360);
  present_d3d();

  send_window_event(SDL_WINDOWEVENT_MINIMIZED);
  testing::internal::CaptureStdout();
  for (int i = 0; i < 3; i++) {
    EXPECT_FALSE(render_d3d_frame(0.025f));
    EXPECT_FALSE(check_d3d_device());
  }
  EXPECT_EQ(d3d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("resized d3d"), std::string::npos);

  send_window_event(SDL_WINDOWEVENT_RESTORED);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(check_d3d_device());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("resized d3d to 640x360 windowed"), std::string::npos);
  EXPECT_TRUE(check_d3d_device());  // reset once, then plain good
  ASSERT_TRUE(render_d3d_frame(0.025f));
  std::vector<D3dColor> after = read_back_buffer(640, 360);
  present_d3d();
  EXPECT_TRUE(after == before);
  d3d_limit_buffered_frames = gate;
}

// The post effect keeps its shadow map from frame to frame: a device reset (which gives it a new,
// empty texture) and the post-effect switch each have it drawn again, so the frame does not change.
TEST_F(SceneGl, ThePostEffectHoldsAcrossResetsAndTheSwitch) {
  startLevel(7, 1);
  std::vector<D3dColor> first = frame(640, 360);
  EXPECT_EQ(frame(640, 360), first) << "a kept map";
  ASSERT_TRUE(reset_d3d(640, 360, false, true));
  EXPECT_EQ(frame(640, 360), first) << "after a reset";
  use_postfx = false;
  EXPECT_NE(frame(640, 360), first) << "switched off";
  use_postfx = true;
  EXPECT_EQ(frame(640, 360), first) << "switched on again";
}
}  // namespace
