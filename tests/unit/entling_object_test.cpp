// The object model: BaseObject's destroy and weak references, the world script VM's hooks, run
// progression and upgrades, and the actor library's class table, by-name table and stubs.
#include <limits.h>
#include <string.h>
#include <set>
#include "engine/log.h"
#include "engine/sqbind.h"
#include "entlingSupport.h"
#include "game/progression.h"

namespace {

struct Counted : BaseObject {
  int destroyed = 0;
  int* deletions;
  explicit Counted(int* d) : deletions(d) {}
  ~Counted() override { (*deletions)++; }
  void onDestroy() override { destroyed++; }
};

}  // namespace

TEST(BaseObjectTest, DestroyQueuesOnceAndWaitsForDeletion) {
  int deletions = 0;
  Counted* o = new Counted(&deletions);
  o->destroy();
  o->destroy();
  EXPECT_EQ(o->flags, uint32_t(OBJ_DESTROYED));
  EXPECT_EQ(o->destroyed, 1);
  ASSERT_EQ(deleted_entlings.size(), 1);
  EXPECT_EQ(deleted_entlings[0], o);
  // While the binder's mark is set, a destroy does nothing.
  Counted* marked = new Counted(&deletions);
  marked->flags = OBJ_RELINK;
  marked->destroy();
  EXPECT_EQ(marked->destroyed, 0);
  EXPECT_EQ(deleted_entlings.size(), 1);
  deleted_entlings.clear();
  delete o;
  delete marked;
  EXPECT_EQ(deletions, 2);
}

TEST(BaseObjectTest, WeakReferencesReadNullAfterDeletion) {
  int deletions = 0;
  Counted* o = new Counted(&deletions);
  WeakRef<Counted> a(o), b(o), c(o);
  EXPECT_EQ(b.get(), o);
  delete o;
  for (WeakRef<Counted>* r : {&a, &b, &c}) {
    EXPECT_EQ(r->get(), nullptr);
    EXPECT_EQ(r->prev, nullptr);
    EXPECT_EQ(r->next, nullptr);
  }
  EXPECT_EQ(deletions, 1);
}

TEST(BaseObjectTest, BaseIdentityAndPushRefusal) {
  int deletions = 0;
  Counted o(&deletions);
  EXPECT_STREQ(o.className(), "BaseObject");
  EXPECT_EQ(o.typeId(), 0);
  for (int id : {-1, 0, 1, 7, 31, 32, INT_MAX}) EXPECT_FALSE(o.isA(id)) << id;
  try {
    o.push(nullptr);
    FAIL() << "push did not throw";
  } catch (const sqbind::SquirrelError& e) {
    EXPECT_STREQ(e.message, "Can't push BaseObject to script");
  }
}

TEST(WorldScript, SaveGlobalsAreATableAndLoadHooksReadNothing) {
  EXPECT_TRUE(get_savegame_globals().isNull());  // no VM yet
  init_game_script();
  ASSERT_NE(get_world_script_vm(), nullptr);
  SQInteger top = sq_gettop(get_world_script_vm());
  sqbind::SqObject g = get_savegame_globals();
  EXPECT_EQ(g.type(), OT_TABLE);
  EXPECT_EQ(sq_gettop(get_world_script_vm()), top);
  const char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  MemoryInputStream in(bytes, 8);
  in.seekFromStart(3);
  EXPECT_TRUE(load_data(in, get_world_script_vm()).isNull());
  EXPECT_TRUE(load_script_data(in, get_world_script_vm()).isNull());
  EXPECT_TRUE(load_ref(in, get_world_script_vm()).isNull());
  EXPECT_EQ(in.tell(), 3);
  g.release();
  close_game_script();
  EXPECT_EQ(get_world_script_vm(), nullptr);
}

// ---- run progression

namespace {
int recorded_health = -1;
int fake_health = 0;
void record_health(int h) {
  recorded_health = h;
  fake_health = h;
}
int read_health() { return fake_health; }

std::vector<std::string> upgrade_names() {
  DynArray<Upgrade*> list;
  get_upgrades(list);
  std::vector<std::string> names;
  for (Upgrade* u : list) names.push_back(u->getName().c_str());
  return names;
}

struct Progression : testing::Test {
  void SetUp() override {
    set_hero_health = record_health;
    get_hero_health = read_health;
    reset_game();
  }
  void TearDown() override {
    set_hero_health = nullptr;
    get_hero_health = nullptr;
    reset_game();
  }
};
}  // namespace

TEST_F(Progression, ANewGameResetsLevelPointsAndEveryUpgrade) {
  cur_level = 7;
  up_points = 12;
  hero_shoot_rate = 14;
  bullet_wall_destr = 4;
  recorded_health = -1;
  reset_game();
  EXPECT_EQ(cur_level, 1);
  EXPECT_EQ(up_points, 0);
  EXPECT_EQ(hero_shoot_rate, 10.0f);
  EXPECT_EQ(bullet_wall_destr, 2);
  EXPECT_EQ(recorded_health, 4);  // through the actor library
  advance_level();
  advance_level();
  EXPECT_EQ(cur_level, 3);
  EXPECT_EQ(up_points, 10);
}

TEST_F(Progression, UpgradesListedByPriceAndAvailability) {
  up_points = 4;
  EXPECT_EQ(upgrade_names(), std::vector<std::string>({"Fire rate"}));
  up_points = 5;
  EXPECT_EQ(upgrade_names(), std::vector<std::string>({"Health", "Fire rate", "Wall destruction"}));
  DynArray<Upgrade*> list;
  list.push_back(nullptr);  // get_upgrades appends
  get_upgrades(list);
  ASSERT_EQ(list.size(), 4);
  list[1]->buy();
  EXPECT_EQ(fake_health, 5);
  list[2]->buy();
  EXPECT_EQ(hero_shoot_rate, 11.0f);
  list[3]->buy();
  EXPECT_EQ(bullet_wall_destr, 3);
  EXPECT_EQ(upgrade_names().size(), 3u);
  list[3]->buy();
  EXPECT_EQ(bullet_wall_destr, 4);
  EXPECT_EQ(upgrade_names(), std::vector<std::string>({"Health", "Fire rate"}));
  EXPECT_EQ(list[1]->getCost() + list[2]->getCost() + list[3]->getCost(), 13);
}

// ---- the by-name table

using EntlingByName = EntlingWorld;

TEST_F(EntlingByName, EveryNameResolvesExactlyAndNothingElse) {
  const EntlingLibrary& lib = entling_library();
  std::set<void*> seen;
  for (int i = 0; i < NUM_ENTLING_API; i++) {
    void* f = lib.funcByName(entling_api_names[i]);
    EXPECT_NE(f, nullptr) << entling_api_names[i];
    EXPECT_TRUE(seen.insert(f).second) << entling_api_names[i] << " shares an address";
    std::string n = entling_api_names[i];
    std::string upper = n;
    upper[0] = char(toupper(upper[0]));
    for (const std::string& wrong : {upper, n + " ", " " + n, n.substr(0, n.size() - 1), n + "_"})
      EXPECT_EQ(lib.funcByName(wrong.c_str()), nullptr) << "'" << wrong << "'";
  }
  void* link = lib.funcByName("link_gui");
  EXPECT_NE(link, nullptr);
  EXPECT_TRUE(seen.insert(link).second);
  EXPECT_EQ(seen.size(), 79u);
  for (const char* wrong : {"", "Update_entling", "LINK_GUI", "get_entling_vtables", "get_entling_func_by_name"})
    EXPECT_EQ(lib.funcByName(wrong), nullptr) << wrong;
  EXPECT_EQ(lib.funcByName(nullptr), nullptr);
  EXPECT_EQ((void*)update_entling, lib.funcByName("update_entling"));
}

// ---- the class table

namespace {

struct ClassRow {
  int id;
  const char* name;
  uint32_t mask;  // 0 for a kind without a class
  bool creatable;
  int list;  // index in the program's list order, -1 for none
};

const ClassRow class_rows[] = {
    {1, "Entling", 0x2, false, -1},
    {2, "Updating", 0, false, -1},
    {3, "SpriteRenderable", 0, false, -1},
    {4, "LevelGridRenderable", 0, false, -1},
    {5, "DebugRenderable", 0, false, -1},
    {6, "Character", 0, false, -1},
    {7, "Hero", 0xEE, true, 0},
    {8, "BaseEnemy", 0x16E, true, 1},
    {9, "Bullet", 0x206, false, 2},
    {10, "Explosive", 0, false, -1},
    {11, "ExplBarrel", 0xC6E, true, 3},
    {12, "Bomb", 0x146E, true, 4},
    {13, "Bonus", 0, false, -1},
    {14, "HeartBonus", 0x602E, true, 5},
    {15, "UpBonus", 0xA02E, true, 6},
    {16, "BossPart", 0x10032, false, 7},
    {17, "BossJoint", 0x20000, false, -1},
    {18, "BossPosJoint", 0x60000, false, 8},
    {19, "BossSubpartBehavior", 0x80000, false, -1},
    {20, "LockSubpartBehavior", 0x180000, false, 9},
    {21, "ExitFx", 0x200006, false, 10},
    {22, "Boss", 0x400026, false, -1},
    {23, "Boss1", 0xC00026, true, 11},
};

// A stream that holds one object of a class (serial id `id`).
std::string one_object_stream(const char* cls, uint32_t id) {
  std::string s;
  auto u32 = [&](uint32_t v) { s.append((const char*)&v, 4); };
  u32(1);
  s.push_back(char(strlen(cls)));
  s += cls;
  s.append(4, '\0');
  u32(1);
  u32(id);
  u32(0);
  return s;
}

BaseObject* load_one(const char* cls, uint32_t id = 5) {
  std::string s = one_object_stream(cls, id);
  MemoryInputStream in(s.data(), int(s.size()));
  load_entlings(in);
  return get_entling_by_ser_id(int(id));
}

}  // namespace

using EntlingClasses = EntlingWorld;

TEST_F(EntlingClasses, EveryClassAnswersItsNameIdAndKindsWithItsOwnTable) {
  const EntlingLibrary& lib = entling_library();
  int count = 0, size_count = 0;
  void* const* vt = lib.vtables(&count);
  const int* sizes = lib.classSizes(&size_count);
  ASSERT_EQ(count, 24);
  ASSERT_EQ(size_count, 24);
  EXPECT_EQ(vt[0], nullptr);
  EXPECT_EQ(sizes[0], 0);
  std::set<void*> tables;
  for (const ClassRow& row : class_rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(entling_id_by_name(row.name), row.id);
    if (!row.mask) {
      EXPECT_EQ(vt[row.id], nullptr);
      EXPECT_EQ(sizes[row.id], 0);
      EXPECT_EQ(new_entling_by_id(unsigned(row.id)), nullptr);
      continue;
    }
    EXPECT_NE(vt[row.id], nullptr);
    EXPECT_TRUE(tables.insert(vt[row.id]).second);
    EXPECT_GE(sizes[row.id], int(sizeof(BaseObject)));
    if (row.list < 0) continue;  // a base class: no object of it exactly
    BaseObject* o = row.creatable ? (BaseObject*)new_entling_by_id(unsigned(row.id)) : load_one(row.name);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(*(void**)o, vt[row.id]) << "the table entry is the class's vtable";
    EXPECT_STREQ(o->className(), row.name);
    EXPECT_EQ(o->typeId(), row.id);
    for (int bit = 0; bit < 32; bit++) EXPECT_EQ(o->isA(bit), ((row.mask >> bit) & 1) != 0) << bit;
    for (int id : {-1, -32, 32, 33, 64, INT_MAX, INT_MIN}) EXPECT_FALSE(o->isA(id)) << id;
    DynArray<BaseObject*>& list = object_list(row.list);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0], o);
    o->destroy();
    delete_entling();
  }
  // Every class's objects are at least as large as its base's.
  EXPECT_GE(sizes[23], sizes[22]);
  EXPECT_GE(sizes[18], sizes[17]);
  EXPECT_GE(sizes[20], sizes[19]);
}

TEST_F(EntlingClasses, OnlyTheSevenCreatableIdsHaveFactories) {
  for (unsigned id : {0u, 1u, 9u, 16u, 17u, 18u, 19u, 20u, 21u, 22u, 24u, 25u, 1000u, 0xFFFFFFFFu})
    EXPECT_EQ(new_entling_by_id(id), nullptr) << id;
  for (int l = 0; l < NUM_OBJECT_LISTS; l++) EXPECT_EQ(object_list(l).size(), 0);
  Entling* boss = new_entling_by_id(23);
  ASSERT_NE(boss, nullptr);
  ASSERT_EQ(Boss1_list.size(), 1);
  EXPECT_EQ((void*)Boss1_list[0], (void*)boss);
  EXPECT_EQ(((BaseObject*)boss)->serId, 0);
}

TEST_F(EntlingClasses, NamesAreFoundExactlyKindsIncluded) {
  EXPECT_EQ(entling_id_by_name("Boss1"), 23);
  EXPECT_EQ(entling_id_by_name("Bonus"), 13);
  EXPECT_EQ(entling_id_by_name("Updating"), 2);
  for (const char* unknown : {"BaseObject", "boss1", "Boss1 ", "", "Boss12", "Hero\n"})
    EXPECT_EQ(entling_id_by_name(unknown), 0) << unknown;
  EXPECT_EQ(entling_id_by_name(nullptr), 0);
}

// ---- stubs: an operation a class does not implement stops the game with its name and the class's

namespace {
struct StubCall {
  const char* name;
  void (*call)(EntlingView*);
};
const StubCall stub_calls[] = {
#define ENTLING_VIRTUAL(ret, name, params) {#name, [](EntlingView* m) { call_with_defaults(m, &EntlingView::name); }},
#include "entling/gen/virtuals.kst"
#undef ENTLING_VIRTUAL
};
}  // namespace

// The joints' and behaviours' own operations, in their slot order. (Outside the anonymous
// namespace: there the compiler would know every class derived from them and call directly.)
struct JointMirror : BaseObject {
  virtual void jumble(float) {}
  virtual void solve() {}
  virtual bool calcDp(BossPart*, vec4float*) { return false; }
  virtual void render() {}
};
struct BehaviorMirror : BaseObject {
  virtual void update(float) {}
  virtual bool onSubpartDamaged(int, int, int, int, BossSubpart*) { return false; }
  virtual void triggerDestruction() {}
};

using EntlingStubsDeathTest = EntlingWorld;

TEST_F(EntlingStubsDeathTest, EveryStubNamesItselfAndTheClass) {
  ASSERT_EQ(sizeof(stub_calls) / sizeof(stub_calls[0]), 54u);
  // The exit effect implements only update; a boss part implements many, but not update.
  EntlingView* fx = (EntlingView*)load_one("ExitFx", 1);
  EntlingView* part = (EntlingView*)load_one("BossPart", 2);
  ASSERT_TRUE(fx && part);
  for (const StubCall& s : stub_calls) {
    bool update = strcmp(s.name, "update") == 0;
    std::string expected =
        std::string("pure virtual call Entling\\(") + (update ? "BossPart" : "ExitFx") + "\\)::" + s.name + "\\(\\)";
    EXPECT_EXIT(s.call(update ? part : fx), testing::ExitedWithCode(100), expected) << s.name;
  }
}

// Boss1, the position joint and the lock implement these; their base classes stop the game. Each
// death test's child points a loaded object at its base class's table to reach the base's stub.
TEST_F(EntlingStubsDeathTest, TheBossAndTheJointsHaveStubsOfTheirOwn) {
  int count = 0;
  void* const* tables = entling_library().vtables(&count);
  ASSERT_EQ(count, NUM_ENTLING_TYPES);
  auto as_base = [&](BaseObject* o, int type_id) { *(void* const**)o = (void* const*)tables[type_id]; };
  EntlingView* boss = (EntlingView*)load_one("Boss1", 3);
  ASSERT_NE(boss, nullptr);
  EXPECT_EXIT((as_base(boss, TYPE_BOSS), boss->getPos()), testing::ExitedWithCode(100),
              "pure virtual call Boss\\(Boss\\)::getPos\\(\\)");
  EXPECT_EXIT((as_base(boss, TYPE_BOSS), boss->updateLogic(0.05f)), testing::ExitedWithCode(100),
              "pure virtual call Boss\\(Boss\\)::updateLogic\\(\\)");
  EXPECT_EXIT((as_base(boss, TYPE_BOSS), boss->turnGun(nullptr, vec4float(), 0, 0, 0, 0)), testing::ExitedWithCode(100),
              "pure virtual call Boss\\(Boss\\)::turnGun\\(\\)");
  JointMirror* joint = (JointMirror*)load_one("BossPosJoint", 4);
  ASSERT_NE(joint, nullptr);
  joint->jumble(1.5f);  // a joint without parts shakes nothing
  joint->solve();
  EXPECT_EXIT((as_base(joint, TYPE_BOSS_JOINT), joint->solve()), testing::ExitedWithCode(100),
              "pure virtual call BossJoint\\(BossJoint\\)::solve\\(\\)");
  BehaviorMirror* lock = (BehaviorMirror*)load_one("LockSubpartBehavior", 6);
  ASSERT_NE(lock, nullptr);
  EXPECT_FALSE(lock->onSubpartDamaged(1, 0, 0, 0, nullptr));
  lock->triggerDestruction();
  EXPECT_EXIT((as_base(lock, TYPE_BOSS_SUBPART_BEHAVIOR), lock->triggerDestruction()), testing::ExitedWithCode(100),
              "pure virtual call BossSubpartBehavior\\(BossSubpartBehavior\\)::triggerDestruction\\(\\)");
}
