// DynArray growth and removal, TempString and String edge cases, weak references.
#include <gtest/gtest.h>
#include "engine/cont/dynArray.h"
#include "engine/cont/weakRef.h"
#include "engine/misc/utils.h"

TEST(DynArray, GrowthFollowsTheDoublingRule) {
  DynArray<int> a;
  a.push_back(1);
  EXPECT_EQ(a.capacity(), 8);
  for (int i = 0; i < 8; i++) a.push_back(i);
  EXPECT_EQ(a.size(), 9);
  EXPECT_EQ(a.capacity(), 16);

  DynArray<int> b;
  for (int i = 0; i < 8; i++) b.push_back(i);
  ASSERT_EQ(b.capacity(), 8);
  int twenty[20] = {};
  b.append(20, twenty);
  EXPECT_EQ(b.capacity(), 36);  // 8 + 20 + 8
}

TEST(DynArray, ResizeReservesExactlyAndZeroFills) {
  DynArray<int> a;
  a.push_back(7);
  a.resize(100);
  EXPECT_EQ(a.capacity(), 100);
  EXPECT_EQ(a[0], 7);
  for (int i = 1; i < 100; i++) ASSERT_EQ(a[i], 0);
  a.resize(3);
  EXPECT_EQ(a.size(), 3);
  EXPECT_EQ(a.capacity(), 100);
}

TEST(DynArray, RemovalKeepsOrFillsFromTheEnd) {
  DynArray<char> a;
  a.append(3, "abc");
  a.remove_fast(0, 1);
  ASSERT_EQ(a.size(), 2);
  EXPECT_EQ(a[0], 'c');
  EXPECT_EQ(a[1], 'b');

  DynArray<char> b;
  b.append(5, "abcde");
  b.remove(1, 2);
  ASSERT_EQ(b.size(), 3);
  EXPECT_EQ(std::string(b.data, 3), "ade");
  b.insert(1, 2, nullptr);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[3], 'd');
}

TEST(DynArrayDeath, BoundsAreAssertedWithTheirMessages) {
  DynArray<int> a;
  EXPECT_EXIT(a.pop_back(), testing::ExitedWithCode(100), "cont/dynArray\\(177\\): failed ASSERT\\(num>0\\)");
  EXPECT_EXIT(a.remove(0, 1), testing::ExitedWithCode(100), "cont/dynArray\\(120\\): failed ASSERT\\(at\\+n<=num\\)");
  EXPECT_EXIT(a.insert(1, 1, nullptr), testing::ExitedWithCode(100),
              "cont/dynArray\\(153\\): failed ASSERT\\(at>=0 && at<=num\\)");
  EXPECT_EXIT(a.resize(-1), testing::ExitedWithCode(100), "cont/dynArray\\(77\\): failed ASSERT\\(n>=0\\)");
}

TEST(TempString, CapacityAndFormatting) {
  TempString<16> s("123456789012345");
  EXPECT_EQ(s.length(), 15);
  EXPECT_EXIT(s.assign("1234567890123456"), testing::ExitedWithCode(100),
              "misc/utils\\(57\\): failed ASSERT\\(l<BS\\)");
  s.format("%d-%s", 42, "x");
  EXPECT_STREQ(s, "42-x");
  s.format("%s", "this does not fit in sixteen");
  EXPECT_STREQ(s, "");
  s.assign(nullptr);
  EXPECT_STREQ(s, "");
}

TEST(String, EmptyIsNullAndCopiesAreDeep) {
  String e("");
  EXPECT_TRUE(e.isNull());
  EXPECT_STREQ(e.text(), "");
  EXPECT_EQ(e.length(), 0);
  String a("abc");
  String b = a;
  a = "zz";
  EXPECT_STREQ(b.text(), "abc");
  EXPECT_EQ(b.length(), 3);
  b.set(b.text() + 1, 2);  // from its own block
  EXPECT_STREQ(b.text(), "bc");
  b.set("x", 0);
  EXPECT_TRUE(b.isNull());
}

struct Target : WeakRefTarget {};

TEST(WeakRef, DestroyingTheTargetClearsEveryReference) {
  WeakRef<Target> r1, r2, r3;
  {
    Target t;
    r1.set(&t);
    r2.set(&t);
    r3.set(&t);
    EXPECT_EQ(t.weak_head, &r3);
    r2.reset();
    EXPECT_EQ(r2.get(), nullptr);
    r2.set(&t);
  }
  for (WeakRef<Target>* r : {&r1, &r2, &r3}) {
    EXPECT_EQ(r->target, nullptr);
    EXPECT_EQ(r->prev, nullptr);
    EXPECT_EQ(r->next, nullptr);
  }
}

TEST(WeakRef, DetachingTheHeadMovesItToTheSuccessor) {
  Target t;
  WeakRef<Target> a(&t), b(&t);
  EXPECT_EQ(t.weak_head, &b);
  b.reset();
  EXPECT_EQ(t.weak_head, &a);
  a.reset();
  EXPECT_EQ(t.weak_head, nullptr);
}
