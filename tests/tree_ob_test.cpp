#include "tree_ob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "text.h"

namespace {

typedef tree_ob<unsigned int> numbers;

// A value whose key is a number and that remembers which one it is among
// equal keys.
struct tagged {
  unsigned key;
  int tag;
};

}  // namespace

template <>
struct tree_key<tagged> {
  typedef unsigned key_type;
  static const unsigned& key(const tagged& v) { return v.key; }
  static int compare(unsigned a, unsigned b) { return a < b ? -1 : (a > b ? 1 : 0); }
};

namespace {

typedef tree_ob<tagged> tags;

template <class Tree>
std::vector<int> tagsInOrder(const Tree& t) {
  std::vector<int> out;
  for (auto it = t.begin(); auto* n = it.step();) out.push_back(n->value->tag);
  return out;
}

std::vector<unsigned> inOrder(const numbers& t) {
  std::vector<unsigned> out;
  for (auto it = t.begin(); auto* n = it.step();) out.push_back(*n->value);
  return out;
}

// Checks the search-tree invariants: keys in order (left ones not greater,
// right ones not less: a balanced run of equal keys stands on both sides),
// parent links, the cached ends and the count.
void checkShape(const numbers& t) {
  int count = 0;
  std::vector<const numbers::node*> stack;
  if (t.top()) stack.push_back(t.top());
  while (!stack.empty()) {
    const numbers::node* n = stack.back();
    stack.pop_back();
    ++count;
    if (n->left) {
      ASSERT_EQ(n->left->parent, n);
      ASSERT_LE(*n->left->value, *n->value);
      stack.push_back(n->left);
    }
    if (n->right) {
      ASSERT_EQ(n->right->parent, n);
      ASSERT_GE(*n->right->value, *n->value);
      stack.push_back(n->right);
    }
  }
  ASSERT_EQ(count, t.get_count());
  if (t.top()) {
    const numbers::node* x = t.top();
    while (x->left) x = x->left;
    EXPECT_EQ(x, t.first());
    x = t.top();
    while (x->right) x = x->right;
    EXPECT_EQ(x, t.last());
  }
}

TEST(TreeOb, EmptyMap) {
  numbers t;
  unsigned k = 1;
  numbers::node* out = reinterpret_cast<numbers::node*>(1);
  EXPECT_FALSE(t.lower_bound(&k, &out));
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(t.find(&k, &out));
  t.balance();  // nothing to rebuild: still empty, and still a map
  EXPECT_EQ(t.first(), nullptr);
  EXPECT_EQ(t.begin().step(), nullptr);
  t.insert_copy(k);
  ASSERT_TRUE(t.find(&k, &out));
  EXPECT_EQ(t.first(), out);
  EXPECT_EQ(t.last(), out);
  t.clear();
  EXPECT_EQ(t.get_count(), 0);
  EXPECT_EQ(t.begin().step(), nullptr);
}

TEST(TreeOb, AscendingInsertionBuildsAChainThatBalanceRepairs) {
  numbers t;
  for (unsigned i = 1; i <= 10; ++i) t.insert_copy(i);
  EXPECT_EQ(depth(t.top()), 10);
  EXPECT_EQ(inOrder(t), (std::vector<unsigned>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  t.balance();
  EXPECT_EQ(*t.top()->value, 8u);
  EXPECT_EQ(depth(t.top()), 4);
  EXPECT_EQ(inOrder(t), (std::vector<unsigned>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  checkShape(t);
}

TEST(TreeOb, BalanceOfAHundred) {
  numbers t;
  for (unsigned i = 100; i >= 1; --i) t.insert_copy(i);  // descending: a left chain
  t.balance();
  EXPECT_EQ(*t.top()->value, 64u);
  EXPECT_EQ(depth(t.top()), 7);
  checkShape(t);
}

TEST(TreeOb, EqualKeysKeepInsertionOrderUntilBalance) {
  tags t;
  t.insert_copy(tagged{5, 1});
  t.insert_copy(tagged{3, 2});
  t.insert_copy(tagged{5, 3});
  EXPECT_EQ(tagsInOrder(t), (std::vector<int>{2, 1, 3}));
  unsigned five = 5;
  tags::node* found = nullptr;
  ASSERT_TRUE(t.find(&five, &found));
  EXPECT_EQ(found->value->tag, 1);
  EXPECT_EQ(tags::successor(t.last()), nullptr);
}

TEST(TreeOb, BalanceOrderOfEqualKeys) {
  tags t;
  t.insert_copy(tagged{1, 0});  // a
  t.insert_copy(tagged{2, 1});  // b1
  t.insert_copy(tagged{2, 2});  // b2
  t.insert_copy(tagged{2, 3});  // b3
  t.insert_copy(tagged{3, 4});  // c
  t.balance();
  EXPECT_EQ(tagsInOrder(t), (std::vector<int>{0, 3, 1, 2, 4}));

  tags x;
  for (int i = 1; i <= 3; ++i) x.insert_copy(tagged{7, i});
  x.balance();
  EXPECT_EQ(tagsInOrder(x), (std::vector<int>{2, 1, 3}));

  tags two;
  two.insert_copy(tagged{7, 1});
  two.insert_copy(tagged{7, 2});
  tags::node* root = two.top();
  two.balance();
  EXPECT_EQ(two.top(), root);
  EXPECT_EQ(tagsInOrder(two), (std::vector<int>{1, 2}));

  // A long run of equal keys (an index of zeroed records) in the same order,
  // and a key added afterwards goes after all of them.
  tags run;
  for (int i = 1; i <= 100000; ++i) run.insert_copy(tagged{7, i});
  run.balance();
  std::vector<int> order = tagsInOrder(run);
  EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 6), (std::vector<int>{65536, 32768, 98304, 16384, 49152, 81920}));
  run.insert_copy(tagged{7, 0});
  EXPECT_EQ(run.last()->value->tag, 0);
  unsigned seven = 7;
  tags::node* first = nullptr;
  ASSERT_TRUE(run.find(&seven, &first));
  EXPECT_EQ(first, run.first());
}

// The tags in preorder of the shape that inserting the nodes of a balance,
// in key order middle first, each by a descent that sends an equal key
// right, gives: the reference the balance must match.
std::vector<int> insertedByDescent(const tags& t) {
  std::vector<const tagged*> v;
  for (auto it = t.begin(); auto* n = it.step();) v.push_back(n->value);
  const int c = static_cast<int>(v.size());
  std::vector<int> left(c + 1), right(c + 1), placed(c + 1);
  int top = 1;
  while (top * 2 < c) top *= 2;
  placed[top] = 1;
  for (int step = top / 2; step >= 1; step /= 2)
    for (int j = step; j <= c; j += step) {
      if (placed[j]) continue;
      placed[j] = 1;
      for (int x = top;;) {
        int& next = v[x - 1]->key > v[j - 1]->key ? left[x] : right[x];
        if (!next) {
          next = j;
          break;
        }
        x = next;
      }
    }
  std::vector<int> preorder, stack{top};
  while (!stack.empty()) {
    const int x = stack.back();
    stack.pop_back();
    preorder.push_back(v[x - 1]->tag);
    if (right[x]) stack.push_back(right[x]);
    if (left[x]) stack.push_back(left[x]);
  }
  return preorder;
}

std::vector<int> preorder(const tags& t) {
  std::vector<int> out;
  std::vector<const tags::node*> stack{t.top()};
  while (!stack.empty()) {
    const tags::node* n = stack.back();
    stack.pop_back();
    out.push_back(n->value->tag);
    if (n->right) stack.push_back(n->right);
    if (n->left) stack.push_back(n->left);
  }
  return out;
}

TEST(TreeOb, BalanceOfRunsOfEqualKeysIsThatOfInsertionByDescent) {
  std::mt19937 random(5);
  for (int n : {3, 7, 64, 1000, 3001}) {
    for (unsigned keys : {1u, 3u, 40u, 1u << 30}) {  // (the last: all keys differ)
      tags t;
      for (int i = 0; i < n; ++i) t.insert_copy(tagged{static_cast<unsigned>(random() % keys), i});
      const std::vector<int> expected = insertedByDescent(t);
      tags loaded;  // the same values loaded as one block, in key order
      if (n >= 1000) {
        auto* block = new tagged[static_cast<std::size_t>(n)];
        int i = 0;
        for (tags::node* x = t.first(); x; x = tags::successor(x)) block[i++] = *x->value;
        loaded.insert_block(block, n);
        loaded.balance();
        EXPECT_EQ(preorder(loaded), expected) << n << " values, " << keys << " keys, loaded as a block";
      }
      t.balance();
      EXPECT_EQ(preorder(t), expected) << n << " values, " << keys << " keys";
    }
  }
  // A million equal keys: a right chain in the order of their insertion.
  const int million = 1000000;
  tags many;
  auto* block = new tagged[million];
  std::vector<tagged*> values;
  for (int i = 0; i < million; ++i) values.push_back(&(block[i] = tagged{7, i}));
  many.insert_values(values.data(), million, true, block);
  many.balance();
  const tags::node* x = many.top();
  for (int steps = 1; x->right; ++steps, x = x->right) ASSERT_EQ(x->left, nullptr) << steps;
  EXPECT_EQ(x, many.last());
  EXPECT_EQ(many.top()->value->tag, (1 << 19) - 1);  // the middle inserted first
  // balance_in_order keeps every node in its place: equal keys then stand on
  // both sides of one another, and searches and insertions still find the
  // first and the last of them.
  tags kept, ends;
  for (int i = 0; i < 5; ++i) kept.insert_copy(tagged{i == 0 ? 1u : i == 4 ? 3u : 2u, i});
  for (int i = 1; i <= 3; ++i) ends.insert_copy(tagged{7, i});
  kept.balance_in_order();
  ends.balance_in_order();
  EXPECT_EQ(depth(kept.top()), 3);
  EXPECT_EQ(tagsInOrder(kept), (std::vector<int>{0, 1, 2, 3, 4}));
  unsigned keyTwo = 2, keySeven = 7;
  tags::node* found = nullptr;
  ASSERT_TRUE(kept.lower_bound(&keyTwo, &found));
  EXPECT_EQ(found->value->tag, 1);
  ASSERT_TRUE(ends.find(&keySeven, &found));
  EXPECT_EQ(found->value->tag, 1);
  kept.insert_copy(tagged{2, 5});
  ends.insert_copy(tagged{7, 4});
  EXPECT_EQ(tagsInOrder(kept), (std::vector<int>{0, 1, 2, 3, 5, 4}));
  EXPECT_EQ(tagsInOrder(ends), (std::vector<int>{1, 2, 3, 4}));
}

TEST(TreeOb, LowerBound) {
  numbers t;
  t.insert_copy(3);
  t.insert_copy(5);
  t.insert_copy(5);
  numbers::node* n = nullptr;
  unsigned k = 4;
  ASSERT_TRUE(t.lower_bound(&k, &n));
  EXPECT_EQ(n, numbers::successor(t.first()));  // the first 5
  k = 6;
  EXPECT_FALSE(t.lower_bound(&k, &n));
  k = 0;
  ASSERT_TRUE(t.lower_bound(&k, &n));
  EXPECT_EQ(*n->value, 3u);
  k = 5;
  ASSERT_TRUE(t.find(&k, &n));
  EXPECT_EQ(n, numbers::successor(t.first()));
}

TEST(TreeOb, UnsignedOrder) {
  numbers t;
  t.insert_copy(0xFFFFFFFFu);
  t.insert_copy(0);
  t.insert_copy(7);
  t.insert_copy(200);
  EXPECT_EQ(inOrder(t), (std::vector<unsigned>{0, 7, 200, 0xFFFFFFFFu}));
}

TEST(TreeOb, UniqueInsertionReplaces) {
  tree_ob<mstr> t;
  t.insert_unique(mstr(u"b"));
  t.insert_unique(mstr(u"a"));
  auto* first = t.insert_unique(mstr(u"c"));
  auto* again = t.insert_unique(mstr(u"c"));
  EXPECT_EQ(again, first);
  EXPECT_EQ(t.get_count(), 3);
  t.insert_unique(mstr(u"a"));
  EXPECT_EQ(t.get_count(), 3);
  std::vector<std::u16string> order;
  for (auto it = t.begin(); auto* n = it.step();) order.push_back(str(*n->value));
  EXPECT_EQ(order, (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

TEST(TreeOb, RandomInsertionKeepsInvariants) {
  std::mt19937 rng(7);
  numbers t;
  std::vector<unsigned> all;
  for (int i = 0; i < 3000; ++i) {
    unsigned v = rng() % 500;
    all.push_back(v);
    t.insert_copy(v);
    if (i % 1000 == 999) t.balance();
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(inOrder(t), all);
  checkShape(t);
  t.balance();
  checkShape(t);
}

TEST(TreeOb, CopyFromIsBalancedAndOwnsItsValues) {
  numbers a;
  for (unsigned i = 1; i <= 20; ++i) a.insert_copy(i);
  numbers b;
  b.copy_from(a);
  EXPECT_EQ(inOrder(b), inOrder(a));
  EXPECT_EQ(depth(b.top()), 5);
  EXPECT_NE(b.first()->value, a.first()->value);
  a.clear();
  EXPECT_EQ(b.get_count(), 20);
  checkShape(b);
}

TEST(TreeOb, ClearOfALongChain) {
  numbers t;
  for (unsigned i = 0; i < 300000; ++i) t.insert_copy(i);
  t.clear();
  EXPECT_EQ(t.get_count(), 0);
  EXPECT_EQ(t.first(), nullptr);
}

}  // namespace

namespace {

TEST(TreeOb, BatchInsertionKeepsTheOrderOfOneByOneInsertion) {
  std::mt19937 rng(11);
  for (int round = 0; round < 50; ++round) {
    tags oneByOne, batched;
    int tag = 0;
    for (int part = 0; part < 3; ++part) {  // batches into a map that already holds values
      std::vector<tagged*> batch;
      // Now and then a batch large enough to take its nodes in one block,
      // into an empty map and into one that holds values.
      int n = round % 5 == 4 && part != 1 ? 1500 : static_cast<int>(rng() % 40);
      for (int i = 0; i < n; ++i) {
        tagged v{static_cast<unsigned>(rng() % 12), tag++};
        oneByOne.insert_copy(v);
        batch.push_back(new tagged(v));
      }
      batched.insert_values(batch.data(), n);
    }
    ASSERT_EQ(tagsInOrder(batched), tagsInOrder(oneByOne)) << "round " << round;
    ASSERT_EQ(batched.get_count(), oneByOne.get_count());
    batched.balance();
    oneByOne.balance();
    ASSERT_EQ(tagsInOrder(batched), tagsInOrder(oneByOne));
  }
}

}  // namespace
