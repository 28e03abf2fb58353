// The account of loaded ranges, loaded in no order: many more ranges than
// one chunk holds, so that chunks are split and ranges join across them.
#include "reader/account.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

TEST(Account, KeepsRangesApartAndSortedInAnyOrder) {
  // Ranges of 3 bytes, 8 apart: [8k, 8k+3), each loaded in two pieces
  // ([8k, 8k+1) and [8k+1, 8k+3)) in a shuffled order, and then 5000 of the
  // gaps [8k+3, 8k+8) filled, which joins two ranges into one.
  constexpr uint32_t kRanges = 20000;
  std::vector<uint32_t> pieces(2 * kRanges);
  std::iota(pieces.begin(), pieces.end(), 0);
  std::shuffle(pieces.begin(), pieces.end(), std::mt19937(7));
  trelon::LoadAccount account(true);
  for (const uint32_t p : pieces) {
    const uint32_t at = 8 * (p / 2) + p % 2;
    const std::size_t n = p % 2 == 0 ? 1 : 2;
    ASSERT_EQ(account.Unbroken(at, n), n);
    account.Add(at, n, p, 0);
  }
  for (uint32_t k = 0; k < 10000; k += 2) account.Add(8 * k + 3, 5, 1, 0);
  EXPECT_EQ(account.size(), kRanges - 5000);
  EXPECT_TRUE(account.overlaps().empty());

  uint64_t end = 0;
  std::size_t seen = 0;
  account.ForEach([&](const trelon::LoadedRange& r) {
    if (seen > 0) {
      EXPECT_GT(uint64_t{r.first}, end) << "ranges out of order or touching";
    }
    const uint32_t k = r.first / 8;
    EXPECT_EQ(r.first, 8 * k);
    EXPECT_EQ(r.length, k < 10000 && k % 2 == 0 ? 11u : 3u);
    EXPECT_EQ(r.line, 2 * k);  // of the piece at its first address
    end = r.end();
    ++seen;
  });
  EXPECT_EQ(seen, account.size());

  // Inside a range, up to its end; in a gap, up to the next range.
  EXPECT_EQ(account.Unbroken(8 * 10001 + 1, 100), 2u);
  EXPECT_EQ(account.Unbroken(8 * 10001 + 3, 100), 5u);
  EXPECT_TRUE(account.Contains(8 * 2 + 7));
  EXPECT_FALSE(account.Contains(8 * 10003 + 4));

  // A load over two ranges and the gap between them, cut as Unbroken cuts it.
  uint32_t at = 8 * 15000 + 2;
  for (std::size_t left = 9; left > 0;) {
    const std::size_t n = account.Unbroken(at, left);
    account.Add(at, n, 99, 0);
    at += static_cast<uint32_t>(n);
    left -= n;
  }
  ASSERT_EQ(account.overlaps().size(), 2u);
  EXPECT_EQ(account.overlaps()[0].length, 1u);
  EXPECT_EQ(account.overlaps()[1].first, 8 * 15001);
  EXPECT_EQ(account.overlaps()[1].earlier_line, 30000);  // joined to the range before
  EXPECT_EQ(account.size(), kRanges - 5000 - 1);         // the gap filled joins the two
}

TEST(Account, StopsAtItsLimitWithoutTheMap) {
  trelon::LoadAccount account(false);
  for (uint32_t k = 0; k <= trelon::LoadAccount::kRangeLimit; ++k) account.Add(2 * k, 1, k + 1, 0);
  EXPECT_EQ(account.size(), trelon::LoadAccount::kRangeLimit);
  EXPECT_EQ(account.stopped_at(), trelon::LoadAccount::kRangeLimit + 1);
  account.Add(0, 1, 1, 0);  // no longer checked
  EXPECT_TRUE(account.overlaps().empty());
}

}  // namespace
