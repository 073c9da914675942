// The by-name functions of the actor library, in binding order: ENTLING_API(result, name, (params)).
// The program expands it into its function pointers (entlingApi.h), the library into its name table,
// so both sides agree on every name and signature. link_gui is looked up separately after a bind.
// Who calls each one is noted per group; "dev" means bound for the library's and developers' use only.
// (No include guard: it is expanded several times with different definitions of ENTLING_API.)

// Sound: objects and the program's menus play game sound events (program: the no_pos one).
ENTLING_API(uint32_t, play_sound_event, (int event, vec4float pos))
ENTLING_API(uint32_t, play_sound_event_no_pos, (int event))
// World queries: collision asks for the objects in the way of a moving box (program: the two scans).
ENTLING_API(float, trace_box_box,
            (const vec4float& a_min, const vec4float& a_max, vec4float b_min, vec4float b_max, vec4float m0,
             const vec4float& m1, float limit))
ENTLING_API(float, scan_objects_x, (int* flags, Entling* exclude, float from, float to, float y0, float y1))
ENTLING_API(float, scan_objects_y,
            (int* flags, Entling* exclude, float x0, float x1, float from, float to, float* carry))
// Hero access: the camera, the HUD, the modes and the upgrades read and set the hero through these.
ENTLING_API(vec4float, get_hero_pos, ())
ENTLING_API(vec4float, get_hero_target, ())
ENTLING_API(vec4float, calc_hero_target, ())
ENTLING_API(bool, get_hero_face_right, ())
ENTLING_API(int, get_hero_health, ())
ENTLING_API(void, set_hero_health, (int health))
ENTLING_API(vec4float, interp_hero_pos, (float t))
ENTLING_API(void, init_hero, ())
// The generator places the hero; the elevator ride moves it without physics.
ENTLING_API(void, reset_hero, (float x, float y))
ENTLING_API(void, close_hero, ())
ENTLING_API(void, move_hero, (vec4float pos, float dt))
ENTLING_API(void, hit_hero_by_enemy, ())
ENTLING_API(vec4float, collide_box_hero, (Entling * exclude, vec4float box_min, vec4float box_max))
// Enemies: the generator picks the level's enemy types and places objects; a level restart removes them.
ENTLING_API(void, select_level_enemies, ())
ENTLING_API(void, init_enemies, ())
ENTLING_API(void, close_enemies, ())
ENTLING_API(void, remove_all_enemies, ())
ENTLING_API(Entling*, add_enemy, (int type_id, float x, float y))
ENTLING_API(vec4float, collide_box_enemies, (Entling * exclude, BaseEnemy** hit, vec4float box_min, vec4float box_max))
ENTLING_API(vec4float, collide_box_neutral, (Entling * exclude, vec4float box_min, vec4float box_max))
ENTLING_API(float, trace_ray_enemies,
            (Entling * exclude, Entling** hit, vec4float from, vec4float motion, float half_size, float target_time,
             float limit))
ENTLING_API(float, trace_ray_neutral,
            (Entling * exclude, Entling** hit, vec4float from, vec4float motion, float half_size, float target_time,
             float limit))
// Bullets: the scene loads their sprites and clears them with the level.
ENTLING_API(void, init_bullets, ())
ENTLING_API(void, close_bullets, ())
ENTLING_API(void, reset_bullets, ())
ENTLING_API(Bullet*, add_bullet, (int flags, Entling* owner, vec4float pos, vec4float vel))
ENTLING_API(void, render_bullets, (float t))
// Bonuses: removed with the level.
ENTLING_API(void, init_bonuses, ())
ENTLING_API(void, close_bonuses, ())
ENTLING_API(void, remove_all_bonuses, ())
ENTLING_API(void, collect_bonuses, (vec4float box))
// Cell grids of the boss parts (dev).
ENTLING_API(bool, scan_voxel_grid,
            (float* to, const LevelCell* cells, vec4float m, float from, float y0, float y1, int w, int h, int stride))
ENTLING_API(float, trace_voxel_grid,
            (const LevelCell* cells, int w, vec4float origin, vec4float dir, float radius, float length, int h,
             int stride))
ENTLING_API(vec4float, calc_voxel_grid_box, (const LevelCell* cells, int w, vec4float m, int h, int stride))
ENTLING_API(void, expand_grid_subpart_box,
            (const LevelGrid* grid, int x, int y, int* box_min, int* box_max, int id, char* visited))
// Tooltip: the GUI runtime shows and hides it every update.
ENTLING_API(void, hide_tooltip, ())
ENTLING_API(void, show_tooltip, (const char* text, vec4float box))
ENTLING_API(void, update_tooltip, ())
ENTLING_API(void, render_tooltip, (float t))
ENTLING_API(BaseGuiScreen*, init_tooltip, ())
// GUI elements (dev).
ENTLING_API(void, set_radio, (GuiElement * group, int index))
ENTLING_API(int, get_radio, (GuiElement * group, int fallback))
ENTLING_API(int, set_slider, (GuiElement * element, double value))
ENTLING_API(void, place_popup, (GuiElement * element, vec4float anchor))
// GUI start-up and the HUD: the scene at start-up, the play and game-over modes every step and frame.
ENTLING_API(void, init_new_gui, ())
ENTLING_API(void, init_hud, ())
ENTLING_API(void, show_game_over, (bool show))
ENTLING_API(void, close_hud, ())
ENTLING_API(void, update_hud, ())
ENTLING_API(void, draw_hud, ())
ENTLING_API(void, draw_crosshair, (float x, float y))
// Menus: the menu modes open, update and draw their screens.
ENTLING_API(void, safely_close_game_menu, ())
ENTLING_API(void, reset_game_ui_screen, ())
ENTLING_API(void, set_game_ui_screen, (BaseGuiScreen * screen))
ENTLING_API(void, open_game_menu, ())
ENTLING_API(void, open_main_menu, ())
ENTLING_API(void, open_upgrade_screen, ())
ENTLING_API(void, close_game_menu, ())
ENTLING_API(void, update_game_menu, (float dt))
ENTLING_API(void, draw_game_menu, (float t))
// The object world: the scene steps it every update, draws it every frame, and sets it up and tears it
// down with each level and at shutdown.
ENTLING_API(void, update_entling, (float dt))
ENTLING_API(void, render_entling, (float t))
ENTLING_API(void, render_boss, (float t))
ENTLING_API(void, render_entling_debug, (float t))
ENTLING_API(void, remove_all_entling, ())
ENTLING_API(void, init_entling, ())
ENTLING_API(void, close_entling, ())
ENTLING_API(void, delete_entling, ())
// Save stream and class table (dev).
ENTLING_API(void, save_entlings, (OutputStream & out))
ENTLING_API(void, load_entlings, (InputStream & in))
ENTLING_API(BaseObject*, get_entling_by_ser_id, (int id))
ENTLING_API(Entling*, new_entling_by_id, (unsigned id))
ENTLING_API(int, entling_id_by_name, (const char* name))
