#include "driver/pipeline.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "driver/files.hpp"
#include "simd.hpp"

#ifdef __linux__
#include <sched.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
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
// before it. Eight of 64 KiB keep both sides busy and stay in the caches;
// the suite also hands over blocks of 64 bytes, so that even a small module
// fills several. A step's bytes start a new block when there is room for
// fewer than min_room of them.
struct Pipe {
  static constexpr std::size_t kBlocks = 8;
  const bool small = piping == Piping::kSmallBlocks || piping == Piping::kSmallBlocksThenOne;
  const std::size_t block_size = small ? 64 : std::size_t{1} << 16;
  const std::size_t min_room = small ? 16 : 512;
  // The block from which the run goes on in one thread (for the suite).
  const uint32_t one_from = piping == Piping::kSmallBlocksThenOne ? 2 : 0;
  std::unique_ptr<uint8_t[]> memory{new (std::nothrow) uint8_t[kBlocks * block_size]};
  std::array<std::size_t, kBlocks> used{};
  // Blocks handed over, with kLast once the last one is: one value, so that
  // the writer sees the last block and the count it ends in together.
  static constexpr uint32_t kLast = uint32_t{1} << 31;
  alignas(64) std::atomic<uint32_t> published{0};
  alignas(64) std::atomic<uint32_t> freed{0};      // blocks done with
  std::atomic<bool> failed{false};                 // the writing stopped at an error
  std::exception_ptr error;                        // that error, unless a write error
  std::atomic<uint32_t> sleeps{0};                 // waits, on either side, that ended asleep
  std::atomic<uint32_t> asleep{1};                 // sides asleep now (the writer, until it starts)
  std::thread writer;
  alignas(64) uint32_t filling = 0;                // the reader's block
  std::size_t pos = 0;                             // and how much of it is used
  uint32_t warm_sleeps = 0;                        // sleeps until the writer got going

  uint8_t* Block(uint32_t k) { return memory.get() + (k % kBlocks) * block_size; }
};

namespace {

// A step in the queue: its op and n, then its bytes if it has any.
constexpr std::size_t kHeader = 8;

void PutHeader(uint8_t* at, Op op, std::size_t n) {
  const auto count = static_cast<uint32_t>(n);
  at[0] = static_cast<uint8_t>(op);
  std::memcpy(at + 4, &count, sizeof count);
}

// Waits until ready(), which changes only with `a`: spins first, then
// sleeps. The other side usually hands over within tens of microseconds,
// but waking a sleeping thread can take a millisecond or more here (the
// processor it slept on halted and must be woken by the host): so a wait
// spins for a millisecond, or three while the other side is asleep (it is
// being woken then, or the writer has yet to start). Sleeping sooner made
// the two sides take turns falling asleep, each waiting out the other's
// waking, and runs took up to half as long again.
template <typename Ready>
void Await(Pipe& p, const std::atomic<uint32_t>& a, Ready ready) {
  using Clock = std::chrono::steady_clock;
  const auto spin = std::chrono::milliseconds(p.asleep.load(std::memory_order_relaxed) > 0 ? 3 : 1);
  const Clock::time_point until = Clock::now() + spin;
  do {
    for (int i = 0; i < 64; ++i) {
      if (ready()) return;
#ifdef TRELON_SSE2
      _mm_pause();
#endif
    }
  } while (Clock::now() < until);
  p.sleeps.fetch_add(1, std::memory_order_relaxed);
  p.asleep.fetch_add(1, std::memory_order_relaxed);
  for (;;) {
    const uint32_t seen = a.load(std::memory_order_acquire);
    if (ready()) break;
    a.wait(seen, std::memory_order_acquire);
  }
  p.asleep.fetch_sub(1, std::memory_order_relaxed);
}

// Ends the writer thread once it has done every step handed over, and
// leaves the rest of the run to the reader's thread; throws the writer's
// error, if any, which came before anything the reader has met since.
void Stop(RunState& s) {
  Pipe& p = *s.pipe;
  s.pipe = nullptr;
  // The block being filled, the last one.
  p.used[p.filling % Pipe::kBlocks] = p.pos;
  p.published.store((p.filling + 1) | Pipe::kLast, std::memory_order_release);
  p.published.notify_one();
  p.writer.join();
  if (p.error) std::rethrow_exception(p.error);
  if (p.failed.load(std::memory_order_acquire)) throw WriteError{};
}

// Sleeps after which a run goes on in one thread: the other processor is
// busy after all (another program started), and a thread that waits for
// one that is not running spins in vain. On a free machine a run sleeps a
// few times while the writer starts, and rarely after its first blocks.
constexpr uint32_t kWarmBlocks = 16, kMostSleeps = 4;

// The reader hands the block over and takes the next one as soon as the
// writer has done with it; it stops at a write error, which the writing met
// first. Returns false when the run goes on in one thread from here.
bool Publish(RunState& s) {
  Pipe& p = *s.pipe;
  p.used[p.filling % Pipe::kBlocks] = p.pos;
  p.published.store(++p.filling, std::memory_order_release);
  p.published.notify_one();
  p.pos = 0;
  Await(p, p.freed, [&p] { return p.filling - p.freed.load(std::memory_order_acquire) < Pipe::kBlocks; });
  if (p.failed.load(std::memory_order_acquire)) throw WriteError{};
  const uint32_t sleeps = p.sleeps.load(std::memory_order_relaxed);
  if (p.filling == kWarmBlocks) p.warm_sleeps = sleeps;
  if (p.filling != p.one_from && (p.filling <= kWarmBlocks || sleeps - p.warm_sleeps <= kMostSleeps)) return true;
  Stop(s);
  return false;
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
  p.asleep.fetch_sub(1, std::memory_order_relaxed);
  for (uint32_t k = 0;;) {
    Await(p, p.published, [&] { return p.published.load(std::memory_order_acquire) != k; });
    const uint32_t seen = p.published.load(std::memory_order_acquire);
    for (const uint32_t upto = seen & ~Pipe::kLast; k != upto; ++k) {
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
    if ((seen & Pipe::kLast) != 0) return;
  }
}

// Large inputs only: a thread costs a few tens of microseconds to start.
constexpr off_t kPaysFrom = off_t{8} << 20;

// Whether a processor besides this one is likely free: no more tasks are
// runnable (this one counted, and the parent that has just started it and
// may not yet be waiting) than there are processors to run this one.
bool ProcessorFree() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) < 2) return false;
  // The fourth field of /proc/loadavg: runnable tasks / all tasks.
  std::FILE* load = std::fopen("/proc/loadavg", "r");
  if (load == nullptr) return false;
  int running = 0;
  const bool read = std::fscanf(load, "%*f %*f %*f %d/", &running) == 1;
  std::fclose(load);
  return read && running <= CPU_COUNT(&cpus);
}

bool Pays(const RunState& s) {
  if (piping != Piping::kWherePays) return piping != Piping::kNever;
  // Only streamed output is written while the module is read.
  if (s.unfill == 0 && s.binoutput == 0 && s.hexoutput == 0) return false;
  struct stat st {};
  if (s.infptr == nullptr || ::fstat(fileno(s.infptr), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < kPaysFrom)
    return false;
  return ProcessorFree();
}

}  // namespace

void Pipelined(RunState& s, void (*convert)(RunState&)) {
  if (!Pays(s)) return convert(s);
  Pipe p;
  if (!p.memory) return convert(s);
  try {
    p.writer = std::thread([&s, &p] { Write(s, p); });
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
  if (s.pipe != nullptr) Stop(s);
  if (reading) std::rethrow_exception(reading);
}

void Hand(RunState& s, Op op, const void* bytes, uint32_t n) {
  const auto* from = static_cast<const uint8_t*>(bytes);
  // Bytes longer than a block's room go as several steps of the same kind.
  for (;;) {
    std::size_t max = 0;
    uint8_t* const room = s.pipe != nullptr ? HandRoom(s, max) : nullptr;
    if (room == nullptr) return Apply(s, op, from, n);
    if (!HasBytes(op)) return HandTaken(s, op, n);
    const auto k = static_cast<uint32_t>(std::min<std::size_t>(n, max));
    std::memcpy(room, from, k);
    HandTaken(s, op, k);
    if (k == n) return;
    from += k;
    n -= k;
  }
}

uint8_t* HandRoom(RunState& s, std::size_t& max) {
  Pipe& p = *s.pipe;
  if (p.block_size - p.pos < kHeader + p.min_room && !Publish(s)) return nullptr;
  max = p.block_size - p.pos - kHeader;
  return p.Block(p.filling) + p.pos + kHeader;
}

void HandTaken(RunState& s, Op op, std::size_t n) {
  Pipe& p = *s.pipe;
  PutHeader(p.Block(p.filling) + p.pos, op, n);
  p.pos += kHeader + (HasBytes(op) ? n : 0);
}

#endif

}  // namespace trelon
