// The object-world save stream through the library: its bytes, a round trip through memory, every
// refusal with its text, and counts that the stream cannot hold.
#include <string>
#include "engine/log.h"
#include "entlingSupport.h"

namespace {

// Builds a stream by hand.
struct Bytes {
  std::string s;
  Bytes& u32(uint32_t v) {
    s.append((const char*)&v, 4);
    return *this;
  }
  Bytes& u16(uint16_t v) {
    s.append((const char*)&v, 2);
    return *this;
  }
  Bytes& record(const char* name, uint16_t w1 = 0, uint16_t w2 = 0) {
    s.push_back(char(strlen(name)));
    s += name;
    return u16(w1).u16(w2);
  }
  Bytes& block(std::initializer_list<uint32_t> ids) {
    u32(uint32_t(ids.size()));
    for (uint32_t id : ids) u32(id);
    return *this;
  }
};

class SaveStream : public EntlingWorld {
 protected:
  void SetUp() override {
    EntlingWorld::SetUp();
    init_game_script();
  }
  void TearDown() override {
    close_game_script();
    EntlingWorld::TearDown();
  }
  std::string save() {
    MemoryOutputStream out;
    save_entlings(out);
    return out.bytes;
  }
  // Loads and returns the exception's text ("" when it loads).
  std::string loadError(const std::string& bytes, int* position = nullptr) {
    MemoryInputStream in(bytes.data(), int(bytes.size()));
    try {
      load_entlings(in);
    } catch (const InputStream::Exception& e) {
      if (position) *position = e.position;
      return e.message;
    }
    return "";
  }
  int objects() {
    int n = 0;
    for (int l = 0; l < NUM_OBJECT_LISTS; l++) n += object_list(l).size();
    return n;
  }
};

}  // namespace

TEST_F(SaveStream, AnEmptyWorldIsFourZeroBytes) {
  EXPECT_EQ(save(), std::string(4, '\0'));
  EXPECT_EQ(loadError(std::string(4, '\0')), "");
  EXPECT_EQ(objects(), 0);
}

TEST_F(SaveStream, AHeroAndTwoBarrelsByteForByte) {
  new_entling_by_id(11);
  new_entling_by_id(7);
  new_entling_by_id(11);
  MemoryOutputStream out;
  out.write("prefix", 6);  // the world is written at the stream's current position
  save_entlings(out);
  Bytes expected;
  expected.s = "prefix";
  expected.u32(2).record("Hero").record("ExplBarrel").block({1}).block({2, 3}).u32(0).u32(0);
  EXPECT_EQ(out.bytes, expected.s);
  EXPECT_EQ(list_object(0, 0)->serId, 1);
  EXPECT_EQ(list_object(3, 1)->serId, 3);
  std::string log = logText();
  EXPECT_NE(log.find("1 Hero objects at 00000026\n"), std::string::npos) << log;
  EXPECT_NE(log.find("2 ExplBarrel objects at 0000002E\n"), std::string::npos) << log;
  EXPECT_NE(log.find("saving script data\n"), std::string::npos);
}

TEST_F(SaveStream, RoundTripBringsTheObjectsBackWithTheirIds) {
  const int ids[] = {7, 8, 11, 12, 14, 15, 23, 8};
  for (int id : ids) ASSERT_NE(new_entling_by_id(unsigned(id)), nullptr);
  std::string saved = save();
  int before = objects();
  ASSERT_EQ(loadError(saved), "");
  EXPECT_EQ(objects(), 2 * before);
  // The loaded objects carry the stream's ids; those that were there before carry 0.
  EXPECT_EQ(BaseEnemy_list.size(), 4);
  EXPECT_EQ(list_object(1, 0)->serId, 0);
  EXPECT_EQ(list_object(1, 2)->serId, 2);
  EXPECT_EQ(list_object(1, 3)->serId, 3);
  EXPECT_EQ(get_entling_by_ser_id(8), list_object(11, 1));
  EXPECT_STREQ(get_entling_by_ser_id(1)->className(), "Hero");
  // Saving again numbers everything anew, in class and list order.
  std::string again = save();
  Bytes expected;
  expected.u32(7).record("Hero").record("BaseEnemy").record("ExplBarrel").record("Bomb").record("HeartBonus");
  expected.record("UpBonus").record("Boss1");
  expected.block({1, 2}).block({3, 4, 5, 6}).block({7, 8}).block({9, 10}).block({11, 12}).block({13, 14});
  expected.block({15, 16});
  for (int i = 0; i < 7; i++) expected.u32(0);
  EXPECT_EQ(again, expected.s);
  std::string log = logText();
  EXPECT_NE(log.find("loading 2 BaseEnemy objects\nloading 1 ExplBarrel objects\n"), std::string::npos) << log;
  EXPECT_NE(log.find("loading script data\nloaded game objects\n"), std::string::npos) << log;
}

TEST_F(SaveStream, RecordsMayComeInAnyOrderAndRepeat) {
  Bytes b;
  b.u32(3).record("ExitFx").record("Bullet").record("ExitFx");
  b.block({4}).block({5, 6}).block({7}).u32(0).u32(0).u32(0);
  ASSERT_EQ(loadError(b.s), "");
  EXPECT_EQ(ExitFx_list.size(), 2);
  EXPECT_EQ(Bullet_list.size(), 2);
  EXPECT_EQ(list_object(10, 1)->serId, 7);
  EXPECT_EQ(list_object(2, 0)->serId, 5);
}

TEST_F(SaveStream, SavingRefusesDestroyedObjectsAndAMissingScriptTable) {
  new_entling_by_id(7);
  Entling* bomb = new_entling_by_id(12);
  ((BaseObject*)bomb)->destroy();
  MemoryOutputStream out;
  try {
    save_entlings(out);
    FAIL() << "saved";
  } catch (const OutputStream::Exception& e) {
    EXPECT_STREQ(e.message, "Cannot save destroyed Bomb object");
    EXPECT_EQ(e.position, 4 + 9 + 9 + 8 + 4);  // N, two records, the hero's block and the bombs' count
  }
  EXPECT_EQ(list_object(0, 0)->serId, 1);
  EXPECT_EQ(((BaseObject*)bomb)->serId, 0);
  delete_entling();
  close_game_script();
  MemoryOutputStream out2;
  try {
    save_entlings(out2);
    FAIL() << "saved";
  } catch (const OutputStream::Exception& e) {
    EXPECT_STREQ(e.message, "Error getting script data to save");
    EXPECT_EQ(e.position, -1);
  }
}

TEST_F(SaveStream, LoadingRefusesWhatItCannotRead) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
    int objectsMade;
  } cases[] = {
      {"second version word", Bytes().u32(2).record("Hero").record("Bomb", 0, 1).block({1}).block({2}).s,
       "Incompatible class Bomb in saved game", 0},
      {"first version word", Bytes().u32(1).record("Boss1", 3, 0).block({1}).s,
       "Incompatible class Boss1 in saved game", 0},
      {"a base class", Bytes().u32(1).record("Entling").block({1}).s, "Unknown class Entling in saved game", 0},
      {"a joint's base class", Bytes().u32(1).record("BossJoint").block({1}).s, "Unknown class BossJoint in saved game",
       0},
      {"letter case", Bytes().u32(1).record("hero").block({1}).s, "Unknown class hero in saved game", 0},
      {"references", Bytes().u32(2).record("Hero").record("Bomb").block({1}).block({2}).u32(0).u32(1).s,
       "Unexpected references for Bomb", 2},
      {"cut short in a block", Bytes().u32(1).record("Hero").u32(3).u32(1).s, "Too many Hero objects (3) in saved game",
       0},
      {"cut short in a record", Bytes().u32(1).s + "\x04He", "Too many classes (1) in saved game", 0},
      {"cut short in a name", Bytes().u32(1).s + "\x09Hero\0\0\0\0", "error reading file", 0},
      {"cut short before the references", Bytes().u32(1).record("Hero").block({1}).s, "error reading file", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(loadError(c.bytes), c.message) << c.what;
    EXPECT_EQ(objects(), c.objectsMade) << c.what;
    remove_all_entling();
  }
}

TEST_F(SaveStream, CountsLargerThanTheStreamAreRefusedBeforeAnythingIsMade) {
  std::string huge_n = Bytes().u32(0xFFFFFFFFu).record("Hero").s;
  EXPECT_EQ(loadError(huge_n), "Too many classes (4294967295) in saved game");
  std::string huge_k = Bytes().u32(1).record("Bomb").u32(0x40000000u).u32(1).u32(2).s;
  int pos = 0;
  EXPECT_EQ(loadError(huge_k, &pos), "Too many Bomb objects (1073741824) in saved game");
  EXPECT_EQ(pos, 9 + 4 + 4);
  EXPECT_EQ(objects(), 0);
  // Exactly as many ids as the stream holds is fine.
  std::string exact = Bytes().u32(1).record("Bomb").u32(2).u32(1).u32(2).u32(0).s;
  EXPECT_EQ(loadError(exact), "");
  EXPECT_EQ(Bomb_list.size(), 2);
}

TEST_F(SaveStream, ALoadedBossWithoutPartsSleepsAndAPartWithoutGridIsEmpty) {
  std::string s = Bytes().u32(2).record("Boss1").record("BossPart").block({1}).block({2}).u32(0).u32(0).s;
  ASSERT_EQ(loadError(s), "");
  ASSERT_EQ(Boss1_list.size(), 1);
  ASSERT_EQ(BossPart_list.size(), 1);
  // A step, the frame's drawing and the queries run over them without touching a grid.
  update_entling(0.05f);
  render_boss(0.01f);
  render_entling_debug(0.01f);
  int flags = 0;
  EXPECT_EQ(scan_objects_x(&flags, nullptr, 0, 100, 0, 10), 100);
  EXPECT_EQ(trace_ray_enemies(nullptr, nullptr, vec4float(), vec4float(10, 0, 0, 0), 1, 0.05f, 1), -1);
  EntlingView* part = (EntlingView*)list_object(7, 0);
  vec4float box = part->getBox();
  EXPECT_EQ(box.x(), 0);
  EXPECT_EQ(box.z(), 0);
  remove_all_enemies();
  EXPECT_EQ(objects(), 0);
}
