// orvane_wine_bench.exe, run under Wine by scripts/benchmark.sh:
//   orvane_wine_bench <rounds> <trivial program> <test build>
// Prints one JSON object on standard output: SHA-256 through CNG alone, and the time of whole
// runs of the test build (started and awaited with CreateProcessW, as an installer would) next
// to the test child's "exit 0", in rounds that take one sample of every kind in turn. Before
// each installing run the test devices are removed, so that every one is a fresh install; the
// first install in the prefix is reported on its own, and the first round is a warm-up.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/text.h"
#include "setup/sha256.h"
#include "tests/windows/program_run.h"
#include "tests/windows/test_devices.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_package.h"
#include "windows/win32.h"
// After windows.h:
#include <shellapi.h>

namespace orvane {
namespace {

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

std::string number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr;
  return std::string(text, end);
}

double median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// MB/s (10^6 bytes) of CNG's SHA-256 over a buffer of `size` bytes, hashed for at least a second.
double cng_megabytes_per_second(std::size_t size) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>(i * 131 + (i >> 9));
  std::size_t hashed = 0;
  const Stopwatch watch;
  while (watch.milliseconds() < 1000.0) {
    if (!sha256(bytes)) return 0.0;
    hashed += size;
  }
  return static_cast<double>(hashed) / 1e6 / (watch.milliseconds() / 1000.0);
}

struct Sample {
  double milliseconds = 0;
  std::string problem;  // empty when the run ended as expected
};

/// One run of `program` with `arguments`, timed from CreateProcessW to the end of its output.
Sample timed_run(const test::InstalledProgram& program, const std::u16string& arguments, std::uint32_t exit_code,
                 const std::string& standard_error_ending) {
  const Stopwatch watch;
  const auto outcome = program.run(arguments);
  Sample sample{watch.milliseconds(), {}};
  if (!outcome) {
    sample.problem = outcome.error();
  } else if (outcome->exit_code != exit_code || !outcome->standard_error.ends_with(standard_error_ending)) {
    sample.problem = "exit status " + decimal(outcome->exit_code) + ", standard error: " + outcome->standard_error;
  }
  return sample;
}

const std::string ERROR_PREFIX = "ORVANE_DRIVER_SETUP ";

struct Bench {
  test::InstalledProgram trivial;
  test::InstalledProgram installing;
  test::InstalledProgram missing_first_file;
  std::map<std::string, std::vector<double>> samples;
  double first_install = 0;
  std::string problem;

  void take(const std::string& kind, const Sample& sample, bool keep) {
    if (!sample.problem.empty() && problem.empty()) problem = kind + ": " + sample.problem;
    if (keep) samples[kind].push_back(sample.milliseconds);
  }

  void round(bool keep) {
    test::remove_test_class_devices();
    if (!test::test_class_devices().empty()) problem = "the test devices could not be removed";
    const Sample install = timed_run(installing, u"", 0, "");
    if (first_install == 0) first_install = install.milliseconds;
    take("install", install, keep);
    if (test::test_class_devices().size() != 1) problem = "the installing run did not add exactly one device";
    take("device_present", timed_run(installing, u"", 1, "No driver was replaced.\n"), keep);
    take("trivial", timed_run(trivial, u" exit 0", 0, ""), keep);
    take("argument", timed_run(installing, u" /?", 1, ERROR_PREFIX + "driver setup takes no arguments\n"), keep);
    take("first_file_missing",
         timed_run(missing_first_file, u"", 1, ERROR_PREFIX + "missing bundled driver file " + test::first_manifest_file() + "\n"),
         keep);
  }
};

std::string json(const Bench& bench, int rounds) {
  std::string text = "{\"rounds\": " + decimal(static_cast<std::uint64_t>(rounds));
  text += ", \"cng_sha256_mb_per_s\": {\"64KiB\": " + number(cng_megabytes_per_second(64 << 10)) +
          ", \"2MiB\": " + number(cng_megabytes_per_second(2 << 20)) +
          ", \"32MiB\": " + number(cng_megabytes_per_second(32 << 20)) + "}";
  text += ", \"first_install_ms\": " + number(bench.first_install) + ", \"runs\": {";
  bool first = true;
  for (const auto& [kind, samples] : bench.samples) {
    text += std::string(first ? "" : ", ") + "\"" + kind + "\": {\"median_ms\": " + number(median(samples)) +
            ", \"min_ms\": " + number(*std::min_element(samples.begin(), samples.end())) + ", \"samples_ms\": [";
    for (std::size_t i = 0; i < samples.size(); ++i) text += (i == 0 ? "" : ", ") + number(samples[i]);
    text += "]}";
    first = false;
  }
  return text + "}}\n";
}

int run(int rounds, const std::u16string& trivial_program, const std::u16string& test_build) {
  const test::TempFolder folder(u"bench");
  Bench bench{test::InstalledProgram(trivial_program, folder.path() + u"\\trivial"),
              test::InstalledProgram(test_build, folder.path() + u"\\installing"),
              test::InstalledProgram(test_build, folder.path() + u"\\missing"), {}, 0, {}};
  const std::u16string missing = bench.missing_first_file.package_folder() + u"\\" + utf8_to_utf16(test::first_manifest_file());
  if (!bench.trivial.copied() || !bench.installing.copied() || !bench.missing_first_file.copied() ||
      !test::install_test_package(bench.installing.package_folder()) ||
      !test::install_test_package(bench.missing_first_file.package_folder()) ||
      DeleteFileW(windows::wide(test::extended(missing).c_str())) == 0) {
    std::fputs("orvane_wine_bench: cannot lay out the programs and packages\n", stderr);
    return 1;
  }
  for (int i = 0; i <= rounds && bench.problem.empty(); ++i) bench.round(i > 0);
  test::remove_test_class_devices();
  if (!bench.problem.empty()) {
    std::fputs(("orvane_wine_bench: " + bench.problem + "\n").c_str(), stderr);
    return 1;
  }
  std::fputs(json(bench, rounds).c_str(), stdout);
  return 0;
}

}  // namespace
}  // namespace orvane

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const long rounds = arguments != nullptr && count == 4 ? std::wcstol(arguments[1], nullptr, 10) : 0;
  int status = 2;
  if (rounds < 1) {
    std::fputs("usage: orvane_wine_bench <rounds> <trivial program> <test build>\n", stderr);
  } else {
    status = orvane::run(static_cast<int>(rounds), orvane::windows::utf16(arguments[2]),
                         orvane::windows::utf16(arguments[3]));
  }
  LocalFree(arguments);
  return status;
}
