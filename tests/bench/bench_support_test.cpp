// What the benchmarks stand on: the package check through the POSIX files behaves as it does on
// Windows, the generated packages are what they claim, the heap count is exact, and the report
// reads medians and flags a package check over its goal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/text.h"
#include "setup/driver_package.h"
#include "tests/bench/bench_report.h"
#include "tests/bench/generated_package.h"
#include "tests/bench/heap_counter.h"
#include "tests/bench/posix_files.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

class PackageOnDisk : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("orvane-bench-test-" + decimal(static_cast<std::uint64_t>(::getpid())));
    package_ = bench::generate_package(root_ / "drivers" / "vbcable", bench::scaled_package_sizes(200'000));
  }
  void TearDown() override { fs::remove_all(root_); }

  SetupResult<void> verify(const fs::path& folder) {
    return verify_driver_package(files_, utf8_to_utf16(folder.string()), package_.manifest);
  }

  fs::path root_;
  bench::GeneratedPackage package_;
  bench::PosixFiles files_;
};

TEST_F(PackageOnDisk, PassesAndClosesEveryFile) {
  ASSERT_EQ(package_.files.size(), 31u);
  EXPECT_TRUE(verify(package_.folder).has_value());
  EXPECT_EQ(files_.open_files(), 0);
}

struct Damage {
  const char* what;
  std::size_t file;
  std::function<void(const fs::path&)> apply;
  const char* message_prefix;
};

class DamagedPackage : public PackageOnDisk, public testing::WithParamInterface<Damage> {};

TEST_P(DamagedPackage, FailsWithTheFileItFound) {
  const Damage& damage = GetParam();
  const auto& file = package_.files.at(damage.file);
  damage.apply(file.path);
  const auto verified = verify(package_.folder);
  ASSERT_FALSE(verified.has_value());
  EXPECT_EQ(verified.error().message, damage.message_prefix + file.name);
  EXPECT_EQ(files_.open_files(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    RealFiles, DamagedPackage,
    testing::Values(
        Damage{"one byte changed", 5,
               [](const fs::path& path) {
                 std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
                 const char byte = static_cast<char>(file.get() ^ 1);
                 file.seekp(0);
                 file.put(byte);
               },
               "bundled driver integrity check failed: "},
        Damage{"one byte appended", 30, [](const fs::path& path) { std::ofstream(path, std::ios::app) << 'x'; },
               "bundled driver integrity check failed: "},
        Damage{"deleted", 19, [](const fs::path& path) { fs::remove(path); }, "missing bundled driver file "},
        Damage{"a folder in its place", 0,
               [](const fs::path& path) {
                 fs::remove(path);
                 fs::create_directory(path);
               },
               "missing bundled driver file "}),
    [](const testing::TestParamInfo<Damage>& param) {
      std::string name = param.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(PackageOnDisk, ReadsADeepFolderThroughItsExtendedLengthForm) {
  fs::path deep = root_;
  while (deep.string().size() < 260) deep /= std::string(40, 'd');
  fs::create_directories(deep);
  for (const auto& file : package_.files) fs::copy_file(file.path, deep / file.name);
  EXPECT_TRUE(verify(deep).has_value());
  EXPECT_EQ(bench::posix_path(u"\\\\?\\/tmp\\a\\b.txt"), "/tmp/a/b.txt");
}

TEST(GeneratedPackageSizes, RealisticIsAFewMegabytesWithTheLargestACoupleAndScalingKeepsTheTotal) {
  const auto realistic = bench::realistic_package_sizes();
  ASSERT_EQ(realistic.size(), 31u);
  std::uint64_t total = 0;
  std::uint64_t largest = 0;
  for (const auto& [name, size] : realistic) {
    total += size;
    largest = std::max(largest, size);
  }
  EXPECT_GT(largest, 2'000'000u);
  EXPECT_LT(largest, 3'000'000u);
  EXPECT_GT(total, 4'000'000u);
  EXPECT_LT(total, 8'000'000u);
  EXPECT_EQ(realistic.front().first, "VBCABLE_ControlPanel.exe");  // the manifest's order

  for (const std::uint64_t target : {1'000'000u, 100'000'000u}) {
    std::uint64_t scaled = 0;
    for (const auto& entry : bench::scaled_package_sizes(target)) scaled += entry.second;
    EXPECT_LE(scaled, target);
    EXPECT_GE(scaled, target - 31);
  }
}

TEST(HeapWindow, CountsWhatIsAllocatedInsideItAndWhatIsStillHeld) {
  auto before = std::make_unique<std::vector<char>>(500'000);
  const bench::HeapWindow window;
  {
    const std::vector<char> block(1'000'000);
    const std::vector<char> small(1'000);
  }
  const auto kept = std::make_unique<std::vector<char>>(10'000);
  EXPECT_GE(window.peak_bytes(), 1'001'000);
  EXPECT_LT(window.peak_bytes(), 1'001'000 + 16'384);  // the vector objects and the allocator's rounding
  EXPECT_GE(window.live_bytes(), 10'000);
  EXPECT_LT(window.live_bytes(), 10'000 + 1'024);
  EXPECT_EQ(window.allocations(), 4);
}

nlohmann::json run(const std::string& name, const std::string& aggregate, double time, const std::string& unit,
                   double total_bytes = 1e6) {
  return {{"name", name + "_" + aggregate}, {"run_name", name}, {"run_type", "aggregate"}, {"aggregate_name", aggregate},
          {"real_time", time}, {"time_unit", unit}, {"total_bytes", total_bytes}, {"largest_bytes", 4e5}};
}

TEST(BenchReport, ReadsMediansInMillisecondsAndFlagsACheckOverItsGoal) {
  bench::BenchmarkResults host;
  host.add({{"benchmarks",
             {run("BM_PackageCheck/0", "mean", 99.0, "ms"), run("BM_PackageCheck/0", "median", 1100.0, "us"),
              run("BM_PackageCheck/0", "cv", 0.02, "us"), run("BM_PackageReadAndHashBaseline/0", "median", 1.0, "ms"),
              run("BM_PackageCheck/1000000", "median", 1.05, "ms"),
              run("BM_PackageReadAndHashBaseline/1000000", "median", 1.0, "ms")}}});
  EXPECT_DOUBLE_EQ(host.milliseconds("BM_PackageCheck/0"), 1.1);
  EXPECT_DOUBLE_EQ(host.spread("BM_PackageCheck/0"), 0.02);
  EXPECT_DOUBLE_EQ(host.milliseconds("BM_Absent"), 0.0);

  std::ostringstream table;
  bench::print_report(host, {}, std::nullopt, table);
  const std::string text = table.str();
  EXPECT_NE(text.find("| 1.100 ms | 1.000 ms | 1.10 | 100 µs |"), std::string::npos) << text;
  EXPECT_NE(text.find("| 1.050 ms | 1.000 ms | 1.05 | 50 µs |"), std::string::npos) << text;
  EXPECT_EQ(text.find("over the goal"), std::string::npos) << text;

  host.add({{"benchmarks", {run("BM_PackageCheck/10000000", "median", 1.2, "ms"),
                            run("BM_PackageReadAndHashBaseline/10000000", "median", 1.0, "ms")}}});
  std::ostringstream again;
  bench::print_report(host, {}, std::nullopt, again);
  EXPECT_NE(again.str().find("| 1.20 (over the goal) |"), std::string::npos) << again.str();
}

nlohmann::json counter_run(const std::string& name, const std::string& counter, double value) {
  return {{"name", name}, {"run_name", name}, {"run_type", "iteration"}, {"real_time", 1.0}, {"time_unit", "ms"},
          {counter, value}};
}

TEST(BenchReport, DetectionGrowthIsEachSizesCostPerUnitAgainstTheSmallest) {
  bench::BenchmarkResults host;
  host.add({{"benchmarks",
             {counter_run("BM_CollectOwnCost/50", "per_devnode", 700e-9), counter_run("BM_CollectOwnCost/500", "per_devnode", 700e-9),
              counter_run("BM_CollectOwnCost/5000", "per_devnode", 1400e-9),
              counter_run("BM_ClassifyOwnCost/10", "per_endpoint", 350e-9),
              counter_run("BM_ClassifyOwnCost/1000", "per_endpoint", 175e-9)}}});
  std::ostringstream table;
  bench::print_report(host, {}, std::nullopt, table);
  const std::string text = table.str();
  EXPECT_NE(text.find("| 700 ns | 1.00 |\n| 500 |"), std::string::npos) << text;
  EXPECT_NE(text.find("| 1400 ns | 2.00 |"), std::string::npos) << text;
  EXPECT_NE(text.find("| 175 ns | 0.50 |"), std::string::npos) << text;
}

TEST(BenchReport, WholeRunsStandAgainstTheTrivialProgramAndStagesAgainstTheirBaselines) {
  const auto kind = [](double median) { return nlohmann::json{{"median_ms", median}, {"min_ms", median - 1}}; };
  const nlohmann::json wine = {
      {"rounds", 5},
      {"first_install_ms", 250.0},
      {"audio_backend", "wasapi"},
      {"runs", {{"trivial", kind(100)}, {"argument", kind(102.5)}, {"install", kind(210)}}},
      {"stages", {{"package_check", kind(52)}, {"package_baseline", kind(50)}, {"audio_controller", kind(9)},
                  {"audio_cubeb_alone", kind(6)}}}};
  std::ostringstream table;
  bench::print_report({}, {}, wine, table);
  const std::string text = table.str();
  EXPECT_NE(text.find("| an argument: ends at the argument check | 102.5 ms | 101.5 ms | 2.5 ms | 1.02 |"), std::string::npos)
      << text;
  EXPECT_NE(text.find("| 210.0 ms | 209.0 ms | 110.0 ms | 2.10 |"), std::string::npos) << text;
  EXPECT_NE(text.find("| 250.0 ms | | 150.0 ms | 2.50 |"), std::string::npos) << text;
  EXPECT_NE(text.find("| 52.00 ms | CreateFileW, one ReadFile, CNG, compare | 50.00 ms | 1.04 |"), std::string::npos) << text;
  EXPECT_NE(text.find("(backend wasapi) | 9.00 ms | libcubeb alone on a new thread in the MTA | 6.00 ms | 1.50 |"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace orvane
