// The writing in a second thread: while the reader parses and decodes the
// module, the writer thread formats and writes what it has handed over, in
// the same order and with the same effects as if each step were done at
// once. Taken for large streamed conversions where a second processor is
// free; every other run does each step as it comes.
#pragma once

#include <cstddef>

#include "run_state.hpp"
#include "writers/writers.hpp"

namespace trelon {

// Runs `convert` (the whole reading of the module), with the writing in a
// second thread when that pays. Effects and errors are those of
// convert(s): a write error where the writing would have met it, else the
// reader's error, after every step before it was done.
void Pipelined(RunState& s, void (*convert)(RunState&));

// When runs take a second thread: where it pays (large streamed
// conversions, with a processor to spare), never, or, for the suite, always:
// handing over blocks of the usual size, or of 64 bytes, and then also going
// on in one thread after the second block, as a run does when the other
// processor turns out busy. The suite checks these ways against each other.
enum class Piping { kWherePays, kNever, kAlways, kSmallBlocks, kSmallBlocksThenOne };
void SetPiping(Piping piping);

// One step: done at once, or queued.
void Hand(RunState& s, Op op, const void* bytes = nullptr, uint32_t n = 0);

// With the writing in its own thread: room in the queue for the bytes of a
// step, `max` (at least 16) of them, or null if the run has just gone on
// in one thread; and that step, its `n` bytes filled (or its number n).
uint8_t* HandRoom(RunState& s, std::size_t& max);
void HandTaken(RunState& s, Op op, std::size_t n);

}  // namespace trelon
