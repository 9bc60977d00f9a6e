// The table of scripts/benchmark.sh, built from the JSON reports of one benchmark run.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

namespace orvane::bench {

/// The runs of Google Benchmark JSON reports by run name: the median of each (or the single
/// run when there were no repetitions), its coefficient of variation, and complexity fits.
class BenchmarkResults {
 public:
  void add(const nlohmann::json& report);

  /// The median's real time in milliseconds; 0 for a run not in the reports.
  [[nodiscard]] double milliseconds(const std::string& name) const;
  /// A counter of the median (bytes_per_second included); 0 when absent.
  [[nodiscard]] double counter(const std::string& name, const std::string& counter_name) const;
  /// The coefficient of variation of the real time over the repetitions; 0 when unknown.
  [[nodiscard]] double spread(const std::string& name) const;
  /// "O(N), RMS 3 %" for a benchmark family run with Complexity(); "-" when absent.
  [[nodiscard]] std::string fit(const std::string& family) const;

 private:
  [[nodiscard]] const nlohmann::json* find(const std::string& name) const;

  std::map<std::string, nlohmann::json> medians_;
  std::map<std::string, double> spreads_;
  std::map<std::string, nlohmann::json> fits_;
};

/// The whole file, parsed; nothing when it cannot be read or parsed.
std::optional<nlohmann::json> read_json(const std::string& path);

/// `value` with `decimals` digits after the point.
std::string fixed(double value, int decimals);
/// measured / baseline with two decimals; "-" without a baseline.
std::string ratio(double measured, double baseline);

/// The five tables, in Markdown. `wine` is orvane_wine_bench's report, when there is one.
void print_report(const BenchmarkResults& host, const BenchmarkResults& pulse, const std::optional<nlohmann::json>& wine,
                  std::ostream& out);

}  // namespace orvane::bench
