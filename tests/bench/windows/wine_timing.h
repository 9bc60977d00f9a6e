// Timing helpers of orvane_wine_bench: a stopwatch on the performance counter, medians, and the
// samples of each kind of measurement written as JSON.
#pragma once

#include <algorithm>
#include <charconv>
#include <map>
#include <string>
#include <vector>

#include "windows/win32.h"

namespace orvane::bench {

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  [[nodiscard]] double milliseconds() const {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_{};
};

inline std::string number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
  return std::string(text, end);
}

inline double median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

/// Samples in milliseconds by kind, and the first thing that went wrong.
struct Samples {
  std::map<std::string, std::vector<double>> by_kind;
  std::string problem;

  void fail(const std::string& what) {
    if (problem.empty()) problem = what;
  }
};

/// {"<kind>": {"median_ms": ..., "min_ms": ..., "samples_ms": [...]}, ...}
inline std::string samples_json(const Samples& samples) {
  std::string text = "{";
  for (const auto& [kind, values] : samples.by_kind) {
    text += std::string(text.size() > 1 ? ", " : "") + "\"" + kind + "\": {\"median_ms\": " + number(median(values)) +
            ", \"min_ms\": " + number(values.empty() ? 0 : *std::min_element(values.begin(), values.end())) +
            ", \"samples_ms\": [";
    for (std::size_t i = 0; i < values.size(); ++i) text += (i == 0 ? "" : ", ") + number(values[i]);
    text += "]}";
  }
  return text + "}";
}

}  // namespace orvane::bench
