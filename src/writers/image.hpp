// The memory that a module loads: a window of addresses held in one buffer,
// and the start address.
#pragma once

#include <cstring>

#include "io/buffer.hpp"

namespace trelon {

inline constexpr uint32_t kImageSize = 131072;

struct Image {
  // A window of `capacity` bytes, each `fill` until loaded.
  Image(uint8_t fill, uint32_t capacity)
      : fill(fill), capacity(capacity), bytes(capacity > 0 ? Allocate(capacity, "image") : nullptr) {
    if (capacity > 0) std::memset(bytes.get(), fill, capacity);
  }

  // Bytes are loaded from `address` on: the window grows down (what it holds
  // moves up) or up to take it. False where it would grow past its capacity,
  // or below an address it was placed at with bytes behind the section's end.
  bool MoveTo(uint32_t address) {
    if (address < first) {
      const uint32_t grown = end - address;
      if (grown >= capacity || grown < length) return false;
      const uint32_t moved = grown - length;
      std::memmove(bytes.get() + moved, bytes.get(), length);
      std::memset(bytes.get(), fill, moved);
      shift += address + moved - first;  // 0 unless an ASL placed the window below what it holds
      first = address;
      length = grown;
    }
    if (address > end) {
      const uint32_t grown = address - first;
      if (grown >= capacity) return false;
      end = address;
      length = grown;
    }
    cursor = address - first;
    return true;
  }

  // `n` bytes loaded at the cursor; false, with none loaded, where the last
  // would pass the capacity.
  bool Load(const uint8_t* p, std::size_t n) {
    if (cursor + uint64_t{n} > capacity) return false;
    std::memcpy(bytes.get() + cursor, p, n);
    cursor += static_cast<uint32_t>(n);
    return true;
  }

  const uint8_t fill;
  const uint32_t capacity;
  Buffer bytes;
  uint32_t first = 0;   // the lowest address, that of bytes[0]
  uint32_t end = 0;     // the address just past the section, or past the last load beyond it
  uint32_t length = 0;  // the bytes from `first` on that the image holds
  uint32_t cursor = 0;  // where the next loaded byte goes, counted from `first`
  uint32_t start = 0;   // the start address
  // How far the addresses of what the image holds have moved since it was
  // loaded, summed: an ASL places the window elsewhere without moving the
  // bytes (loaded at first + k, they then stand for the new first + k).
  uint32_t shift = 0;
  bool placed = false;  // a lowest address was given
};

}  // namespace trelon
