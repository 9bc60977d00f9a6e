// orvane_bench_report: the table of scripts/benchmark.sh, from the JSON that Google Benchmark
// and orvane_wine_bench wrote in the same run. Arguments, each optional and in any order:
//   host=<file>   orvane_benchmarks (package check, SHA-256, detection)
//   pulse=<file>  orvane_pulse_benchmarks, once per device count
//   wine=<file>   orvane_wine_bench
#include <iostream>

#include "tests/bench/bench_report.h"

int main(int count, char** arguments) {
  orvane::bench::BenchmarkResults host;
  orvane::bench::BenchmarkResults pulse;
  std::optional<nlohmann::json> wine;
  for (int i = 1; i < count; ++i) {
    const std::string argument = arguments[i];
    const auto equals = argument.find('=');
    const std::string kind = argument.substr(0, equals);
    const auto report = equals == std::string::npos ? std::nullopt : orvane::bench::read_json(argument.substr(equals + 1));
    if (!report) {
      std::cerr << "orvane_bench_report: cannot read " << argument << "\n";
      return 1;
    }
    if (kind == "host") host.add(*report);
    if (kind == "pulse") pulse.add(*report);
    if (kind == "wine") wine = report;
  }
  orvane::bench::print_report(host, pulse, wine, std::cout);
  return 0;
}
