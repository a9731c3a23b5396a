#include "stack_ob.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text.h"

namespace {

typedef stack_ob<unsigned char, 0, 0> byteArray;

void fill(byteArray& a, const std::string& text) {
  a.clear();
  a.append_n(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

std::string text(const byteArray& a) {
  return std::string(reinterpret_cast<const char*>(a.get_data()), static_cast<size_t>(a.get_count()));
}

TEST(StackOb, GrowthScheduleOfSingleAppends) {
  byteArray a;
  std::vector<int> capacities;
  for (int i = 0; i < 359; ++i) {
    unsigned char c = static_cast<unsigned char>(i);
    a.push(&c);
    if (capacities.empty() || capacities.back() != a.capacity()) capacities.push_back(a.capacity());
  }
  std::vector<int> expected = {16, 34, 52, 79, 96, 116, 140, 169, 204, 246, 296, 326, 359};
  EXPECT_EQ(capacities, expected);
  for (int i = 0; i < 359; ++i) ASSERT_EQ(a.get_data()[i], static_cast<unsigned char>(i));
  EXPECT_EQ(a.get_data()[359], 0);  // the terminating element
}

// A new array has no storage, and a size asked for without growth changes
// nothing.
TEST(StackOb, GetSizeWithoutGrowChangesNothing) {
  byteArray a;
  EXPECT_TRUE(a.is_empty());
  EXPECT_EQ(a.capacity(), 0);
  a.get_size(1000000, false);
  EXPECT_EQ(a.get_data(), nullptr);
  a.get_size(16, true);
  EXPECT_EQ(a.capacity(), 16);  // 17 slots
  unsigned char* block = a.get_data();
  a.get_size(1000, false);
  EXPECT_EQ(a.get_data(), block);
  EXPECT_EQ(a.capacity(), 16);
}

TEST(StackOb, ClearKeepsStorageAndTerminator) {
  byteArray a;
  fill(a, "abcdef");
  a.clear();
  EXPECT_TRUE(a.is_empty());
  ASSERT_NE(a.get_data(), nullptr);
  EXPECT_EQ(*a.get_data(), 0);
}

TEST(StackOb, FrontRemovalMovesNothingUntilGrowth) {
  byteArray a;
  fill(a, "0123456789");
  unsigned char* block = a.get_data();
  a.erase(a.get_data(), a.get_data() + 3);
  EXPECT_EQ(a.get_data(), block + 3);  // only `first` advanced
  EXPECT_EQ(text(a), "3456789");
  // A request that fits in the block once the dead front is reclaimed moves
  // the elements back instead of allocating.
  a.get_size(15, true);
  EXPECT_EQ(a.get_data(), block);
  EXPECT_EQ(text(a), "3456789");
  EXPECT_EQ(a.get_data()[7], 0);
}

TEST(StackOb, EraseRanges) {
  byteArray a;
  fill(a, "abcde");
  a.erase(a.get_data() + 1, a.get_data() + 3);
  EXPECT_EQ(text(a), "ade");
  EXPECT_EQ(a.get_data()[3], 0);
  a.erase(a.get_data() + 2, nullptr);  // null end: to the end
  EXPECT_EQ(text(a), "ad");
  // Reversed, empty and foreign ranges change nothing.
  unsigned char other[4] = {};
  a.erase(a.get_data() + 1, a.get_data());
  a.erase(other, other + 2);
  EXPECT_EQ(text(a), "ad");
}

TEST(StackOb, IndexRanges) {
  byteArray a;
  fill(a, "abcde");
  a.erase_index_range(2, -1);
  EXPECT_EQ(text(a), "ab");

  fill(a, "abcde");
  a.keep_index_range(1, 3);
  EXPECT_EQ(text(a), "bc");

  fill(a, "abcde");
  byteArray d;
  a.copy_index_range(1, 3, &d);
  EXPECT_EQ(text(d), "bc");
  EXPECT_EQ(text(a), "abcde");
}

TEST(StackOb, SelfInsertionCopiesTheSourceAsItWas) {
  byteArray a;
  fill(a, "abcd");
  a.insert(a.get_data() + 2, a.get_data() + 1, 2);
  EXPECT_EQ(text(a), "acdbcd");

  fill(a, "abcd");
  a.insert(a.get_data(), a.get_data() + 1, 2);
  EXPECT_EQ(text(a), "aabbcd");

  fill(a, "abcd");
  a.append(a);
  EXPECT_EQ(text(a), "abcdabcd");

  // Self-insertion that forces a new block.
  fill(a, std::string(16, 'x'));
  a.insert(a.get_data(), a.get_data() + 8, 16);
  EXPECT_EQ(text(a), std::string(32, 'x'));
}

TEST(StackOb, InsertOutsideChangesNothing) {
  byteArray a;
  fill(a, "abc");
  unsigned char other[4] = {'z', 'z', 'z', 0};
  unsigned char* result = a.insert(other, other + 1, 2);
  EXPECT_EQ(result, other + 1);
  EXPECT_EQ(text(a), "abc");
}

TEST(StackOb, AtSpecialIndices) {
  byteArray a;
  fill(a, "xyz");
  EXPECT_EQ(*a.at(1), 'y');
  EXPECT_EQ(a.at(7), a.get_data());
  unsigned char* last = a.at(-1);
  *last = 'w';
  EXPECT_EQ(text(a), "xyzw");
  unsigned char* front = a.at(-2);
  *front = 'v';
  EXPECT_EQ(text(a), "vxyzw");
}

TEST(StackOb, TakeWrittenAdoptsElementsInPlace) {
  byteArray a;
  a.get_size(10, true);
  std::memcpy(a.get_data(), "hello", 5);
  a.take_written(5);
  EXPECT_EQ(text(a), "hello");
  EXPECT_EQ(a.get_data()[5], 0);
  // More than the block holds is ignored.
  a.clear();
  a.take_written(a.capacity() + 1);
  EXPECT_EQ(a.get_count(), 0);
}

TEST(StackOb, EqualsComparesContent) {
  byteArray a, b;
  fill(a, "abc");
  fill(b, "abc");
  EXPECT_TRUE(a.equals(b));
  fill(b, "abcd");
  EXPECT_FALSE(a.equals(b));
}

TEST(StackOb, ReverseCompactAndSwap) {
  byteArray a, b;
  fill(a, "abcde");
  a.reverse();
  EXPECT_EQ(text(a), "edcba");
  for (int i = 0; i < 40; ++i) a.push_value('q');
  a.erase_index_range(5, -1);
  a.compact();
  EXPECT_EQ(a.capacity(), 16);
  EXPECT_EQ(text(a), "edcba");
  fill(b, "z");
  a.swap(b);
  EXPECT_EQ(text(a), "z");
  EXPECT_EQ(text(b), "edcba");
}

TEST(StackOb, AllocationFailureRaisesAndKeepsContent) {
  byteArray a;
  fill(a, "keep");
  mEx e = raised([&] { a.get_size(0x7FFFFFFF, true); });
  EXPECT_EQ(whereOf(e), whereOf(origin::allocationBytes));
  EXPECT_EQ(e.sysError, 8u);
  EXPECT_EQ(str(e.getMessage()), u"Недостаточно памяти для обработки команды.\r\nfunc=malloc Ошибка выделения памяти.");
  EXPECT_EQ(text(a), "keep");
  mstr s(u"x");
  EXPECT_EQ(whereOf(raised([&] { s.get_size(0x7FFFFFFF, true); })), whereOf(origin::allocationUnits));
}

TEST(StackOb, ObjectElementsAreCopiedAndDestroyed) {
  mstr_list list;
  mstr a(u"alpha"), b(u"beta");
  list.push(&a);
  list.push(&b);
  for (int i = 0; i < 40; ++i) list.push_value(mstr(u"more"));  // forces relocations
  ASSERT_EQ(list.get_count(), 42);
  EXPECT_EQ(list.get_data()[0], mstr(u"alpha"));
  EXPECT_EQ(list.get_data()[1], mstr(u"beta"));
  a.assign(u"changed");
  EXPECT_EQ(list.get_data()[0], mstr(u"alpha"));  // a copy, not a reference
  list.erase_index_range(1, 41);
  ASSERT_EQ(list.get_count(), 2);
  EXPECT_EQ(list.get_data()[1], mstr(u"more"));
  mstr_list other;
  list.copy_index_range(0, 2, &other);
  EXPECT_TRUE(list.equals(other));
  mstr* fresh = list.at(-1);
  EXPECT_EQ(fresh->get_count(), 0);
  EXPECT_EQ(*list.at(-2), mstr(u""));
}

}  // namespace
