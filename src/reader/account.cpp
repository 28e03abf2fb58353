#include "reader/account.hpp"

#include <algorithm>

namespace trelon {

namespace {

// Ranges are kept in sorted chunks of at most this many, so that a range
// loaded out of order moves at most a chunk's worth.
constexpr std::size_t kChunkSize = 512;

bool Joins(const LoadedRange& r, uint32_t section, uint32_t shift, uint64_t more) {
  return r.section == section && r.shift == shift && r.length + more <= UINT32_MAX;
}

}  // namespace

LoadAccount::LoadAccount(bool complete) : complete_(complete) {
  if (complete) SetSection("");  // before any ASL or ASP names one
}

std::pair<std::size_t, std::size_t> LoadAccount::Find(uint32_t address) const {
  const auto ends_past = [address](const LoadedRange& r) { return r.end() > address; };
  const auto chunk = std::partition_point(chunks_.begin(), chunks_.end(),
                                          [&](const Chunk& c) { return !ends_past(c.back()); });
  if (chunk == chunks_.end()) return {chunks_.size(), 0};
  const auto at =
      std::partition_point(chunk->begin(), chunk->end(), [&](const LoadedRange& r) { return !ends_past(r); });
  return {static_cast<std::size_t>(chunk - chunks_.begin()), static_cast<std::size_t>(at - chunk->begin())};
}

std::size_t LoadAccount::Unbroken(uint32_t address, std::size_t n) const {
  const auto within = static_cast<std::size_t>(std::min<uint64_t>(n, (uint64_t{1} << 32) - address));
  if (stopped_at_ != 0 || address >= top_) return within;
  const auto [c, i] = Find(address);
  const LoadedRange& r = chunks_[c][i];
  const uint64_t edge = r.first <= address ? r.end() : r.first;
  return static_cast<std::size_t>(std::min<uint64_t>(within, edge - address));
}

bool LoadAccount::Contains(uint32_t address) const {
  if (address >= top_) return false;
  const auto [c, i] = Find(address);
  return chunks_[c][i].first <= address;
}

void LoadAccount::Add(uint32_t address, std::size_t n, int64_t line, uint32_t shift) {
  if (stopped_at_ != 0 || n == 0) return;
  const uint64_t end = uint64_t{address} + n;
  const auto [c, i] = address >= top_ ? std::pair{chunks_.size(), std::size_t{0}} : Find(address);
  LoadedRange* next = c < chunks_.size() ? &chunks_[c][i] : nullptr;
  if (next != nullptr && next->first <= address)
    return NoteOverlap({address, static_cast<uint32_t>(n), static_cast<int64_t>(next->line), line});
  LoadedRange* prev = i > 0 ? &chunks_[c][i - 1] : c > 0 ? &chunks_[c - 1].back() : nullptr;
  if (prev != nullptr && prev->end() == address && Joins(*prev, section_, shift, n)) {
    prev->length += static_cast<uint32_t>(n);
    if (next != nullptr && next->first == end && Joins(*next, prev->section, prev->shift, prev->length)) {
      prev->length += next->length;
      Erase(c, i);
    }
  } else if (next != nullptr && next->first == end && Joins(*next, section_, shift, n)) {
    next->first = address;
    next->length += static_cast<uint32_t>(n);
    next->line = static_cast<uint64_t>(line);
  } else if (size_ == kRangeLimit && !complete_) {
    stopped_at_ = line;
    return;
  } else {
    Insert(c, i, {address, static_cast<uint32_t>(n), shift, static_cast<uint64_t>(line), section_});
  }
  top_ = std::max(top_, end);
}

void LoadAccount::Insert(std::size_t c, std::size_t at, const LoadedRange& range) {
  ++size_;
  if (c == chunks_.size()) {  // past every range: at the end of the last chunk, or in a new one
    if (chunks_.empty() || chunks_.back().size() == kChunkSize) chunks_.emplace_back().reserve(kChunkSize);
    c = chunks_.size() - 1;
    at = chunks_[c].size();
  } else if (chunks_[c].size() == kChunkSize) {
    Chunk upper(chunks_[c].begin() + kChunkSize / 2, chunks_[c].end());
    chunks_[c].resize(kChunkSize / 2);
    chunks_[c].shrink_to_fit();
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(upper));
    if (at > kChunkSize / 2) {
      ++c;
      at -= kChunkSize / 2;
    }
  }
  // A chunk that a split made grows a little at a time: half-full chunks,
  // where ranges come in no order, would otherwise hold twice the memory
  // that the ranges take.
  Chunk& chunk = chunks_[c];
  if (chunk.size() == chunk.capacity()) chunk.reserve(chunk.size() + 32);
  chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(at), range);
}

void LoadAccount::Erase(std::size_t c, std::size_t at) {
  --size_;
  chunks_[c].erase(chunks_[c].begin() + static_cast<std::ptrdiff_t>(at));
  if (chunks_[c].empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
}

void LoadAccount::NoteOverlap(const Overlap& overlap) {
  if (!overlaps_.empty()) {
    Overlap& last = overlaps_.back();
    if (uint64_t{last.first} + last.length == overlap.first && last.line == overlap.line &&
        last.earlier_line == overlap.earlier_line && last.length + uint64_t{overlap.length} <= UINT32_MAX) {
      last.length += overlap.length;
      return;
    }
  }
  ++overlap_count_;
  if (complete_ || overlaps_.size() < kOverlapLimit) overlaps_.push_back(overlap);
}

void LoadAccount::SetSection(std::string_view text) {
  if (!complete_) return;  // only the map shows sections
  if (sections_.size() == kSectionLimit && !section_index_.contains(std::string(text))) {
    section_ = 0;
    return;
  }
  const auto [at, added] =
      section_index_.try_emplace(std::string(text), static_cast<uint32_t>(sections_.size()));
  if (added) sections_.emplace_back(text);
  section_ = at->second;
}

void LoadAccount::Lose(Loss why, uint64_t first, uint64_t bytes, int64_t line, uint64_t other,
                       uint64_t order) {
  if (bytes == 0) return;
  LossTally& t = losses_[static_cast<int>(why)];
  const uint64_t highest = std::max(t.other, first + bytes - 1);
  if (t.bytes == 0 || line < t.line || (line == t.line && order < t.order))
    t = {t.bytes, first, line, other, order};
  if (why == Loss::kPastWidth) t.other = highest;
  t.bytes += bytes;
}

void LoadAccount::LoseAll(Loss why) {
  ForEach(
      [&](const LoadedRange& r) { Lose(why, r.first, r.length, static_cast<int64_t>(r.line), 0, r.first); });
  chunks_.clear();
  size_ = 0;
  top_ = 0;
}

}  // namespace trelon
