// The package check over a generated package of real files (page cache warm), against the
// plainest read of the same files hashed with libcrypto's one-shot SHA256(); the check's peak
// heap against its largest file; SHA-256 alone.
//   ORVANE_BENCH_DIR  where the packages are generated and kept, each with its manifest beside it
//                     as <package>.manifest.json (default: a folder in the temp folder, removed at the end)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

#include "platform/text.h"
#include "setup/driver_package.h"
#include "tests/bench/generated_package.h"
#include "tests/bench/heap_counter.h"
#include "tests/bench/posix_files.h"

namespace orvane {
namespace {

// Package sizes, the benchmarks' argument: REALISTIC or the total in bytes (31 for 31 files of one
// byte, which leaves only the check's own cost per file and per run).
constexpr std::int64_t REALISTIC = 0;
constexpr std::int64_t ONE_BYTE_EACH = 31;
constexpr std::int64_t MB = 1'000'000;

// The folder of every generated package; one of our own choosing is removed when the program ends.
class BenchFolder {
 public:
  BenchFolder() {
    const char* chosen = std::getenv("ORVANE_BENCH_DIR");
    owned_ = chosen == nullptr;
    path_ = owned_ ? std::filesystem::temp_directory_path() / ("orvane-bench-" + decimal(static_cast<std::uint64_t>(::getpid())))
                   : std::filesystem::path(chosen);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
  ~BenchFolder() {
    std::error_code ignored;
    if (owned_) std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool owned_ = true;
};

/// The realistic package for REALISTIC, else one of `total_bytes` in all; made on first use.
const bench::GeneratedPackage& package(std::int64_t total_bytes) {
  static BenchFolder root;
  static std::map<std::int64_t, bench::GeneratedPackage> packages;
  auto found = packages.find(total_bytes);
  if (found != packages.end()) return found->second;
  const auto total = static_cast<std::uint64_t>(total_bytes);
  const auto sizes = total_bytes == REALISTIC ? bench::realistic_package_sizes() : bench::scaled_package_sizes(total);
  const auto folder = root.path() / (total_bytes == REALISTIC ? std::string("realistic") : decimal(total) + "-bytes");
  auto generated = bench::generate_package(folder, sizes);
  std::ofstream(folder.string() + ".manifest.json", std::ios::binary) << generated.manifest;
  return packages.emplace(total_bytes, std::move(generated)).first->second;
}

void package_counters(benchmark::State& state, const bench::GeneratedPackage& files) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(files.total_bytes));
  state.counters["files"] = static_cast<double>(files.files.size());
  state.counters["total_bytes"] = static_cast<double>(files.total_bytes);
  state.counters["largest_bytes"] = static_cast<double>(files.largest_bytes);
}

void BM_PackageCheck(benchmark::State& state) {
  const auto& files = package(state.range(0));
  bench::PosixFiles posix;
  const std::u16string folder = utf8_to_utf16(files.folder.string());
  for (auto _ : state) {
    const auto verified = verify_driver_package(posix, folder, files.manifest);
    if (!verified) {
      state.SkipWithError(verified.error().message.c_str());
      break;
    }
  }
  if (posix.open_files() != 0) state.SkipWithError("the check left files open");
  package_counters(state, files);
}

// What the machine allows for the same work: open, one read of the known size into a buffer of
// its own, SHA256(), compare, close, file after file.
bool read_and_hash(const bench::PackageFile& file) {
  const int descriptor = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat status {};
  bool read_whole = ::fstat(descriptor, &status) == 0;
  const auto size = static_cast<std::size_t>(status.st_size);
  const auto bytes = std::make_unique_for_overwrite<unsigned char[]>(size);
  for (std::size_t done = 0; read_whole && done < size;) {
    const ssize_t count = ::read(descriptor, bytes.get() + done, size - done);
    read_whole = count > 0;
    done += read_whole ? static_cast<std::size_t>(count) : 0;
  }
  ::close(descriptor);
  Sha256Digest digest{};
  SHA256(bytes.get(), size, digest.data());
  return read_whole && digest == file.digest;
}

void BM_PackageReadAndHashBaseline(benchmark::State& state) {
  const auto& files = package(state.range(0));
  for (auto _ : state) {
    for (const auto& file : files.files) {
      if (!read_and_hash(file)) state.SkipWithError(("baseline could not verify " + file.name).c_str());
    }
  }
  package_counters(state, files);
}

void BM_PackageCheckPeakHeap(benchmark::State& state) {
  const auto& files = package(state.range(0));
  bench::PosixFiles posix;
  const std::u16string folder = utf8_to_utf16(files.folder.string());
  std::int64_t peak = 0;
  std::int64_t allocations = 0;
  for (auto _ : state) {
    const bench::HeapWindow window;
    const bool verified = verify_driver_package(posix, folder, files.manifest).has_value();
    if (!verified || window.live_bytes() != 0) state.SkipWithError("check failed or kept memory");
    peak = std::max(peak, window.peak_bytes());
    allocations = window.allocations();
  }
  state.counters["peak_heap_bytes"] = static_cast<double>(peak);
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["largest_bytes"] = static_cast<double>(files.largest_bytes);
  state.counters["total_bytes"] = static_cast<double>(files.total_bytes);
  state.counters["peak_over_largest"] = static_cast<double>(peak) / static_cast<double>(files.largest_bytes);
}

// The check's first step on its own: the manifest text into the ordered map.
void BM_ManifestParse(benchmark::State& state) {
  const auto& files = package(REALISTIC);
  for (auto _ : state) {
    auto manifest = parse_driver_package_manifest(files.manifest);
    if (!manifest || manifest->size() != files.files.size()) state.SkipWithError("the manifest does not parse");
    benchmark::DoNotOptimize(manifest);
  }
}

void BM_Sha256Libcrypto(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
  Sha256Digest digest{};
  for (auto _ : state) {
    SHA256(bytes.data(), bytes.size(), digest.data());
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void package_sizes(benchmark::internal::Benchmark* benchmark) {
  for (const std::int64_t size : {REALISTIC, ONE_BYTE_EACH, 1 * MB, 10 * MB, 100 * MB}) benchmark->Arg(size);
}

BENCHMARK(BM_PackageCheck)->Apply(package_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackageReadAndHashBaseline)->Apply(package_sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackageCheckPeakHeap)->Apply(package_sizes)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManifestParse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sha256Libcrypto)->Arg(64)->Arg(64 << 10)->Arg(2 << 20)->Arg(32 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orvane
