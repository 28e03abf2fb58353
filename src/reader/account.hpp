// What a module loads, kept as it is read: the ranges of addresses it loads
// (by the address it loads them at), the loads that land on data already
// loaded, and the bytes the output does not hold where the module put them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trelon {

// Addresses loaded one after the other, by one section, from the line of the
// LD that loaded the first of them. `shift` is how far the output had moved
// the module's addresses when they were loaded (see Image::shift). 20 bytes,
// so that the ranges kept without --map take 1.25 MiB at most.
struct __attribute__((packed, aligned(4))) LoadedRange {
  uint32_t first;
  uint32_t length;
  uint32_t shift;
  uint64_t line : 40;     // lines counted on past 2^32 (no module has 2^40)
  uint64_t section : 24;  // an index into LoadAccount::sections()
  uint64_t end() const { return uint64_t{first} + length; }
};
static_assert(sizeof(LoadedRange) == 20);

// A load over data already loaded: its addresses, the line of the earlier
// load and its own.
struct Overlap {
  uint32_t first;
  uint32_t length;
  int64_t earlier_line, line;
};

// Why loaded bytes are not in the output where the module put them.
enum class Loss {
  kPastWindow,    // past the end of the image
  kBeforeLowest,  // loaded before any ASL placed the image
  kBeforeStream,  // in the image when an ASS switched to streaming
  kPastWidth,     // past the addresses that the record format holds
  kMoved,         // an ASL re-based the output after they were loaded
};
inline constexpr int kLosses = 5;

// Bytes lost one way: how many; the first of them (loaded first, and
// before the others loaded in its line), its address and its line; and where
// the output puts that byte instead (kMoved), or the highest address
// (kPastWidth).
struct LossTally {
  uint64_t bytes = 0;
  uint64_t first = 0;
  int64_t line = 0;
  uint64_t other = 0;
  uint64_t order = 0;  // of the first in its line
};

// Where the output holds the bytes it writes as they stand in memory: a
// loaded byte stands, once moved by the difference of `shift` and its
// range's, at `data` + (its address - `first`) in the file, if that offset
// is below `length`.
struct FilePlace {
  uint64_t data = 0;
  uint32_t first = 0;
  uint32_t shift = 0;
  uint64_t length = 0;
};

class LoadAccount {
 public:
  // Without `complete`, at most kRangeLimit ranges are kept (the checks stop
  // past them), and only the first kOverlapLimit overlaps.
  static constexpr std::size_t kRangeLimit = 65536, kOverlapLimit = 20;
  static constexpr uint32_t kSectionLimit = 1u << 24;  // the names the map keeps; more are shown as "-"
  explicit LoadAccount(bool complete);

  // How many of the `n` bytes from `address` on lie all inside one range
  // loaded already, or all outside every range (none past 0xFFFFFFFF).
  std::size_t Unbroken(uint32_t address, std::size_t n) const;
  // `n` bytes loaded at `address` in `line` by the current section; `n` no
  // more than Unbroken allows.
  void Add(uint32_t address, std::size_t n, int64_t line, uint32_t shift);
  // The section of the following loads, as an ASL or ASP writes it.
  void SetSection(std::string_view text);

  // `bytes` bytes from `first` on lost, loaded in `line`; `order` places
  // them among the others lost in that line.
  void Lose(Loss why, uint64_t first, uint64_t bytes, int64_t line, uint64_t other = 0, uint64_t order = 0);
  // Every range loaded so far lost, and no longer kept: for what the image
  // held at a switch to streaming.
  void LoseAll(Loss why);

  // Calls f(range) for each range, in address order.
  template <typename F>
  void ForEach(F f) const {
    for (const auto& chunk : chunks_)
      for (const LoadedRange& r : chunk) f(r);
  }
  // The same, and gap(first, length) for each gap between two ranges,
  // before the range that ends it.
  template <typename F, typename G>
  void ForEach(F f, G gap) const {
    uint64_t end = 0;
    bool any = false;
    ForEach([&](const LoadedRange& r) {
      if (any && r.first > end) gap(end, r.first - end);
      f(r);
      end = r.end();
      any = true;
    });
  }
  // Calls f(why, tally) for each way that bytes were lost.
  template <typename F>
  void ForEachLoss(F f) const {
    for (int k = 0; k < kLosses; ++k)
      if (losses_[k].bytes > 0) f(static_cast<Loss>(k), losses_[k]);
  }
  // Whether `address` lies in a loaded range.
  bool Contains(uint32_t address) const;

  const std::vector<Overlap>& overlaps() const { return overlaps_; }
  uint64_t overlap_count() const { return overlap_count_; }
  const std::vector<std::string>& sections() const { return sections_; }
  // The line from which the ranges were no longer kept; 0 while they are.
  int64_t stopped_at() const { return stopped_at_; }
  std::size_t size() const { return size_; }

  int64_t start_line = 0;  // of the ASG, if one was read
  uint32_t start = 0;
  int64_t switch_line = 0;        // of the ASS that switched to streaming
  int64_t rebase_line = 0;        // of the last ASL that moved loaded data
  bool window_wrapped = false;    // an ASS's section ended past 0xFFFFFFFF
  uint64_t image_end = 0;         // the address past the image's last byte
  uint64_t address_limit = 0;     // the first address the record format cannot hold
  std::optional<FilePlace> file;  // for a format that holds the memory as it stands

 private:
  using Chunk = std::vector<LoadedRange>;
  // The chunk and the position in it of the first range that ends past
  // `address`; chunks_.size() if there is none.
  std::pair<std::size_t, std::size_t> Find(uint32_t address) const;
  void Insert(std::size_t chunk, std::size_t at, const LoadedRange& range);
  void Erase(std::size_t chunk, std::size_t at);
  void NoteOverlap(const Overlap& overlap);

  const bool complete_;
  std::vector<Chunk> chunks_;  // sorted, the ranges apart from each other
  std::size_t size_ = 0;
  uint64_t top_ = 0;  // the end of the highest range
  std::vector<Overlap> overlaps_;
  uint64_t overlap_count_ = 0;
  LossTally losses_[kLosses];
  std::vector<std::string> sections_;
  std::unordered_map<std::string, uint32_t> section_index_;
  uint32_t section_ = 0;
  int64_t stopped_at_ = 0;
};

}  // namespace trelon
