#include "driver/pipeline.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <new>

#include "driver/files.hpp"
#include "simd.hpp"

#ifndef _WIN32
#include <sched.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>
#define TRELON_THREADS 1
#endif

namespace trelon {

namespace {

Piping piping = Piping::kWherePays;

}  // namespace

void SetPiping(Piping way) { piping = way; }

#ifndef TRELON_THREADS

struct Pipe {};

void Pipelined(RunState& s, void (*convert)(RunState&)) { convert(s); }
void Hand(RunState& s, Op op, const void* bytes, uint32_t n) { Apply(s, op, static_cast<const uint8_t*>(bytes), n); }
uint8_t* HandRoom(RunState&, std::size_t& max) {
  max = 0;
  return nullptr;
}
void HandTaken(RunState&, Op, std::size_t) {}

#else

// Blocks of steps: the reader fills one while the writer works through those
// before it. Eight of 64 KiB keep both sides busy and stay in the caches.
struct Pipe {
  static constexpr std::size_t kBlocks = 8, kBlockSize = std::size_t{1} << 16, kMinRoom = 512;
  std::unique_ptr<uint8_t[]> memory{new (std::nothrow) uint8_t[kBlocks * kBlockSize]};
  std::array<std::size_t, kBlocks> used{};
  alignas(64) std::atomic<uint32_t> published{0};  // blocks handed over
  alignas(64) std::atomic<uint32_t> freed{0};      // blocks done with
  std::atomic<bool> done{false};                   // set before the last block is handed over
  std::atomic<bool> failed{false};                 // the writing stopped at an error
  std::exception_ptr error;                        // that error, unless a write error
  alignas(64) uint32_t filling = 0;                // the reader's block
  std::size_t pos = 0;                             // and how much of it is used

  uint8_t* Block(uint32_t k) { return memory.get() + (k % kBlocks) * kBlockSize; }
};

namespace {

// A step in the queue: its op and n, then its bytes if it has any.
constexpr std::size_t kHeader = 8;

void PutHeader(uint8_t* at, Op op, std::size_t n) {
  const auto count = static_cast<uint32_t>(n);
  at[0] = static_cast<uint8_t>(op);
  std::memcpy(at + 4, &count, sizeof count);
}

// Waits until ready(), which changes only with `a`: spins a little first,
// as the other side usually hands over within microseconds and waking a
// sleeping thread costs more than that here, then sleeps.
template <typename Ready>
void Await(const std::atomic<uint32_t>& a, Ready ready) {
  for (int i = 0; i < 4096; ++i) {
    if (ready()) return;
#ifdef TRELON_SSE2
    _mm_pause();
#endif
  }
  for (;;) {
    const uint32_t seen = a.load(std::memory_order_acquire);
    if (ready()) return;
    a.wait(seen, std::memory_order_acquire);
  }
}

// The reader hands the block over and takes the next one as soon as the
// writer has done with it; it stops at a write error, which the writing
// met first.
void Publish(Pipe& p) {
  p.used[p.filling % Pipe::kBlocks] = p.pos;
  p.published.store(++p.filling, std::memory_order_release);
  p.published.notify_one();
  p.pos = 0;
  Await(p.freed, [&p] { return p.filling - p.freed.load(std::memory_order_acquire) < Pipe::kBlocks; });
  if (p.failed.load(std::memory_order_acquire)) throw WriteError{};
}

void ApplyBlock(RunState& s, const uint8_t* at, std::size_t used) {
  for (const uint8_t* const end = at + used; at < end;) {
    const auto op = static_cast<Op>(at[0]);
    uint32_t n;
    std::memcpy(&n, at + 4, sizeof n);
    at += kHeader;
    Apply(s, op, at, n);
    if (HasBytes(op)) at += n;
  }
}

// The writer thread: every step handed over, in order; after an error only
// the blocks are given back, so that the reader is never kept waiting.
void Write(RunState& s, Pipe& p) {
  for (uint32_t k = 0;;) {
    Await(p.published, [&] { return p.published.load(std::memory_order_acquire) != k; });
    for (const uint32_t upto = p.published.load(std::memory_order_acquire); k != upto; ++k) {
      if (!p.failed.load(std::memory_order_relaxed)) {
        try {
          ApplyBlock(s, p.Block(k), p.used[k % Pipe::kBlocks]);
        } catch (const WriteError&) {
          p.failed.store(true, std::memory_order_release);
        } catch (...) {
          p.error = std::current_exception();
          p.failed.store(true, std::memory_order_release);
        }
      }
      p.freed.store(k + 1, std::memory_order_release);
      p.freed.notify_one();
    }
    if (p.done.load(std::memory_order_acquire) && k == p.published.load(std::memory_order_acquire)) return;
  }
}

// Large inputs only: a thread costs a few tens of microseconds to start.
constexpr off_t kPaysFrom = off_t{8} << 20;

bool Pays(const RunState& s) {
  if (piping != Piping::kWherePays) return piping == Piping::kAlways;
  // Only streamed output is written while the module is read.
  if (s.unfill == 0 && s.binoutput == 0 && s.hexoutput == 0) return false;
  struct stat st {};
  if (s.infptr == nullptr || ::fstat(fileno(s.infptr), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < kPaysFrom)
    return false;
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  return ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) >= 2;
}

}  // namespace

void Pipelined(RunState& s, void (*convert)(RunState&)) {
  if (!Pays(s)) return convert(s);
  Pipe p;
  if (!p.memory) return convert(s);
  std::thread writer;
  try {
    writer = std::thread([&s, &p] { Write(s, p); });
  } catch (const std::exception&) {
    return convert(s);  // no thread to be had: the steps are done at once
  }
  s.pipe = &p;
  std::exception_ptr reading;
  try {
    convert(s);
  } catch (...) {
    reading = std::current_exception();
  }
  s.pipe = nullptr;
  // The last block, which tells the writer to stop after it.
  p.used[p.filling % Pipe::kBlocks] = p.pos;
  p.done.store(true, std::memory_order_release);
  p.published.store(p.filling + 1, std::memory_order_release);
  p.published.notify_one();
  writer.join();
  if (p.error) std::rethrow_exception(p.error);
  if (p.failed.load(std::memory_order_acquire)) throw WriteError{};
  if (reading) std::rethrow_exception(reading);
}

void Hand(RunState& s, Op op, const void* bytes, uint32_t n) {
  if (s.pipe == nullptr) return Apply(s, op, static_cast<const uint8_t*>(bytes), n);
  Pipe& p = *s.pipe;
  const auto* from = static_cast<const uint8_t*>(bytes);
  // Bytes longer than a block's room go as several steps of the same kind.
  do {
    if (Pipe::kBlockSize - p.pos < kHeader + Pipe::kMinRoom) Publish(p);
    const std::size_t k = HasBytes(op) ? std::min<std::size_t>(n, Pipe::kBlockSize - p.pos - kHeader) : 0;
    uint8_t* const at = p.Block(p.filling) + p.pos;
    PutHeader(at, op, HasBytes(op) ? k : n);
    if (k > 0) std::memcpy(at + kHeader, from, k);
    p.pos += kHeader + k;
    from += k;
    n -= static_cast<uint32_t>(HasBytes(op) ? k : n);
  } while (n > 0);
}

uint8_t* HandRoom(RunState& s, std::size_t& max) {
  Pipe& p = *s.pipe;
  if (Pipe::kBlockSize - p.pos < kHeader + Pipe::kMinRoom) Publish(p);
  max = Pipe::kBlockSize - p.pos - kHeader;
  return p.Block(p.filling) + p.pos + kHeader;
}

void HandTaken(RunState& s, Op op, std::size_t n) {
  Pipe& p = *s.pipe;
  PutHeader(p.Block(p.filling) + p.pos, op, n);
  p.pos += kHeader + n;
}

#endif

}  // namespace trelon
