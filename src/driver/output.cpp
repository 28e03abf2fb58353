#include "driver/output.hpp"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace trelon {

// Writes one full buffer at a time on its own thread, so that the kernel's
// copy of one buffer overlaps the formatting of the next. The run keeps
// formatting into the other buffer; the two are swapped at each spill.
struct OutputThread {
  std::mutex mutex;
  std::condition_variable changed;
  std::FILE* file = nullptr;
  std::unique_ptr<uint8_t[]> buffer;  // the buffer being written, or the spare
  std::size_t length = 0;
  bool busy = false;    // `buffer` holds `length` bytes still to be written
  bool failed = false;  // a write or flush failed; nothing more is written
  bool stop = false;
  bool started = false, unavailable = false;
  std::thread thread;

  bool Start(std::FILE* f) {
    buffer.reset(new (std::nothrow) uint8_t[kOutBufSize]);
    file = f;
    try {
      if (buffer) thread = std::thread(&OutputThread::Loop, this);
    } catch (const std::exception&) {
      // No thread to be had (address space, process limits): write in turn.
    }
    started = thread.joinable();
    unavailable = !started;
    return started;
  }

  void Loop() {
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return busy || stop; });
      if (!busy) return;
      lock.unlock();
      const bool ok = std::fwrite(buffer.get(), 1, length, file) == length && std::fflush(file) == 0;
      lock.lock();
      failed = failed || !ok;
      busy = false;
      changed.notify_all();
    }
  }

  // Waits until the buffer in hand is written; false if any write failed.
  bool Idle(std::unique_lock<std::mutex>& lock) {
    changed.wait(lock, [this] { return !busy; });
    return !failed;
  }

  ~OutputThread() {
    if (!started) return;
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    changed.notify_all();
    thread.join();
  }
};

namespace {

// Writes the buffer on this thread, as the first spill and the last flush do.
void WriteNow(RunState& s) {
  const std::size_t n = s.outlen;
  s.outlen = 0;
  if (std::fwrite(s.outbuf.get(), 1, n, s.outfptr) != n || std::fflush(s.outfptr) != 0) {
    s.write_failed = true;
    throw WriteError{};
  }
}

[[noreturn]] void Failed(RunState& s) {
  s.write_failed = true;
  throw WriteError{};
}

}  // namespace

void SpillOut(RunState& s) {
  if (s.outlen == 0) return;
  if (!s.outthread) {
    // The first buffer is written in turn: a run whose output fits in one or
    // two buffers never starts a thread, and an output that takes nothing
    // fails right here, before the run goes on.
    try {
      s.outthread = std::make_shared<OutputThread>();
    } catch (const std::bad_alloc&) {
    }
    return WriteNow(s);
  }
  OutputThread& w = *s.outthread;
  if (!w.started && (w.unavailable || !w.Start(s.outfptr))) return WriteNow(s);
  std::unique_lock lock(w.mutex);
  if (!w.Idle(lock)) Failed(s);
  std::swap(s.outbuf, w.buffer);
  w.length = s.outlen;
  w.busy = true;
  s.outlen = 0;
  lock.unlock();
  w.changed.notify_all();
}

void FlushOut(RunState& s) {
  if (s.outthread && s.outthread->started) {
    std::unique_lock lock(s.outthread->mutex);
    if (!s.outthread->Idle(lock)) Failed(s);
  }
  if (s.outlen != 0) WriteNow(s);
}

void CloseOut(RunState& s) {
  if (s.outfptr == nullptr) return;
  if (!s.write_failed) {
    try {
      FlushOut(s);
    } catch (const WriteError&) {
    }
  }
  s.outthread.reset();  // joins the thread once it has nothing in hand
  if (std::fclose(s.outfptr) != 0) s.write_failed = true;
  s.outfptr = nullptr;
}

void WriteOutLong(RunState& s, const uint8_t* bytes, std::size_t length) {
  SpillOut(s);
  while (length > kOutBufSize) {
    std::memcpy(s.outbuf.get(), bytes, kOutBufSize);
    s.outlen = kOutBufSize;
    SpillOut(s);
    bytes += kOutBufSize;
    length -= kOutBufSize;
  }
  std::memcpy(s.outbuf.get(), bytes, length);
  s.outlen = length;
}

}  // namespace trelon
