// Peak heap of a stretch of code, from a replacement of the global operator new and delete in
// the program that links heap_counter.cpp. Only allocations made through operator new are seen
// (every container, string and std::make_unique of the core); the usable size of each block is
// counted, as the allocator hands it out.
#pragma once

#include <cstdint>

namespace orvane::bench {

/// Counts from construction to destruction; one at a time, on one thread.
class HeapWindow {
 public:
  HeapWindow();
  HeapWindow(const HeapWindow&) = delete;
  HeapWindow& operator=(const HeapWindow&) = delete;
  ~HeapWindow();

  /// The highest net count of bytes allocated since the window opened. Frees of older blocks
  /// lower it too, so open the window where nothing allocated before it is freed.
  [[nodiscard]] std::int64_t peak_bytes() const;
  /// The net count of bytes allocated since the window opened.
  [[nodiscard]] std::int64_t live_bytes() const;
  /// Blocks allocated inside the window.
  [[nodiscard]] std::int64_t allocations() const;
};

}  // namespace orvane::bench
