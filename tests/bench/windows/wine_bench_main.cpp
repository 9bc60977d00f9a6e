// orvane_wine_bench.exe, run under Wine by scripts/benchmark.sh:
//   orvane_wine_bench <rounds> <trivial program> <test build> [<package folder> <manifest file>]
// Prints one JSON object on standard output:
//   - SHA-256 through CNG alone;
//   - whole runs of the test build, started and awaited with CreateProcessW as an installer
//     would, next to the test child's "exit 0", in rounds that take one sample of every kind in
//     turn. Before each installing run the test devices are removed, so that every one is a
//     fresh install; the first install in the prefix is reported on its own, and the first
//     round is a warm-up;
//   - stages timed in this process: the audio controller's start-up, and, given a package, the
//     package check through the Windows adapters, each next to its plainest Windows equivalent.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "setup/sha256.h"
#include "tests/bench/windows/wine_stages.h"
#include "tests/bench/windows/wine_timing.h"
#include "tests/windows/program_run.h"
#include "tests/windows/test_devices.h"
#include "tests/windows/test_files.h"
#include "tests/windows/test_package.h"
#include "windows/win32.h"
// After windows.h:
#include <shellapi.h>

namespace orvane::bench {
namespace {

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

const std::string ERROR_PREFIX = "ORVANE_DRIVER_SETUP ";

class WholeRuns {
 public:
  WholeRuns(const test::TempFolder& folder, const std::u16string& trivial, const std::u16string& test_build)
      : trivial_(trivial, folder.path() + u"\\trivial"),
        installing_(test_build, folder.path() + u"\\installing"),
        missing_first_file_(test_build, folder.path() + u"\\missing") {}

  /// Copies the programs and packages; the package of one copy lacks its first file.
  bool lay_out() const {
    const std::u16string missing =
        missing_first_file_.package_folder() + u"\\" + utf8_to_utf16(test::first_manifest_file());
    return trivial_.copied() && installing_.copied() && missing_first_file_.copied() &&
           test::install_test_package(installing_.package_folder()) &&
           test::install_test_package(missing_first_file_.package_folder()) &&
           DeleteFileW(windows::wide(test::extended(missing).c_str())) != 0;
  }

  void round(bool keep, Samples& samples) {
    test::remove_test_class_devices();
    if (!test::test_class_devices().empty()) samples.fail("the test devices could not be removed");
    const double install = timed(installing_, u"", 0, "", samples);
    if (first_install_ == 0) first_install_ = install;
    if (test::test_class_devices().size() != 1) samples.fail("the installing run did not add exactly one device");
    const double present = timed(installing_, u"", 1, "No driver was replaced.\n", samples);
    const double trivial = timed(trivial_, u" exit 0", 0, "", samples);
    const double argument = timed(installing_, u" /?", 1, ERROR_PREFIX + "driver setup takes no arguments\n", samples);
    const double missing = timed(missing_first_file_, u"", 1,
                                 ERROR_PREFIX + "missing bundled driver file " + test::first_manifest_file() + "\n", samples);
    if (!keep) return;
    for (const auto& [kind, value] : {std::pair{"install", install}, {"device_present", present}, {"trivial", trivial},
                                      {"argument", argument}, {"first_file_missing", missing}}) {
      samples.by_kind[kind].push_back(value);
    }
  }

  [[nodiscard]] double first_install() const { return first_install_; }

 private:
  /// One run with `arguments`, from CreateProcessW to the end of its output, checked against
  /// the exit status and the end of standard error it must give.
  static double timed(const test::InstalledProgram& program, const std::u16string& arguments, std::uint32_t exit_code,
                      const std::string& error_ending, Samples& samples) {
    const Stopwatch watch;
    const auto outcome = program.run(arguments);
    const double milliseconds = watch.milliseconds();
    if (!outcome) {
      samples.fail(outcome.error());
    } else if (outcome->exit_code != exit_code || !outcome->standard_error.ends_with(error_ending)) {
      samples.fail("exit status " + decimal(outcome->exit_code) + ", standard error: " + outcome->standard_error);
    }
    return milliseconds;
  }

  test::InstalledProgram trivial_;
  test::InstalledProgram installing_;
  test::InstalledProgram missing_first_file_;
  double first_install_ = 0;
};

int run(int rounds, const std::vector<std::u16string>& arguments) {
  const test::TempFolder folder(u"bench");
  WholeRuns runs(folder, arguments[0], arguments[1]);
  if (!runs.lay_out()) {
    std::fputs("orvane_wine_bench: cannot lay out the programs and packages\n", stderr);
    return 1;
  }
  Samples whole;
  for (int i = 0; i <= rounds && whole.problem.empty(); ++i) runs.round(i > 0, whole);
  test::remove_test_class_devices();

  Samples stages;
  const std::string backend = time_audio_start(rounds, stages);
  if (arguments.size() == 4) time_package_check(arguments[2], test::read_file(arguments[3]), rounds, stages);
  if (!whole.problem.empty() || !stages.problem.empty()) {
    std::fputs(("orvane_wine_bench: " + whole.problem + stages.problem + "\n").c_str(), stderr);
    return 1;
  }
  const std::string json = "{\"rounds\": " + decimal(static_cast<std::uint64_t>(rounds)) +
                           ", \"cng_sha256_mb_per_s\": {\"64KiB\": " + number(cng_megabytes_per_second(64 << 10)) +
                           ", \"2MiB\": " + number(cng_megabytes_per_second(2 << 20)) +
                           ", \"32MiB\": " + number(cng_megabytes_per_second(32 << 20)) +
                           "}, \"first_install_ms\": " + number(runs.first_install()) + ", \"runs\": " +
                           samples_json(whole) + ", \"audio_backend\": \"" + backend + "\", \"stages\": " +
                           samples_json(stages) + "}\n";
  std::fputs(json.c_str(), stdout);
  return 0;
}

}  // namespace
}  // namespace orvane::bench

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const long rounds = arguments != nullptr && (count == 4 || count == 6) ? std::wcstol(arguments[1], nullptr, 10) : 0;
  int status = 2;
  if (rounds < 1) {
    std::fputs("usage: orvane_wine_bench <rounds> <trivial program> <test build> [<package folder> <manifest file>]\n",
               stderr);
  } else {
    std::vector<std::u16string> rest;
    for (int i = 2; i < count; ++i) rest.emplace_back(orvane::windows::utf16(arguments[i]));
    status = orvane::bench::run(static_cast<int>(rounds), rest);
  }
  LocalFree(arguments);
  return status;
}
