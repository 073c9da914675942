// The 39 room templates (see levelTemplates.h). Each room is drawn as a picture of tile positions,
// top row first, one character per tile; every step names the character whose positions it uses
// and how many there must be. The position lists are read off the pictures once, in reading order
// (top row first, left to right), and checked against the counts.
//
// Room conventions that make the level playable: a room cell is 8 x 5 tiles; a side exit is open
// at tile rows 1 and 2 of its edge column with solid floor under it; a vertical exit is a hole at
// tile columns 3 and 4 of the lower room's top row and the upper room's floor, and every room with
// an exit up holds steps or platforms within jump reach (2 tiles) up to that hole, ending in a
// platform right under it; as the floor of the room above caps a jump, each step up in the top rows
// lies beside the one before (a staircase), never across a gap but the one under that hole, where
// nothing caps the rise; a platform one tile above another's top leaves no head room under it, so
// none sits over a wall or ledge the hero must cross; a room without a left exit has a solid left
// column and one without an exit down a solid floor, so rooms on the level's edges close it.
//
// Sections: step definitions, room pictures, position tables, running a template, exits, the template
// table, step queries.
#include "game/gen/levelTemplates.h"
#include <string.h>
#include "engine/log.h"
#include "game/gen/levelGenRuntime.h"

namespace {

// ---- step definitions

struct StepDef {
  RoomStepOp op;
  RoomPoolId pool;
  uint8_t type_id;
  uint8_t objects;
  char group;
  uint16_t positions;
};

struct RoomDesign {
  const char* const* art;  // 5 * height rows of 8 * width characters
  const StepDef* steps;
  int step_count;
};

#define STAMP(pool, g, n) \
  { ROOM_STEP_STAMP, ROOM_POOL_##pool, 0, 0, g, n }
#define OBJECTS(type, k, g, n) \
  { ROOM_STEP_OBJECTS, ROOM_POOL_NONE, TYPE_##type, k, g, n }
#define HERO(g) \
  { ROOM_STEP_HERO, ROOM_POOL_NONE, 0, 0, g, 1 }
#define EXIT_CHOICE(g) \
  { ROOM_STEP_EXIT_CHOICE, ROOM_POOL_EXIT, 0, 0, g, 1 }
#define EVEN(g, n) \
  { ROOM_STEP_EVEN_CHOICE, ROOM_POOL_NONE, 0, 0, g, n }
#define BONUS(k, g, n) \
  { ROOM_STEP_BONUS_CHOICE, ROOM_POOL_NONE, 0, k, g, n }

// ---- room pictures

// Legend used by most rooms: '.' background, w wall with a floor on top, v wall with a hard floor,
// m machinery or wall, k machinery, p platform, R/L stairs, e enemy, b barrel, h bonus, x either
// background or wall.

// 0: unused left-right room.
const char* art0[] = {"........", "........", "........", ".e....e.", "wwwwwwww"};
const StepDef steps0[] = {STAMP(BACK, '.', 30), OBJECTS(BASE_ENEMY, 1, 'e', 2), STAMP(BACK_SET, 'e', 2),
                          STAMP(WALL, 'w', 8), STAMP(FLOOR, 'w', 8)};

// 1-8: left and right.
const char* art1b[] = {"mm....mm", "........", "...RL...", ".eRmmLe.", "mwwwwmmm"};
const StepDef steps1[] = {STAMP(BACK, '.', 20),     OBJECTS(BASE_ENEMY, 1, 'e', 2), STAMP(BACK_SET, 'e', 2),
                          STAMP(BACK_SET, 'R', 2),  STAMP(STAIR_R, 'R', 2),         STAMP(WALL, 'w', 4),
                          STAMP(FLOOR, 'w', 4),     STAMP(BACK_SET, 'L', 2),        STAMP(STAIR_L, 'L', 2),
                          STAMP(MACH_WALL, 'm', 10)};

const char* art2[] = {"xx....xx", "........", "..beeb..", ".bwwwwb.", "wwwwwwww"};
const StepDef steps2[] = {STAMP(BACK, '.', 18),           OBJECTS(EXPL_BARREL, 1, 'b', 4), STAMP(BACK_SET, 'b', 4),
                          STAMP(WALL, 'w', 12),           STAMP(FLOOR, 'w', 12),           EVEN('x', 4),
                          OBJECTS(BASE_ENEMY, 1, 'e', 2), STAMP(BACK_SET, 'e', 2)};

const char* art3[] = {"xm....mx", "k.......", "...RL...", "eeRkkLe.", "mwwmmwwm"};
const StepDef steps3[] = {STAMP(BACK, '.', 18),    STAMP(MACH, 'k', 3),      EVEN('x', 2),
                          STAMP(BACK_SET, 'R', 2), STAMP(STAIR_R, 'R', 2),   STAMP(BACK_SET, 'L', 2),
                          STAMP(STAIR_L, 'L', 2),  STAMP(MACH_WALL, 'm', 6), OBJECTS(BASE_ENEMY, 1, 'e', 3),
                          STAMP(BACK_SET, 'e', 3), STAMP(WALL, 'w', 4),      STAMP(FLOOR, 'w', 4)};

const char* art4[] = {"k..xx..k", "........", "...ee...", ".bbwwbb.", "wwwwwwww"};
const StepDef steps4[] = {STAMP(BACK, '.', 20),
                          OBJECTS(EXPL_BARREL, 1, 'b', 4),
                          STAMP(BACK_SET, 'b', 4),
                          STAMP(MACH, 'k', 2),
                          STAMP(WALL, 'w', 10),
                          STAMP(FLOOR, 'w', 10),
                          EVEN('x', 2),
                          OBJECTS(BASE_ENEMY, 1, 'e', 2),
                          STAMP(BACK_SET, 'e', 2)};

const char* art5[] = {"mmmxxmmm", "m......m", "...ee...", ".b.mm.b.", "wwwwwwww"};
const StepDef steps5[] = {
    STAMP(BACK, '.', 16),    EVEN('x', 2),        STAMP(MACH_WALL, 'm', 10), OBJECTS(BASE_ENEMY, 1, 'e', 2),
    STAMP(BACK_SET, 'e', 2), STAMP(WALL, 'w', 8), STAMP(FLOOR, 'w', 8),      OBJECTS(EXPL_BARREL, 1, 'b', 2),
    STAMP(BACK_SET, 'b', 2)};

const char* art6[] = {"mmmmmmmm", "........", "...e....", "ebbmebbe", "wwwwwwww"};
const StepDef steps6[] = {STAMP(MACH_WALL, 'm', 9),       STAMP(BACK, '.', 15),   OBJECTS(EXPL_BARREL, 1, 'b', 4),
                          STAMP(BACK_SET, 'b', 4),        STAMP(WALL, 'w', 8),    STAMP(FLOOR, 'w', 8),
                          OBJECTS(BASE_ENEMY, 1, 'e', 4), STAMP(BACK_SET, 'e', 4)};

const char* art7[] = {"mmmmmmmm", "mmmmmmmm", "..mmmm..", ".e.ee.e.", "wwwwwwww"};
const StepDef steps7[] = {
    STAMP(MACH_WALL, 'm', 20),      STAMP(BACK, '.', 8),    STAMP(WALL, 'w', 8), STAMP(FLOOR, 'w', 8),
    OBJECTS(BASE_ENEMY, 1, 'e', 4), STAMP(BACK_SET, 'e', 4)};

const char* art8[] = {"mmmbbmmm", "..beeb..", "..ewwe..", "eewwwwee", "wwwwwwww"};
const StepDef steps8[] = {STAMP(BACK, '.', 8),     STAMP(MACH_WALL, 'm', 6),       OBJECTS(EXPL_BARREL, 1, 'b', 4),
                          STAMP(BACK_SET, 'b', 4), OBJECTS(BASE_ENEMY, 1, 'e', 8), STAMP(BACK_SET, 'e', 8),
                          STAMP(WALL, 'w', 14),    STAMP(FLOOR, 'w', 14)};

// 9-11: left only.
const char* art9[] = {"mmmmmmmk", "m......k", "...ee..k", ".b.kk.bk", "wwwwwwww"};
const StepDef steps9[] = {STAMP(BACK, '.', 14),    STAMP(MACH_WALL, 'm', 8), OBJECTS(EXPL_BARREL, 1, 'b', 2),
                          STAMP(BACK_SET, 'b', 2), STAMP(MACH, 'k', 6),      OBJECTS(BASE_ENEMY, 1, 'e', 2),
                          STAMP(BACK_SET, 'e', 2), STAMP(WALL, 'w', 8),      STAMP(FLOOR, 'w', 8)};

const char* art10[] = {"k.....kk", ".......k", ".......k", ".e.bbbek", "wwwwwwww"};
const StepDef steps10[] = {STAMP(BACK, '.', 21),
                           STAMP(MACH, 'k', 6),
                           OBJECTS(BASE_ENEMY, 1, 'e', 2),
                           STAMP(BACK_SET, 'e', 2),
                           OBJECTS(EXPL_BARREL, 1, 'b', 3),
                           STAMP(BACK_SET, 'b', 3),
                           STAMP(WALL, 'w', 8),
                           STAMP(FLOOR, 'w', 8)};

const char* art11[] = {"........", "..kkkk..", "..b.b..k", ".e..b.ek", "wwwwwwww"};
const StepDef steps11[] = {STAMP(BACK, '.', 21),
                           OBJECTS(BASE_ENEMY, 1, 'e', 2),
                           STAMP(BACK_SET, 'e', 2),
                           STAMP(MACH, 'k', 6),
                           OBJECTS(EXPL_BARREL, 1, 'b', 3),
                           STAMP(BACK_SET, 'b', 3),
                           STAMP(WALL, 'w', 8),
                           STAMP(FLOOR, 'w', 8)};

// 12-13: right only.
const char* art12[] = {"mmmmmkkk", "m.......", "m...k...", "mhbkkbe.", "mwwwwwmm"};
const StepDef steps12[] = {STAMP(MACH_WALL, 'm', 11), STAMP(BACK, '.', 14),
                           STAMP(MACH, 'k', 6),       OBJECTS(EXPL_BARREL, 1, 'b', 2),
                           STAMP(BACK_SET, 'b', 2),   OBJECTS(BASE_ENEMY, 1, 'e', 1),
                           STAMP(BACK_SET, 'e', 1),   BONUS(1, 'h', 1),
                           STAMP(BACK_SET, 'h', 1),   STAMP(WALL, 'w', 5),
                           STAMP(FLOOR, 'w', 5)};

const char* art13[] = {"m....kkk", "m.......", "m.kkk...", "mhbbhbe.", "mwwwwwww"};
const StepDef steps13[] = {
    STAMP(MACH_WALL, 'm', 5), STAMP(MACH, 'k', 6), STAMP(BACK, '.', 16),    OBJECTS(EXPL_BARREL, 1, 'b', 3),
    STAMP(BACK_SET, 'b', 3),  BONUS(1, 'h', 2),    STAMP(BACK_SET, 'h', 2), OBJECTS(BASE_ENEMY, 1, 'e', 1),
    STAMP(BACK_SET, 'e', 1),  STAMP(WALL, 'w', 7), STAMP(FLOOR, 'w', 7)};

// 14: left, right and up.
const char* art14[] = {"........", "...p....", "..m.m...", "........", "wwvkkvww"};
const StepDef steps14[] = {STAMP(BACK, '.', 29), STAMP(BACK_SET, 'p', 1), STAMP(PLAT, 'p', 1),
                           STAMP(MACH, 'k', 2),  STAMP(WALL, 'w', 4),     STAMP(FLOOR, 'w', 4),
                           STAMP(WALL, 'v', 2),  STAMP(HFLOOR, 'v', 2),   STAMP(MACH_WALL, 'm', 2)};

// 15-16: left and up.
const char* art15[] = {"......kk", "....p...", "...k....", "..keee..", "mwwvvwwm"};
const StepDef steps15[] = {
    STAMP(BACK, '.', 24),    STAMP(BACK_SET, 'p', 1), STAMP(PLAT, 'p', 1),     OBJECTS(BASE_ENEMY, 1, 'e', 3),
    STAMP(BACK_SET, 'e', 3), STAMP(MACH, 'k', 4),     STAMP(WALL, 'w', 4),     STAMP(FLOOR, 'w', 4),
    STAMP(WALL, 'v', 2),     STAMP(HFLOOR, 'v', 2),   STAMP(MACH_WALL, 'm', 2)};

const char* art16[] = {"xx......", "...R.p.m", "..Rmk..m", ".Rmmkkkm", "mwwvvmmm"};
const StepDef steps16[] = {STAMP(BACK, '.', 16),    EVEN('x', 2),        STAMP(MACH_WALL, 'm', 10),
                           STAMP(BACK_SET, 'p', 1), STAMP(PLAT, 'p', 1), STAMP(BACK_SET, 'R', 3),
                           STAMP(STAIR_R, 'R', 3),  STAMP(WALL, 'v', 2), STAMP(HFLOOR, 'v', 2),
                           STAMP(MACH, 'k', 4),     STAMP(WALL, 'w', 2), STAMP(FLOOR, 'w', 2)};

// 17-18: right and up.
const char* art17[] = {"m.....k.", "m..p....", "m...k...", "mkee.ke.", "mwvvwwmm"};
const StepDef steps17[] = {STAMP(MACH_WALL, 'm', 7), STAMP(BACK, '.', 20),    OBJECTS(BASE_ENEMY, 1, 'e', 3),
                           STAMP(BACK_SET, 'e', 3),  STAMP(BACK_SET, 'p', 1), STAMP(PLAT, 'p', 1),
                           STAMP(MACH, 'k', 4),      STAMP(WALL, 'v', 2),     STAMP(HFLOOR, 'v', 2),
                           STAMP(WALL, 'w', 3),      STAMP(FLOOR, 'w', 3)};

const char* art18[] = {"mmm...xx", "m...L.pm", "m..kmL..", "mkkkmmL.", "mwvvmmmm"};
const StepDef steps18[] = {STAMP(MACH_WALL, 'm', 15), STAMP(BACK, '.', 12),    EVEN('x', 2),
                           STAMP(WALL, 'v', 2),       STAMP(HFLOOR, 'v', 2),   STAMP(BACK_SET, 'L', 3),
                           STAMP(STAIR_L, 'L', 3),    STAMP(BACK_SET, 'p', 1), STAMP(PLAT, 'p', 1),
                           STAMP(MACH, 'k', 4),       STAMP(WALL, 'w', 1),     STAMP(FLOOR, 'w', 1)};

// 19: up only.
const char* art19[] = {"mmm...mm", "mk.p....", "mk...k..", "mhe.ek..", "mwwvkkkk"};
const StepDef steps19[] = {STAMP(MACH_WALL, 'm', 9), STAMP(BACK, '.', 16),    OBJECTS(BASE_ENEMY, 1, 'e', 2),
                           STAMP(BACK_SET, 'e', 2),  STAMP(BACK_SET, 'p', 1), STAMP(PLAT, 'p', 1),
                           STAMP(MACH, 'k', 8),      BONUS(1, 'h', 1),        STAMP(BACK_SET, 'h', 1),
                           STAMP(WALL, 'w', 2),      STAMP(FLOOR, 'w', 2),    STAMP(WALL, 'v', 1),
                           STAMP(HFLOOR, 'v', 1)};

// 20: down only (entered from below).
const char* art20[] = {"m.......", "m.......", "m.......", "mh......", "mvv..ppp"};
const StepDef steps20[] = {STAMP(MACH_WALL, 'm', 5), STAMP(BACK, '.', 29), BONUS(1, 'h', 1),    STAMP(BACK_SET, 'h', 1),
                           STAMP(BACK_SET, 'p', 3),  STAMP(PLAT, 'p', 3),  STAMP(WALL, 'v', 2), STAMP(HFLOOR, 'v', 2)};

// 21-23: down with side exits.
const char* art21[] = {"........", "........", "........", "........", "v.w....v"};
const char* art22[] = {"........", "........", "........", "........", "vvw....."};
const StepDef steps21[] = {STAMP(BACK, '.', 37), STAMP(WALL, 'w', 1), STAMP(FLOOR, 'w', 1), STAMP(WALL, 'v', 2),
                           STAMP(HFLOOR, 'v', 2)};

const char* art23[] = {"m.......", "m.......", "m.......", "m.......", "m.....vv"};
const StepDef steps23[] = {STAMP(MACH_WALL, 'm', 5), STAMP(BACK, '.', 33), STAMP(WALL, 'v', 2), STAMP(HFLOOR, 'v', 2)};

// 24-27: shafts, up and down.
// The shaft climbs up the left: no platform lies under another within the hero's height plus a
// jump, nor one step diagonally above another's far edge, so each jump starts clear of the next ledge.
const char* art24[] = {"m.......", "m...p...", "m..p....", "m.......", "mvv..pp."};
const char* art25[] = {"m.......", "m...p...", "m....p..", "m.......", "mpp...vv"};
const StepDef steps24[] = {STAMP(MACH_WALL, 'm', 5), STAMP(BACK, '.', 29), STAMP(BACK_SET, 'p', 4),
                           STAMP(PLAT, 'p', 4),      STAMP(WALL, 'v', 2),  STAMP(HFLOOR, 'v', 2)};

const char* art26[] = {"........", "....p...", "...p..p.", "........", "vvw..p.."};
const char* art27[] = {"........", "....p...", ".....p..", "..p.....", "wp....vv"};
const StepDef steps26[] = {STAMP(BACK, '.', 33), STAMP(BACK_SET, 'p', 4), STAMP(PLAT, 'p', 4),  STAMP(WALL, 'w', 1),
                           STAMP(FLOOR, 'w', 1), STAMP(WALL, 'v', 2),     STAMP(HFLOOR, 'v', 2)};

// 28: the start room.
const char* art28[] = {"m.....m.", "m.....m.", "m.....m.", "m..H....", "mwwwwwww"};
const StepDef steps28[] = {STAMP(MACH_WALL, 'm', 8), STAMP(BACK, '.', 24), HERO('H'),
                           STAMP(BACK2, 'H', 1),     STAMP(WALL, 'w', 7),  STAMP(FLOOR, 'w', 7)};

// 29-30: end rooms, the exit on a raised pad between two stairs.
const char* art29[] = {"........", "........", "........", "...RXL..", "wwwmmmww"};
const StepDef steps29[] = {STAMP(BACK, '.', 29), STAMP(BACK_SET, 'R', 1), STAMP(STAIR_R, 'R', 1),
                           STAMP(EXIT, 'X', 1),  STAMP(BACK_SET, 'L', 1), STAMP(STAIR_L, 'L', 1),
                           STAMP(WALL, 'w', 5),  STAMP(FLOOR, 'w', 5),    STAMP(MACH_WALL, 'm', 3)};

const char* art30[] = {"mmmmmmm.", "........", "........", "........", "........",
                       "........", "........", "........", "...RXL..", "wwwmmmww"};
const StepDef steps30[] = {STAMP(MACH_WALL, 'm', 10), STAMP(BACK, '.', 62), STAMP(BACK_SET, 'R', 1),
                           STAMP(STAIR_R, 'R', 1),    STAMP(EXIT, 'X', 1),  STAMP(BACK_SET, 'L', 1),
                           STAMP(STAIR_L, 'L', 1),    STAMP(WALL, 'w', 5),  STAMP(FLOOR, 'w', 5)};

// 31: the right end of the level, a wall three rooms high.
const char* art31[] = {"m       ", "m       ", "m       ", "m       ", "m       ", "m       ", "m       ", "m       ",
                       "m       ", "m       ", "m       ", "m       ", "m       ", "m       ", "m       "};
const StepDef steps31[] = {STAMP(MACH_WALL, 'm', 15)};

// 32-34: optional towers. Here '.' is the structure background and b plain background.
// Each climb starts beside the next ledge and ends under a hole in the floor above, never under
// a ceiling lower than the ledge it makes for.
const char* art32[] = {".kkkkkk.", "........", "bbbb....", "bbbb....", "hhh..kkk", "k..p...k", "k......k", "k...p...",
                       "k.......", "hhh..hhh", "m...p..m", "m......m", "...p...m", "........", "wwkkkkkk"};
const StepDef steps32[] = {STAMP(BACK_SET, 'b', 8), STAMP(SBACK, '.', 71),    STAMP(MACH, 'k', 21),
                           STAMP(WALL, 'w', 2),     STAMP(FLOOR, 'w', 2),     STAMP(MACH, 'h', 9),
                           STAMP(HFLOOR, 'h', 9),   STAMP(MACH_WALL, 'm', 5), STAMP(SBACK, 'p', 4),
                           STAMP(PLAT, 'p', 4)};

const char* art33[] = {"mkkkkkk.", "m......k", "m.....bb", "m.....bb", "mkk..hhh", "k...p..k", "k......k", "...p...k",
                       ".......k", "hhh..hhh", "m..p....", "m.......", "m.p.....", "m.......", "mwkkkkkk"};
const StepDef steps33[] = {
    STAMP(MACH_WALL, 'm', 10), STAMP(MACH, 'k', 21), STAMP(SBACK, '.', 71), STAMP(MACH, 'h', 9), STAMP(HFLOOR, 'h', 9),
    STAMP(BACK_SET, 'b', 4),   STAMP(SBACK, 'p', 4), STAMP(PLAT, 'p', 4),   STAMP(WALL, 'w', 1), STAMP(FLOOR, 'w', 1)};

const char* art34[] = {"mkkkkkkk", "mkkkkkkk", "mk....bb", "mk....bb", "mkk..kkH", "mk....kk", "mk.k..kk", "mk..k.kk",
                       "mkke..kk", "mkk..kkk", "k......k", "k...k..k", "..e..k.k", ".eh.eh.k", "wkkkkkkk"};
const StepDef steps34[] = {STAMP(MACH_WALL, 'm', 10),      STAMP(MACH, 'k', 55), STAMP(SBACK, '.', 43),
                           OBJECTS(BASE_ENEMY, 1, 'e', 4), STAMP(SBACK, 'e', 4), BONUS(1, 'h', 2),
                           STAMP(SBACK, 'h', 2),           STAMP(MACH, 'H', 1),  STAMP(HFLOOR, 'H', 1),
                           STAMP(BACK_SET, 'b', 4),        STAMP(WALL, 'w', 1),  STAMP(FLOOR, 'w', 1)};

// 35-36: optional halls of 3 x 3 room cells, entered bottom left, left at the middle right.
const char* art35[] = {"kkkkkkkkkkkkkkkkkkkkkkkk", "mkkkkkkkkkkkkkkkkkkkkkkk", "m.........p...p........k",
                       "m....e......e....e.....k", "mkk..kkkkkkkkkkkkkk..kkk", "m..p...........kk..p..pk",
                       "m....pp..p.p...kk....p.k", "mp.........ehp..kp......", "m....e....mmmm..k.......",
                       "mkkkkkkkkkkkkkkkkkk..kkk", "mk.....................k", "k.p......p..........p..k",
                       ".bb.p.m...p.m.p..p...p.k", ".bbe..m...e.mer...e....k", "wkkkkkkkkkkkkkkkkkkkkkkk"};
const StepDef steps35[] = {STAMP(MACH_WALL, 'm', 18), STAMP(MACH, 'k', 126),
                           STAMP(SBACK, '.', 179),    OBJECTS(BASE_ENEMY, 20, 'e', 9),
                           STAMP(SBACK, 'e', 9),      STAMP(SBACK, 'p', 21),
                           STAMP(PLAT, 'p', 21),      BONUS(1, 'h', 1),
                           STAMP(SBACK, 'h', 1),      OBJECTS(EXPL_BARREL, 1, 'r', 1),
                           STAMP(SBACK, 'r', 1),      STAMP(BACK_SET, 'b', 4),
                           STAMP(WALL, 'w', 1),       STAMP(FLOOR, 'w', 1)};

const char* art36[] = {"kkkkkkkkkkkkkkkkkkkkkkkk", "m......................k", "m.p..p...p.p..p..p..p..k",
                       "m....e......e....e.....k", "mkk..kkkkkkkkkkkkkk..kkk", "m..p..p...p.p..kk..p..pk",
                       "m....pp..p...p.kk....p.k", "mp.........p..p.kp......", "m....e.....e.h..k.......",
                       "mkkkkkkkkkkkkkkkkkk..kkk", "mpk..p.p.p.p.p.p.p.....k", "k.p...p..pp...p..pp.p..k",
                       ".bb.p.......p........p.k", ".bbe......e.......e....k", "wkkkkkkkkkkkkkkkkkkkkkkk"};
const StepDef steps36[] = {STAMP(MACH_WALL, 'm', 10), STAMP(MACH, 'k', 104), STAMP(SBACK, '.', 191),
                           STAMP(SBACK, 'p', 41),     STAMP(PLAT, 'p', 41),  OBJECTS(BASE_ENEMY, 20, 'e', 8),
                           STAMP(SBACK, 'e', 8),      BONUS(1, 'h', 1),      STAMP(SBACK, 'h', 1),
                           STAMP(BACK_SET, 'b', 4),   STAMP(WALL, 'w', 1),   STAMP(FLOOR, 'w', 1)};

// 37: the boss room, entered from the left along its bottom row; the boss walks the hard floor.
const char* art37[] = {"kkkkkkkkkkkkkkkkkkkkkkkk", "kkkkkkkkkkkkkkkkkkkkkkkk", "kmmmmm............mmmmmk",
                       "k......................k", "k......................k", "k......................k",
                       "k......................k", "k......................k", "k......................k",
                       "k......................k", "k......................k", "k......................k",
                       ".......................k", "...................B..Xk", "wwkkkvvvvvvvvvvvvvvvvkkk"};
const StepDef steps37[] = {STAMP(MACH_WALL, 'm', 10), STAMP(BACK, '.', 254),   STAMP(MACH, 'k', 76),
                           OBJECTS(BOSS1, 1, 'B', 1), STAMP(BACK_SET, 'B', 1), STAMP(BACK_SET, 'X', 1),
                           EXIT_CHOICE('X'),          STAMP(WALL, 'w', 2),     STAMP(FLOOR, 'w', 2),
                           STAMP(WALL, 'v', 16),      STAMP(HFLOOR, 'v', 16)};

// 38: unused boss room with a start of its own.
const char* art38[] = {"mm...................kkk", "m.......................", "m.......................",
                       "m.......................", "m.......................", "m.......................",
                       "m.......................", "m.......................", "m.......................",
                       "m.......................", "m.......................", "m.......................",
                       "m.......................", "m.H................B..X.", "mwvvvvvvvvvvvvvvvvvvvvvv"};
const StepDef steps38[] = {STAMP(MACH_WALL, 'm', 16),
                           STAMP(BACK, '.', 315),
                           STAMP(WALL, 'w', 1),
                           STAMP(FLOOR, 'w', 1),
                           HERO('H'),
                           STAMP(BACK2, 'H', 1),
                           OBJECTS(BOSS1, 1, 'B', 1),
                           STAMP(BACK_SET, 'B', 1),
                           STAMP(MACH, 'k', 3),
                           STAMP(BACK_SET, 'X', 1),
                           EXIT_CHOICE('X'),
                           STAMP(WALL, 'v', 22),
                           STAMP(HFLOOR, 'v', 22)};

#define DESIGN(a, s) \
  { a, s, int(sizeof(s) / sizeof(s[0])) }
const RoomDesign designs[ROOM_TEMPLATE_COUNT] = {
    DESIGN(art0, steps0),   DESIGN(art1b, steps1),  DESIGN(art2, steps2),   DESIGN(art3, steps3),
    DESIGN(art4, steps4),   DESIGN(art5, steps5),   DESIGN(art6, steps6),   DESIGN(art7, steps7),
    DESIGN(art8, steps8),   DESIGN(art9, steps9),   DESIGN(art10, steps10), DESIGN(art11, steps11),
    DESIGN(art12, steps12), DESIGN(art13, steps13), DESIGN(art14, steps14), DESIGN(art15, steps15),
    DESIGN(art16, steps16), DESIGN(art17, steps17), DESIGN(art18, steps18), DESIGN(art19, steps19),
    DESIGN(art20, steps20), DESIGN(art21, steps21), DESIGN(art22, steps21), DESIGN(art23, steps23),
    DESIGN(art24, steps24), DESIGN(art25, steps24), DESIGN(art26, steps26), DESIGN(art27, steps26),
    DESIGN(art28, steps28), DESIGN(art29, steps29), DESIGN(art30, steps30), DESIGN(art31, steps31),
    DESIGN(art32, steps32), DESIGN(art33, steps33), DESIGN(art34, steps34), DESIGN(art35, steps35),
    DESIGN(art36, steps36), DESIGN(art37, steps37), DESIGN(art38, steps38),
};

// ---- position tables

// Position tables read off the pictures: one list per step, pairs of (x, y).
struct StepTable {
  int count;
  uint8_t* xy;
};
struct TemplateTables {
  StepTable steps[16];
};
TemplateTables tables[ROOM_TEMPLATE_COUNT];
bool tables_built = false;

void build_tables() {
  if (tables_built) return;
  for (int row = 0; row < ROOM_TEMPLATE_COUNT; row++) {
    const RoomDesign& d = designs[row];
    const LevelGenTemplate& t = room_templates[row];
    int w = t.width * ROOM_TILES_X, h = t.height * ROOM_TILES_Y;
    ASSERT(d.step_count <= 16);
    for (int r = 0; r < h; r++)
      if ((int)strlen(d.art[r]) != w) fatal("room template %d: picture row %d is not %d tiles wide", row, r, w);
    for (int s = 0; s < d.step_count; s++) {
      char g = d.steps[s].group;
      StepTable& st = tables[row].steps[s];
      st.xy = new uint8_t[size_t(w * h * 2)];
      st.count = 0;
      for (int r = 0; r < h; r++)
        for (int x = 0; x < w; x++)
          if (d.art[r][x] == g) {
            st.xy[st.count * 2] = uint8_t(x);
            st.xy[st.count * 2 + 1] = uint8_t(h - 1 - r);
            st.count++;
          }
      if (st.count != d.steps[s].positions)
        fatal("room template %d step %d: %d positions of '%c', expected %d", row, s, st.count, g, d.steps[s].positions);
    }
  }
  tables_built = true;
}

// ---- running a template

LevelGenTile* const* pool_of(RoomPoolId id, int& n) {
  switch (id) {
    case ROOM_POOL_BACK:
      n = BACK_POOL_SIZE;
      return back_pool;
    case ROOM_POOL_BACK_SET:
      n = BACK_SET_SIZE;
      return back_set;
    case ROOM_POOL_WALL:
      n = WALL_SET_SIZE;
      return wall_set;
    case ROOM_POOL_FLOOR:
      n = FLOOR_SET_SIZE;
      return floor_set;
    case ROOM_POOL_MACH:
      n = MACH_SET_SIZE;
      return mach_set;
    case ROOM_POOL_MACH_WALL:
      n = MACH_WALL_POOL_SIZE;
      return mach_wall_pool;
    case ROOM_POOL_SBACK:
      n = SBACK_SET_SIZE;
      return sback_set;
    case ROOM_POOL_PLAT:
      n = PLAT_SET_SIZE;
      return plat_set;
    case ROOM_POOL_HFLOOR:
      n = HFLOOR_SET_SIZE;
      return hfloor_set;
    case ROOM_POOL_STAIR_R:
      n = 1;
      return &stairR_tile;
    case ROOM_POOL_STAIR_L:
      n = 1;
      return &stairL_tile;
    case ROOM_POOL_EXIT:
      n = 1;
      return &exit_tile;
    case ROOM_POOL_BACK2:
      n = 1;
      return &back2_tile;
    default:
      n = 0;
      return nullptr;
  }
}

void run_template(int row, int x, int y) {
  build_tables();
  const RoomDesign& d = designs[row];
  for (int s = 0; s < d.step_count; s++) {
    const StepDef& step = d.steps[s];
    const StepTable& st = tables[row].steps[s];
    LevelGenCoordList coords(st.xy, st.count, x * ROOM_TILES_X, y * ROOM_TILES_Y);
    int n = 0;
    LevelGenTile* const* pool = pool_of(step.pool, n);
    switch (step.op) {
      case ROOM_STEP_STAMP:
        stamp_random_tiles(pool, n, coords);
        break;
      case ROOM_STEP_OBJECTS:
        spawn_random_objects(step.type_id, step.objects, coords);
        break;
      case ROOM_STEP_HERO:
        place_hero_start(coords);
        break;
      case ROOM_STEP_EXIT_CHOICE:
        choose_exit_tile(pool, n, coords);
        break;
      case ROOM_STEP_EVEN_CHOICE: {
        uint32_t draw = level_rnd();
        if (draw < 0x80000000u) stamp_random_tiles(back_set, BACK_SET_SIZE, coords);
        else stamp_random_tiles(wall_set, WALL_SET_SIZE, coords);
        break;
      }
      case ROOM_STEP_BONUS_CHOICE: {
        uint32_t draw = level_rnd();
        int type = draw < 0xC0000000u ? TYPE_HEART_BONUS : TYPE_UP_BONUS;
        spawn_random_objects(type, step.objects, coords);
        break;
      }
    }
  }
  // The right end is the level's outer wall: nothing may be shot through its outer cell column.
  if (row == 31) seal_level_column(x * ROOM_TILES_X * TILE_CELLS + TILE_CELLS - 1);
}

template <int Row>
void stamp_template(int x, int y) {
  run_template(Row, x, y);
}

// ---- exits

const uint8_t exits_3[] = {3};
const uint8_t exits_1[] = {1};
const uint8_t exits_2[] = {2};
const uint8_t exits_7[] = {7};
const uint8_t exits_5[] = {5};
const uint8_t exits_6[] = {6};
const uint8_t exits_4[] = {4};
const uint8_t exits_8[] = {8};
const uint8_t exits_11[] = {11};
const uint8_t exits_9[] = {9};
const uint8_t exits_10[] = {10};
const uint8_t exits_12[] = {12};
const uint8_t exits_14[] = {14};
const uint8_t exits_13[] = {13};
const uint8_t exits_15[] = {15};
const uint8_t exits_end2[] = {0, 1};
const uint8_t exits_right_end[] = {0, 0, 0};
const uint8_t exits_tower32[] = {9, 14, 5};
const uint8_t exits_tower33[] = {10, 13, 6};
const uint8_t exits_tower34[] = {10, 12, 5};
const uint8_t exits_hall[] = {10, 3, 9, 6, 1, 14, 3, 3, 5};
const uint8_t exits_boss[] = {0, 0, 0, 0, 0, 0, 3, 3, 1};
const uint8_t exits_boss_start[] = {0, 0, 0, 0, 0, 0, 2, 3, 3};

}  // namespace

// ---- the template table

#define T(row, w, h, ex) \
  { stamp_template<row>, w, h, ex }
LevelGenTemplate room_templates[ROOM_TEMPLATE_COUNT] = {
    T(0, 1, 1, exits_3),        T(1, 1, 1, exits_3),        T(2, 1, 1, exits_3),           T(3, 1, 1, exits_3),
    T(4, 1, 1, exits_3),        T(5, 1, 1, exits_3),        T(6, 1, 1, exits_3),           T(7, 1, 1, exits_3),
    T(8, 1, 1, exits_3),        T(9, 1, 1, exits_1),        T(10, 1, 1, exits_1),          T(11, 1, 1, exits_1),
    T(12, 1, 1, exits_2),       T(13, 1, 1, exits_2),       T(14, 1, 1, exits_7),          T(15, 1, 1, exits_5),
    T(16, 1, 1, exits_5),       T(17, 1, 1, exits_6),       T(18, 1, 1, exits_6),          T(19, 1, 1, exits_4),
    T(20, 1, 1, exits_8),       T(21, 1, 1, exits_11),      T(22, 1, 1, exits_9),          T(23, 1, 1, exits_10),
    T(24, 1, 1, exits_12),      T(25, 1, 1, exits_14),      T(26, 1, 1, exits_13),         T(27, 1, 1, exits_15),
    T(28, 1, 1, exits_2),       T(29, 1, 1, exits_1),       T(30, 1, 2, exits_end2),       T(31, 1, 3, exits_right_end),
    T(32, 1, 3, exits_tower32), T(33, 1, 3, exits_tower33), T(34, 1, 3, exits_tower34),    T(35, 3, 3, exits_hall),
    T(36, 3, 3, exits_hall),    T(37, 3, 3, exits_boss),    T(38, 3, 3, exits_boss_start),
};

LevelGenTemplate* const start_templates[START_TEMPLATE_COUNT] = {&room_templates[28]};
LevelGenTemplate* const end_templates[END_TEMPLATE_COUNT] = {&room_templates[29], &room_templates[30]};
LevelGenTemplate* const boss_templates[BOSS_TEMPLATE_COUNT] = {&room_templates[37]};
LevelGenTemplate* const right_end_templates[RIGHT_END_TEMPLATE_COUNT] = {&room_templates[31]};
LevelGenTemplate* const optional_templates[OPTIONAL_TEMPLATE_COUNT] = {
    &room_templates[32], &room_templates[33], &room_templates[34], &room_templates[35], &room_templates[36]};
LevelGenTemplate* const filler_templates[FILLER_TEMPLATE_COUNT] = {
    &room_templates[1],  &room_templates[2],  &room_templates[3],  &room_templates[4],  &room_templates[5],
    &room_templates[6],  &room_templates[7],  &room_templates[8],  &room_templates[9],  &room_templates[10],
    &room_templates[11], &room_templates[12], &room_templates[13], &room_templates[14], &room_templates[15],
    &room_templates[16], &room_templates[17], &room_templates[18], &room_templates[19], &room_templates[20],
    &room_templates[21], &room_templates[22], &room_templates[23], &room_templates[24], &room_templates[25],
    &room_templates[26], &room_templates[27]};

// ---- step queries

int room_template_step_count(int row) {
  ASSERT(row >= 0 && row < ROOM_TEMPLATE_COUNT);
  return designs[row].step_count;
}

RoomStepInfo room_template_step(int row, int step) {
  ASSERT(row >= 0 && row < ROOM_TEMPLATE_COUNT && step >= 0 && step < designs[row].step_count);
  build_tables();
  const StepDef& s = designs[row].steps[step];
  return RoomStepInfo{s.op, s.pool, s.type_id, s.objects, tables[row].steps[step].count, tables[row].steps[step].xy};
}
