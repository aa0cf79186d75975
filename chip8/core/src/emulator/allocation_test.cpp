// Plain cycles must not allocate. This file replaces the global allocation
// functions of the test executable with counting ones; counting is always on, and
// the test reads the counter around a run of frames.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "chip8_core/emulator/emulator.hpp"
#include "chip8_core/testing/benchmark_roms.hpp"

namespace {

std::atomic<std::size_t> g_allocations{0};

void* counted_allocate(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* counted_allocate_aligned(std::size_t size, std::align_val_t alignment) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const auto align = static_cast<std::size_t>(alignment);
  const std::size_t rounded = (size + align - 1) / align * align;
  if (void* p = std::aligned_alloc(align, rounded == 0 ? align : rounded)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return counted_allocate(size); }
void* operator new[](std::size_t size) { return counted_allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return counted_allocate_aligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return counted_allocate_aligned(size, alignment); }
// The nothrow forms too: a sanitizer runtime supplies its own, which would pair
// its allocations with these free-based deletes.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return counted_allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return counted_allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return counted_allocate_aligned(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return counted_allocate_aligned(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace chip8 {
namespace {

std::size_t allocations_during_frames(Chip8Emulator& emulator, int frames) {
  const std::size_t before = g_allocations.load();
  for (int f = 0; f < frames; ++f) {
    if (!emulator.run_frame().completed()) break;
  }
  return g_allocations.load() - before;
}

TEST(PlainCycles, AllocateNothingFromTheFirstFrameOn) {
  for (const auto& rom : {testing::alu_loop_rom(), testing::draw_loop_rom()}) {
    Chip8Emulator emulator = *Chip8Emulator::create(rom, *find_quirk_preset("chip8"), 7);
    emulator.set_cycles_per_frame(500);
    EXPECT_EQ(allocations_during_frames(emulator, 200), 0u);
    EXPECT_EQ(emulator.frame_count(), 200u);  // the loops ran, they did not stop early
  }
}

TEST(PlainCycles, KeyWaitPollsAndHaltedStepsAllocateNothing) {
  Chip8Emulator waiting = *Chip8Emulator::create(testing::rom({0xF30A}), QuirkFlags{}, 7);
  EXPECT_EQ(allocations_during_frames(waiting, 100), 0u);
  EXPECT_EQ(waiting.frame_count(), 100u);

  Chip8Emulator halted = *Chip8Emulator::create(testing::rom({0x00FD}), QuirkFlags{}, 7);
  const std::size_t before = g_allocations.load();
  for (int f = 0; f < 100; ++f) halted.run_frame();
  EXPECT_EQ(g_allocations.load() - before, 0u);
}

TEST(PlainCycles, TheCounterSeesAllocations) {
  const std::size_t before = g_allocations.load();
  auto* box = new int(3);
  delete box;
  EXPECT_EQ(g_allocations.load() - before, 1u);
}

}  // namespace
}  // namespace chip8
