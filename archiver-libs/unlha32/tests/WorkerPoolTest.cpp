// Items run through the worker pool in batches: announced and finished in item order on the
// caller's thread, each item's work after its announcement, an item's failure reported at its
// own turn, and a cancel dropping or finishing what was announced before it.
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace unlha {
namespace {

struct TItem {
  bool hasWork = true;
  uint64_t weight = 100;
};

// What a run did: the items announced and finished (by number, in the order seen), and the
// results finished with.
struct TRecord {
  std::vector<size_t> announced, finished;
  std::vector<long> results; // -1 for an item without work
  bool announcedOffThread = false, finishedOffThread = false, workBeforeAnnounce = false;
};

// Runs items through a pool of threads; the work of item i gives i * 10. cancelAt: the item
// whose announcement cancels; stopAt: the item whose finish ends the run.
TRecord RunItems(const std::vector<TItem>& items, unsigned threads, EOnCancel onCancel, size_t cancelAt = SIZE_MAX,
                 size_t stopAt = SIZE_MAX, bool* completed = nullptr) {
  TRecord rec;
  const auto caller = std::this_thread::get_id();
  std::atomic<size_t> announcedCount{0};
  TBatchPool<long> pool(threads, 4);
  auto announce = [&](size_t i, TItemWork<long>& work) {
    if (i == items.size()) return EAnnounce::End;
    rec.announcedOffThread |= std::this_thread::get_id() != caller;
    rec.announced.push_back(i);
    if (i == cancelAt) return EAnnounce::Cancel;
    announcedCount = i + 1;
    if (items[i].hasWork) {
      work.weight = items[i].weight;
      work.run = [&, i](const std::atomic<bool>&, unsigned) -> long {
        if (announcedCount.load() <= i) rec.workBeforeAnnounce = true;
        return static_cast<long>(i) * 10;
      };
    }
    return EAnnounce::Item;
  };
  auto finish = [&](size_t i, long* result) {
    rec.finishedOffThread |= std::this_thread::get_id() != caller;
    rec.finished.push_back(i);
    rec.results.push_back(result != nullptr ? *result : -1);
    return i != stopAt;
  };
  const bool done = RunInOrder(pool, onCancel, announce, finish);
  if (completed != nullptr) *completed = done;
  return rec;
}

std::vector<size_t> Upto(size_t n) {
  std::vector<size_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = i;
  return v;
}

// Light items, heavy ones (each a batch of its own), items without work and batches cut by
// weight, in one run: every item announced and finished once, in order, with its own result.
TEST(WorkerPoolBatches, ItemsFinishInOrderWithTheirOwnResults) {
  std::vector<TItem> items(1000);
  for (size_t i = 0; i < items.size(); ++i) {
    if (i % 13 == 0) items[i].hasWork = false;
    if (i % 97 == 5) items[i].weight = kBatchWeight * 2;
    if (i % 31 == 7) items[i].weight = kBatchWeight / 3;
  }
  for (const unsigned threads : {1u, 2u, 4u}) {
    SCOPED_TRACE(threads);
    bool completed = false;
    const TRecord rec = RunItems(items, threads, EOnCancel::Drop, SIZE_MAX, SIZE_MAX, &completed);
    EXPECT_TRUE(completed);
    EXPECT_EQ(rec.announced, Upto(items.size()));
    EXPECT_EQ(rec.finished, Upto(items.size()));
    ASSERT_EQ(rec.results.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i)
      EXPECT_EQ(rec.results[i], items[i].hasWork ? static_cast<long>(i) * 10 : -1) << i;
    EXPECT_FALSE(rec.announcedOffThread);
    EXPECT_FALSE(rec.finishedOffThread);
    EXPECT_FALSE(rec.workBeforeAnnounce) << "an item's work ran before it was announced";
  }
}

// An item that throws in the middle of a batch: the items before it finish, its exception comes
// at its own turn, and nothing after it is finished.
TEST(WorkerPoolBatches, AFailureInABatchComesAtItsTurn) {
  const std::vector<TItem> items(200);
  std::vector<size_t> finished;
  try {
    TBatchPool<long> pool(2, 4);
    RunInOrder(
        pool, EOnCancel::Drop,
        [&](size_t i, TItemWork<long>& work) {
          if (i == items.size()) return EAnnounce::End;
          work.run = [i](const std::atomic<bool>&, unsigned) -> long {
            if (i == 70) throw std::runtime_error("item 70");
            return 1;
          };
          return EAnnounce::Item;
        },
        [&](size_t i, long*) {
          finished.push_back(i);
          return true;
        });
    ADD_FAILURE() << "the failure was not passed on";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "item 70");
  }
  EXPECT_EQ(finished, Upto(70));
}

// A cancel in the middle of a batch: a pack drops what was announced before it, a test finishes
// it; either way nothing after the cancelling item is announced, and finish false stops there.
TEST(WorkerPoolBatches, CancelDropsOrFinishesWhatWasAnnounced) {
  const std::vector<TItem> items(300);
  for (const EOnCancel onCancel : {EOnCancel::FinishAnnounced, EOnCancel::Drop}) {
    bool completed = true;
    const TRecord rec = RunItems(items, 2, onCancel, 150, SIZE_MAX, &completed);
    EXPECT_FALSE(completed);
    EXPECT_EQ(rec.announced, Upto(151));
    // Dropping, items taken back before the cancel came may have been finished.
    if (onCancel == EOnCancel::FinishAnnounced) {
      EXPECT_EQ(rec.finished, Upto(150));
    } else {
      EXPECT_EQ(rec.finished, Upto(rec.finished.size()));
      EXPECT_LT(rec.finished.size(), 150u);
    }
  }
  bool completed = false;
  const TRecord stopped = RunItems(items, 2, EOnCancel::Drop, SIZE_MAX, 40, &completed);
  EXPECT_TRUE(completed);
  EXPECT_EQ(stopped.finished, Upto(41));
}

} // namespace
} // namespace unlha
