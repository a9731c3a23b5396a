// tree_ob<V>: the library's ordered map of owned values.
//
// A binary search tree of nodes with a parent link, each pointing to one
// owned value that carries its own key. Equal keys stand side by side, a
// later one after every equal one already there (multi insertion), or the
// later replaces the earlier (insert_unique). The tree does not balance
// itself: it caches its smallest and largest node, so values that arrive in
// ascending or descending order attach in constant time, and loaders call
// balance() once after loading (or balance_in_order(), which keeps equal
// keys in the order they came in as well).
//
// How a value yields its key and how keys compare is fixed per value type by
// tree_key<V>: by default the value is (or derives from) an mstr and keys
// compare with StrCmpW; numbers compare unsigned.
#ifndef TARVIN_TREE_OB_H
#define TARVIN_TREE_OB_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <vector>

#include "mstr.h"

template <class V>
struct tree_key {
  typedef mstr key_type;
  static const mstr& key(const V& value) { return value; }
  static int compare(const mstr& a, const mstr& b) { return a.compare(b.c_str()); }
};

// Unsigned 32-bit numbers, in unsigned order.
template <>
struct tree_key<unsigned int> {
  typedef unsigned int key_type;
  static const unsigned int& key(const unsigned int& value) { return value; }
  static int compare(unsigned int a, unsigned int b) { return a < b ? -1 : (a > b ? 1 : 0); }
};

template <class V>
struct tree_node {
  tree_node* left;    // smaller keys
  tree_node* right;   // equal or greater keys
  tree_node* parent;  // null at the root
  V* value;           // owned
};

template <class V, class K = tree_key<V>>
class tree_ob {
 public:
  typedef tree_node<V> node;
  typedef typename K::key_type key_type;

  // Walks nodes in key order: step() gives the current node (null at the
  // end) and moves to its successor.
  class iterator {
   public:
    explicit iterator(node* start) : current(start) {}
    node* step() {
      node* at = current;
      if (current) current = successor(current);
      return at;
    }

   private:
    node* current;
  };

  tree_ob()
      : root(nullptr),
        min(nullptr),
        max(nullptr),
        count(0),
        blocks(nullptr),
        block_count(0),
        block_room(0),
        value_blocks(nullptr),
        value_block_count(0),
        value_block_room(0) {}
  tree_ob(const tree_ob&) = delete;
  tree_ob& operator=(const tree_ob&) = delete;
  virtual ~tree_ob() { clear(); }

  // The first node whose key is not less than k, or null. The descent goes
  // on below an equal node: after balance_in_order, equal keys may stand on
  // both sides of one another.
  virtual bool lower_bound(const key_type* k, node** out) const {
    node* found = nullptr;
    for (node* x = root; x;) {
      if (compare(x, *k) < 0) {
        x = x->right;
      } else {
        found = x;
        x = x->left;
      }
    }
    if (out) *out = found;
    return found != nullptr;
  }

  // The first node whose key equals k, or null.
  virtual bool find(const key_type* k, node** out) const {
    node* found = nullptr;
    if (lower_bound(k, &found) && compare(found, *k) != 0) found = nullptr;
    if (out) *out = found;
    return found != nullptr;
  }

  // Attaches a prepared node after every node of equal key.
  virtual node* insert_node(node* n) {
    if (!n) return nullptr;
    n->left = n->right = n->parent = nullptr;
    if (!root) {
      root = min = max = n;
      count = 1;
      return n;
    }
    node* from = start_of_descent(n);
    descend(from, n);
    ++count;
    return n;
  }

  // Takes ownership of the value.
  virtual node* insert_value(V* value) {
    if (!value) return nullptr;
    node* n = new_node(value);
    return insert_node(n);
  }

  // Takes ownership of n values and adds them as the multi insertion would
  // one after another: in key order, equal keys after those already present
  // and in the given order. The values are sorted (stably) and merged with
  // the nodes present, which are relinked into one chain in key order, the
  // shape that values arriving in order build; a loader then calls balance.
  // Inserting a large batch one by one could cost a walk of a long chain
  // for every value: keys that are sorted but for a few build such chains.
  // With `sorted` the caller vouches that the values are in that order
  // already, and they are not compared again. With `valueBlock` the values
  // are the elements of one block made by new V[], which the map takes and
  // releases as a whole (a million values are then one allocation).
  void insert_values(V** values, int n, bool sorted = false, V* valueBlock = nullptr) {
    auto less = [](const V* a, const V* b) { return K::compare(K::key(*a), K::key(*b)) < 0; };
    if (n > 0 && !sorted && !std::is_sorted(values, values + n, less)) std::stable_sort(values, values + n, less);
    insert_in_order([values](int i) { return values[i]; }, n, valueBlock);
  }

  // The same for the n values of one block made by new V[n], already in
  // that order: a loader's million values need no list of them.
  void insert_block(V* valueBlock, int n) {
    insert_in_order([valueBlock](int i) { return valueBlock + i; }, n, valueBlock);
  }

  node* insert_copy(const V& value) {
    V* copy = new V(value);
    try {
      return insert_value(copy);
    } catch (...) {
      delete copy;
      throw;
    }
  }

  // Inserts a copy of the value, or, when a value of equal key is present,
  // assigns that value from it. Returns the node that holds the key.
  node* insert_unique(const V& value) {
    V* copy = new V(value);
    node* n;
    try {
      n = new_node(copy);
    } catch (...) {
      delete copy;
      throw;
    }
    n->left = n->right = n->parent = nullptr;
    if (!root) {
      root = min = max = n;
      count = 1;
      return n;
    }
    node* holder = descend_unique(start_of_descent(n), n);
    if (holder != n) {
      *holder->value = *n->value;
      delete n->value;
      std::free(n);
      return holder;
    }
    ++count;
    return n;
  }

  // Releases every node and value.
  void clear() {
    // Post-order through the parent links: no recursion, however deep the
    // (unbalanced) tree is. When the blocks hold every node and every value
    // (nodes are never taken out), there is nothing to walk for: a loaded
    // index of a million entries goes in a few calls.
    const bool allInBlocks = held(blocks, block_count) == count && held(value_blocks, value_block_count) == count;
    node* x = allInBlocks ? nullptr : root;
    while (x) {
      if (x->left) {
        x = x->left;
      } else if (x->right) {
        x = x->right;
      } else {
        node* up = x->parent;
        if (up) (up->left == x ? up->left : up->right) = nullptr;
        if (!in_block(value_blocks, value_block_count, x->value)) delete x->value;
        if (!in_block(blocks, block_count, x)) std::free(x);
        x = up;
      }
    }
    for (int i = 0; i < block_count; ++i) std::free(blocks[i].begin);
    std::free(blocks);
    blocks = nullptr;
    block_count = block_room = 0;
    for (int i = 0; i < value_block_count; ++i) delete[] value_blocks[i].begin;
    std::free(value_blocks);
    value_blocks = nullptr;
    value_block_count = value_block_room = 0;
    root = min = max = nullptr;
    count = 0;
  }

  // Rebuilds the tree into a balanced shape. Distinct keys keep their order;
  // equal keys take the order in which the rebuild places them.
  //
  // The rebuild places the nodes, taken in key order, as inserting them
  // middle first, each by a descent from the root, would. Since that order
  // is sorted, one node sorts after another exactly when its run of equal
  // keys comes later: each node's rank among the runs, found with one
  // comparison per neighbour, stands for every comparison of the descents.
  // A descent sends an equal rank right, after the nodes inserted before
  // it, so the result is the search tree of the keys (rank, time of
  // insertion) whose every subtree has its earliest node at the top. It is
  // built as such, in one pass once each run is in insertion order: a
  // descent per node took time quadratic in the length of a run, and a
  // million equal keys took hours.
  // A caller that knows where the runs of equal keys begin (it sorted the
  // keys) may say so in `newRun`, one flag for each node in key order.
  bool balance(const unsigned char* newRun = nullptr) { return rebuild(newRun, false); }

  // Rebuilds the tree into a balanced shape in which every node keeps its
  // place in the order, equal keys included. Equal keys may then stand on
  // either side of one another; searches and insertions find the first and
  // the last of them all the same.
  bool balance_in_order() { return rebuild(nullptr, true); }

 private:
  // insert_values once the values, value(0) to value(n - 1), are in order.
  template <class ValueAt>
  void insert_in_order(ValueAt value, int n, V* valueBlock) {
    if (n <= 0) {
      delete[] valueBlock;
      return;
    }
    if (valueBlock) {
      try {
        add_value_block(valueBlock, n);
      } catch (...) {
        delete[] valueBlock;
        throw;
      }
    }
    // A large batch takes its nodes in one block, which the map releases as a
    // whole: a million nodes are then one allocation, not a million. Only
    // nodes made one by one, and those present, are listed for the merge.
    const bool inBlock = n >= kBlockNodes;
    node** fresh = inBlock ? nullptr : static_cast<node**>(std::malloc(static_cast<size_t>(n) * sizeof(node*)));
    node** old = count ? static_cast<node**>(std::malloc(static_cast<size_t>(count) * sizeof(node*))) : nullptr;
    node* block = nullptr;
    int made = 0;
    try {
      if ((!inBlock && !fresh) || (count && !old)) throw std::bad_alloc();
      if (inBlock) {
        block = static_cast<node*>(std::malloc(static_cast<size_t>(n) * sizeof(node)));
        if (!block) throw std::bad_alloc();
        platform::preferLargePages(block, static_cast<size_t>(n) * sizeof(node));
        for (; made < n; ++made) block[made].value = value(made);
        add_block(block, n);
      } else {
        for (; made < n; ++made) fresh[made] = new_node(value(made));
      }
    } catch (...) {
      if (!block)
        for (int i = 0; i < made; ++i) std::free(fresh[i]);
      std::free(block);
      if (valueBlock)
        forget_value_block(valueBlock);
      else
        for (int i = 0; i < n; ++i) delete value(i);
      std::free(fresh);
      std::free(old);
      throw;
    }
    int present = 0;
    for (node* x = min; x; x = successor(x)) old[present++] = x;
    // Merge into one chain: present nodes go before new ones of equal key.
    node* previous = nullptr;
    for (int i = 0, j = 0; i < present || j < n;) {
      node* next = j < n ? (inBlock ? block + j : fresh[j]) : nullptr;
      node* x = (!next || (i < present && compare(old[i], next) <= 0)) ? old[i++] : (++j, next);
      x->left = x->right = nullptr;
      x->parent = previous;
      if (previous)
        previous->right = x;
      else
        root = min = x;
      previous = x;
    }
    max = previous;
    count += n;
    std::free(fresh);
    std::free(old);
  }

  // The rebuild of balance: with inOrder, every node counts as a run of its own.
  bool rebuild(const unsigned char* newRun, bool inOrder) {
    if (!root) return true;
    const bool keysDiffer = count > 2 && !inOrder && all_keys_differ(newRun);
    if (count > 2 && (inOrder || keysDiffer)) {
      rebuild_distinct(keysDiffer);
    } else if (count > 2) {
      const size_t slots = static_cast<size_t>(count) + 1;
      if (slots > SIZE_MAX / (6 * sizeof(int))) throw std::bad_alloc();
      node** p = static_cast<node**>(std::malloc(slots * sizeof(node*)));
      int* work = static_cast<int*>(std::malloc(6 * slots * sizeof(int)));
      if (!p || !work) {
        std::free(p);
        std::free(work);
        throw std::bad_alloc();
      }
      platform::preferLargePages(p, slots * sizeof(node*));
      platform::preferLargePages(work, 6 * slots * sizeof(int));
      int* rank = work;                // rank[i]: the run of equal keys of p[i]
      int* left = work + slots;        // by position; 0 for none
      int* right = work + 2 * slots;
      int* when = work + 3 * slots;    // when p[i] is inserted, from 0
      int* order = work + 4 * slots;   // positions by (rank, when)
      int* spine = work + 5 * slots;   // the right spine built so far
      int c = 0;
      for (node* x = min; x; x = successor(x)) p[++c] = x;
      rank[1] = 0;
      for (int i = 2; i <= c; ++i)
        rank[i] = rank[i - 1] + (inOrder ? 1 : newRun ? newRun[i - 1] != 0 : compare(p[i - 1], p[i]) != 0);
      for (int i = 1; i <= c; ++i) left[i] = right[i] = 0, when[i] = -1;
      int top = 1;  // 2^n, n the smallest whole number with 2^(n+1) >= c
      while (top * 2 < c) top *= 2;
      int inserted = 0;
      when[top] = inserted++;  // the root
      for (int step = top / 2; step >= 1; step /= 2)
        for (int j = step; j <= c; j += step)
          if (when[j] < 0) when[j] = inserted++;
      for (int i = 1; i <= c; ++i) order[i - 1] = i;
      auto earlier = [when](int x, int y) { return when[x] < when[y]; };
      for (int a = 0; a < c;) {
        int b = a + 1;
        while (b < c && rank[order[b]] == rank[order[a]]) ++b;
        if (b - a > 1) std::sort(order + a, order + b, earlier);
        a = b;
      }
      // Each node in that order hangs below the last node on the right spine
      // inserted before it, and takes the later ones as its left subtree.
      int height = 0;
      for (int k = 0; k < c; ++k) {
        const int j = order[k];
        int below = 0;
        while (height > 0 && when[spine[height - 1]] > when[j]) below = spine[--height];
        left[j] = below;
        if (height > 0) right[spine[height - 1]] = j;
        spine[height++] = j;
      }
      for (int i = 1; i <= c; ++i) {
        p[i]->left = left[i] ? p[left[i]] : nullptr;
        p[i]->right = right[i] ? p[right[i]] : nullptr;
        if (left[i]) p[left[i]]->parent = p[i];
        if (right[i]) p[right[i]]->parent = p[i];
      }
      root = p[top];
      root->parent = nullptr;
      std::free(p);
      std::free(work);
    }
    min = leftmost(root);
    max = rightmost(root);
    return true;
  }

  // Whether no two neighbours in key order have equal keys (as newRun says,
  // when the caller knows).
  bool all_keys_differ(const unsigned char* newRun) const {
    if (newRun) {
      for (int i = 1; i < count; ++i)
        if (!newRun[i]) return false;
      return true;
    }
    for (node* x = min; node* next = successor(x); x = next)
      if (compare(x, next) == 0) return false;
    return true;
  }

  // The rebuild when every node is a run of its own: ranks are positions,
  // so the nodes are taken in key order as they are, and each hangs below
  // the right spine as in rebuild, with the time of its insertion computed
  // from its position instead of kept.
  void rebuild_distinct(bool keysDiffer) {
    // The spine holds ancestors of the node being placed: no more than the
    // depth of the balanced tree, at most 33 for an int's count.
    std::vector<int> spine;
    spine.reserve(64);
    // When one block holds every node, the map was empty when they came in
    // key order (nodes are never taken out); with keys that all differ no
    // rebuild can have changed that order, so the block lists the nodes in
    // order already and no list of them is made.
    node* const ordered =
        keysDiffer && block_count == 1 && held(blocks, block_count) == count ? blocks[0].begin : nullptr;
    node** p = nullptr;
    if (!ordered) {
      p = static_cast<node**>(std::malloc((static_cast<size_t>(count) + 1) * sizeof(node*)));
      if (!p) throw std::bad_alloc();
      int listed = 0;
      for (node* x = min; x; x = successor(x)) p[++listed] = x;
    }
    auto at = [ordered, p](int j) { return ordered ? ordered + (j - 1) : p[j]; };
    const int c = count;
    int top = 1;
    while (top * 2 < c) top *= 2;
    // The step at which position j is inserted (the root before all):
    // later steps are smaller; in a step, smaller positions go first.
    auto level = [top](int j) { return j == top ? 2 * top : std::min(j & -j, top / 2); };
    auto later = [&level](int a, int b) {
      const int la = level(a), lb = level(b);
      return la != lb ? la < lb : a > b;
    };
    for (int j = 1; j <= c; ++j) {
      node* below = nullptr;
      while (!spine.empty() && later(spine.back(), j)) {
        below = at(spine.back());
        spine.pop_back();
      }
      at(j)->left = below;
      at(j)->right = nullptr;
      if (below) below->parent = at(j);
      if (!spine.empty()) {
        at(spine.back())->right = at(j);
        at(j)->parent = at(spine.back());
      }
      spine.push_back(j);
    }
    root = at(spine.front());
    root->parent = nullptr;
    std::free(p);
  }

 public:

  // Fills the map with copies of other's values, in a balanced shape.
  tree_ob& copy_from(const tree_ob& other) {
    if (&other == this) return *this;
    clear();
    int c = other.count;
    if (c == 0) return *this;
    if (c == 1) {
      insert_copy(*other.root->value);
      return *this;
    }
    V** a = static_cast<V**>(std::malloc((static_cast<size_t>(c) + 1) * sizeof(V*)));
    if (!a) throw std::bad_alloc();
    int made = 0;
    try {
      for (node* x = other.min; x; x = successor(x)) {
        a[made + 1] = new V(*x->value);
        ++made;
      }
    } catch (...) {
      for (int i = 1; i <= made; ++i) delete a[i];
      std::free(a);
      throw;
    }
    int top = 2;
    while (top * 2 < c) top *= 2;
    insert_value(a[top]);
    a[top] = nullptr;
    for (int step = top / 2; step >= 1; step /= 2)
      for (int j = step; j <= c; j += step)
        if (a[j]) {
          insert_value(a[j]);
          a[j] = nullptr;
        }
    std::free(a);
    return *this;
  }

  static node* successor(node* x) {
    if (x->right) return leftmost(x->right);
    while (x->parent) {
      if (x->parent->left == x) return x->parent;
      x = x->parent;
    }
    return nullptr;
  }

  iterator begin() const { return iterator(min); }
  node* first() const { return min; }
  node* last() const { return max; }
  node* top() const { return root; }
  int get_count() const { return count; }
  bool is_empty() const { return count == 0; }

 protected:
  node* root;
  node* min;
  node* max;
  int count;

 private:
  static int compare(const node* x, const key_type& k) { return K::compare(K::key(*x->value), k); }
  static int compare(const node* x, const node* y) {
    return K::compare(K::key(*x->value), K::key(*y->value));
  }
  static node* leftmost(node* x) {
    while (x->left) x = x->left;
    return x;
  }
  static node* rightmost(node* x) {
    while (x->right) x = x->right;
    return x;
  }
  // Blocks of nodes taken by large batches, and blocks of values handed
  // over whole, each list by address.
  static constexpr int kBlockNodes = 1024;
  template <class T>
  struct block_of {
    T* begin;
    T* end;
  };
  block_of<node>* blocks;
  int block_count;
  int block_room;
  block_of<V>* value_blocks;
  int value_block_count;
  int value_block_room;

  template <class T>
  static void add_to(block_of<T>*& list, int& n, int& room, T* begin, int size) {
    if (n == room) {
      int grown_room = room ? 2 * room : 4;
      void* grown = std::realloc(list, static_cast<size_t>(grown_room) * sizeof(block_of<T>));
      if (!grown) throw std::bad_alloc();
      list = static_cast<block_of<T>*>(grown);
      room = grown_room;
    }
    int at = n++;
    for (; at > 0 && std::less<const T*>()(begin, list[at - 1].begin); --at) list[at] = list[at - 1];
    list[at] = block_of<T>{begin, begin + size};
  }
  template <class T>
  static long long held(const block_of<T>* list, int n) {
    long long total = 0;
    for (int i = 0; i < n; ++i) total += list[i].end - list[i].begin;
    return total;
  }
  template <class T>
  static bool in_block(const block_of<T>* list, int n, const T* x) {
    int low = 0, high = n;  // the first block that begins after x
    while (low < high) {
      int mid = (low + high) / 2;
      if (std::less<const T*>()(x, list[mid].begin))
        high = mid;
      else
        low = mid + 1;
    }
    return low > 0 && std::less<const T*>()(x, list[low - 1].end);
  }
  void add_block(node* begin, int n) { add_to(blocks, block_count, block_room, begin, n); }
  void add_value_block(V* begin, int n) { add_to(value_blocks, value_block_count, value_block_room, begin, n); }
  // Releases a value block that a failed insertion had taken.
  void forget_value_block(V* begin) {
    int at = 0;
    while (at < value_block_count && value_blocks[at].begin != begin) ++at;
    if (at == value_block_count) return;
    for (; at + 1 < value_block_count; ++at) value_blocks[at] = value_blocks[at + 1];
    --value_block_count;
    delete[] begin;
  }

  static node* new_node(V* value) {
    node* n = static_cast<node*>(std::malloc(sizeof(node)));
    if (!n) throw std::bad_alloc();
    n->left = n->right = n->parent = nullptr;
    n->value = value;
    return n;
  }

  // Where a descent for n may start: at the cached ends for keys below the
  // smallest or at least the largest; else at the root. Each start leads to
  // the same place as a descent from the root, whatever the tree's shape.
  node* start_of_descent(const node* n) const {
    if (count == 1) return root;
    if (compare(n, min) < 0) return min;
    if (compare(n, max) >= 0) return max;
    return root;
  }

  // Attaches n below x: left where x's key is greater, else right.
  void descend(node* x, node* n) {
    for (;;) {
      node*& next = compare(x, n) > 0 ? x->left : x->right;
      if (!next) {
        next = n;
        break;
      }
      x = next;
    }
    n->parent = x;
    n->left = n->right = nullptr;
    note_ends(n);
  }

  // As descend, but stops at a node of equal key and returns it.
  node* descend_unique(node* x, node* n) {
    for (;;) {
      int c = compare(x, n);
      if (c == 0) return x;
      node*& next = c > 0 ? x->left : x->right;
      if (!next) {
        next = n;
        break;
      }
      x = next;
    }
    n->parent = x;
    note_ends(n);
    return n;
  }

  void note_ends(node* n) {
    if (min && n->parent == min && min->left == n) min = n;
    if (max && n->parent == max && max->right == n) max = n;
  }
};

#endif  // TARVIN_TREE_OB_H
