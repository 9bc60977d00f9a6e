#include "tests/bench/heap_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace orvane::bench {
namespace {

// Counting is off outside a window, so that the other benchmarks of the program pay one
// predictable branch per allocation and nothing more.
std::atomic<bool> counting{false};
std::atomic<std::int64_t> live{0};
std::atomic<std::int64_t> peak{0};
std::atomic<std::int64_t> count{0};

void on_allocate(void* block) {
  if (!counting.load(std::memory_order_relaxed)) return;
  const auto size = static_cast<std::int64_t>(malloc_usable_size(block));
  const std::int64_t now = live.fetch_add(size, std::memory_order_relaxed) + size;
  count.fetch_add(1, std::memory_order_relaxed);
  std::int64_t seen = peak.load(std::memory_order_relaxed);
  while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
  }
}

void on_free(void* block) {
  if (block == nullptr || !counting.load(std::memory_order_relaxed)) return;
  live.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
}

void* allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  on_allocate(block);
  return block;
}

void release(void* block) {
  on_free(block);
  std::free(block);
}

}  // namespace

HeapWindow::HeapWindow() {
  live = 0;
  peak = 0;
  count = 0;
  counting = true;
}

HeapWindow::~HeapWindow() { counting = false; }

std::int64_t HeapWindow::peak_bytes() const { return peak.load(); }
std::int64_t HeapWindow::live_bytes() const { return live.load(); }
std::int64_t HeapWindow::allocations() const { return count.load(); }

}  // namespace orvane::bench

// The replaceable global allocation functions; the array, nothrow and sized forms of the
// standard library forward to these.
void* operator new(std::size_t size) { return orvane::bench::allocate(size); }
void* operator new[](std::size_t size) { return orvane::bench::allocate(size); }
void operator delete(void* block) noexcept { orvane::bench::release(block); }
void operator delete[](void* block) noexcept { orvane::bench::release(block); }
void operator delete(void* block, std::size_t) noexcept { orvane::bench::release(block); }
void operator delete[](void* block, std::size_t) noexcept { orvane::bench::release(block); }
