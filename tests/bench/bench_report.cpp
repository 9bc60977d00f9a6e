#include "tests/bench/bench_report.h"

#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orvane::bench {

using nlohmann::json;

std::optional<json> read_json(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  try {
    return json::parse(in);
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

std::string fixed(double value, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

std::string ratio(double measured, double baseline) {
  return baseline > 0 ? fixed(measured / baseline, 2) : std::string("-");
}

void BenchmarkResults::add(const json& report) {
  for (const auto& run : report.value("benchmarks", json::array())) {
    const std::string name = run.value("run_name", run.value("name", ""));
    const std::string type = run.value("run_type", "iteration");
    const std::string aggregate = run.value("aggregate_name", "");
    if (type == "aggregate" && aggregate == "median") {
      medians_[name] = run;
    } else if (type == "aggregate" && aggregate == "cv") {
      spreads_[name] = run.value("real_time", 0.0);
    } else if (type == "iteration" && !medians_.contains(name)) {
      medians_[name] = run;  // a single repetition is its own median
    } else if (aggregate == "BigO" || aggregate == "RMS") {
      fits_[name + "_" + aggregate] = run;
    }
  }
}

const json* BenchmarkResults::find(const std::string& name) const {
  const auto found = medians_.find(name);
  return found == medians_.end() ? nullptr : &found->second;
}

double BenchmarkResults::milliseconds(const std::string& name) const {
  const json* run = find(name);
  if (run == nullptr) return 0;
  static const std::map<std::string, double> PER_MILLISECOND{{"ns", 1e-6}, {"us", 1e-3}, {"ms", 1.0}, {"s", 1e3}};
  const auto unit = PER_MILLISECOND.find(run->value("time_unit", "ns"));
  return run->value("real_time", 0.0) * (unit == PER_MILLISECOND.end() ? 1e-6 : unit->second);
}

double BenchmarkResults::counter(const std::string& name, const std::string& counter_name) const {
  const json* run = find(name);
  return run == nullptr ? 0 : run->value(counter_name, 0.0);
}

double BenchmarkResults::spread(const std::string& name) const {
  const auto found = spreads_.find(name);
  return found == spreads_.end() ? 0 : found->second;
}

std::string BenchmarkResults::fit(const std::string& family) const {
  const auto big_o = fits_.find(family + "_BigO");
  const auto rms = fits_.find(family + "_RMS");
  if (big_o == fits_.end()) return "-";
  std::string text = "O(" + big_o->second.value("big_o", std::string("?")) + ")";
  if (rms != fits_.end()) text += ", RMS " + fixed(100 * rms->second.value("rms", 0.0), 0) + " %";
  return text;
}

namespace {

// The benchmarks' argument (the package's total in bytes, 0 for the realistic one) and its label.
const std::vector<std::pair<std::string, std::string>> PACKAGES{
    {"0", "realistic"}, {"31", "31 tiny files"}, {"1000000", "1 MB"}, {"10000000", "10 MB"}, {"100000000", "100 MB"}};

std::string size_text(double bytes) { return bytes < 10'000 ? fixed(bytes, 0) + " B" : fixed(bytes / 1e6, 2) + " MB"; }

void package_table(const BenchmarkResults& host, std::ostream& out) {
  out << "### 1. Package check: verify_driver_package on real files, page cache warm\n\n"
         "Baseline: the same files, each opened, read whole with read(2) into a buffer of its own, "
         "hashed with libcrypto's one-shot SHA256() and compared, in the same process. Goal: ratio at most 1.10. "
         "The 31 tiny files leave only the check's own cost per run and per file (Check − baseline).\n\n"
         "| Package (31 files) | Largest file | Check | Baseline | Ratio | Check − baseline | Check per MB | Spread (cv) |\n"
         "|---|---|---|---|---|---|---|---|\n";
  for (const auto& [arg, label] : PACKAGES) {
    const std::string check = "BM_PackageCheck/" + arg;
    const std::string baseline = "BM_PackageReadAndHashBaseline/" + arg;
    const double total_mb = host.counter(check, "total_bytes") / 1e6;
    const double check_ms = host.milliseconds(check);
    const double baseline_ms = host.milliseconds(baseline);
    const double over = baseline_ms > 0 ? check_ms / baseline_ms : 0;
    out << "| " << label << " (" << size_text(host.counter(check, "total_bytes")) << ") | "
        << size_text(host.counter(check, "largest_bytes")) << " | " << fixed(check_ms, 3) << " ms | " << fixed(baseline_ms, 3) << " ms | " << ratio(check_ms, baseline_ms)
        << (over > 1.10 && total_mb >= 0.5 ? " (over the goal)" : "") << " | " << fixed((check_ms - baseline_ms) * 1e3, 0)
        << " µs | " << (total_mb >= 0.5 ? fixed(check_ms / total_mb, 3) + " ms" : std::string("-"))
        << " | " << fixed(100 * host.spread(check), 1) << " % / " << fixed(100 * host.spread(baseline), 1) << " % |\n";
  }
  out << "\nOf the check's own cost, the manifest parse alone: " << fixed(host.milliseconds("BM_ManifestParse") * 1e3, 1)
      << " µs.\n";
  out << "\nPeak heap of one check (bytes held at once through operator new, counted by a replacement of it):\n\n"
         "| Package | Peak heap | Largest file | Peak / largest | Allocations |\n|---|---|---|---|---|\n";
  for (const auto& [arg, label] : PACKAGES) {
    const std::string name = "BM_PackageCheckPeakHeap/" + arg + "/iterations:3";
    out << "| " << label << " | " << fixed(host.counter(name, "peak_heap_bytes"), 0) << " B | "
        << fixed(host.counter(name, "largest_bytes"), 0) << " B | " << fixed(host.counter(name, "peak_over_largest"), 4)
        << " | " << fixed(host.counter(name, "allocations"), 0) << " |\n";
  }
}

std::string megabytes_per_second(double bytes_per_second) { return fixed(bytes_per_second / 1e6, 0) + " MB/s"; }

void sha256_table(const BenchmarkResults& host, const std::optional<json>& wine, std::ostream& out) {
  out << "\n### 2. SHA-256 alone (MB = 10^6 bytes)\n\n"
         "| Path | 64 B | 64 KiB | 2 MiB | 32 MiB |\n|---|---|---|---|---|\n| libcrypto SHA256(), host |";
  for (const char* size : {"64", "65536", "2097152", "33554432"}) {
    out << " " << megabytes_per_second(host.counter(std::string("BM_Sha256Libcrypto/") + size, "bytes_per_second")) << " |";
  }
  out << "\n| Windows CNG (windows/sha256_cng.cpp) under Wine, i.e. Wine's bcrypt | - |";
  const json cng = wine ? wine->value("cng_sha256_mb_per_s", json::object()) : json::object();
  for (const char* size : {"64KiB", "2MiB", "32MiB"}) {
    out << " " << (cng.contains(size) ? fixed(cng[size].get<double>(), 0) + " MB/s" : std::string("not measured")) << " |";
  }
  out << "\n";
}

void detection_table(const BenchmarkResults& host, std::ostream& out) {
  out << "\n### 3. Detection over the simulated Windows\n\n"
         "Own cost: the same trees behind a configuration manager that answers in constant time without "
         "allocating. Growth: cost per unit against the smallest size (1.00 is linear).\n\n"
         "| Devnodes | Collect driver devices | Per devnode | Growth | Own cost per devnode | Growth |\n"
         "|---|---|---|---|---|---|\n";
  const double sim_base = host.counter("BM_CollectDriverDevices/50", "per_devnode");
  const double own_base = host.counter("BM_CollectOwnCost/50", "per_devnode");
  for (const char* size : {"50", "500", "5000"}) {
    const double sim = host.counter(std::string("BM_CollectDriverDevices/") + size, "per_devnode");
    const double own = host.counter(std::string("BM_CollectOwnCost/") + size, "per_devnode");
    out << "| " << size << " | " << fixed(host.milliseconds(std::string("BM_CollectDriverDevices/") + size) * 1e3, 1)
        << " µs | " << fixed(sim * 1e9, 0) << " ns | " << ratio(sim, sim_base) << " | " << fixed(own * 1e9, 0) << " ns | "
        << ratio(own, own_base) << " |\n";
  }
  out << "\n| Endpoints (500 devnodes) | Classify both cables | Per endpoint | Growth | Own cost per endpoint | Growth |\n"
         "|---|---|---|---|---|---|\n";
  const double sim_endpoint = host.counter("BM_ClassifyCables/10", "per_endpoint");
  const double own_endpoint = host.counter("BM_ClassifyOwnCost/10", "per_endpoint");
  for (const char* size : {"10", "100", "1000"}) {
    const double sim = host.counter(std::string("BM_ClassifyCables/") + size, "per_endpoint");
    const double own = host.counter(std::string("BM_ClassifyOwnCost/") + size, "per_endpoint");
    out << "| " << size << " | " << fixed(host.milliseconds(std::string("BM_ClassifyCables/") + size) * 1e3, 1) << " µs | "
        << fixed(sim * 1e9, 0) << " ns | " << ratio(sim, sim_endpoint) << " | " << fixed(own * 1e9, 0) << " ns | "
        << ratio(own, own_endpoint) << " |\n";
  }
  out << "\nFitted: collect " << host.fit("BM_CollectDriverDevices") << ", own " << host.fit("BM_CollectOwnCost")
      << "; classify " << host.fit("BM_ClassifyCables") << ", own " << host.fit("BM_ClassifyOwnCost") << ".\n\n"
      << "Whole detection (detect_cable_endpoints) per devnodes × endpoints:\n\n| Devnodes | 10 endpoints | 100 | 1000 |\n"
         "|---|---|---|---|\n";
  for (const char* devnodes : {"50", "500", "5000"}) {
    out << "| " << devnodes << " |";
    for (const char* endpoints : {"10", "100", "1000"}) {
      out << " " << fixed(host.milliseconds(std::string("BM_DetectCableEndpoints/") + devnodes + "/" + endpoints), 3)
          << " ms |";
    }
    out << "\n";
  }
}

void audio_table(const BenchmarkResults& pulse, std::ostream& out) {
  out << "\n### 4. Audio controller against PulseAudio null sinks (real libcubeb, host)\n\n"
         "Baseline: the same libcubeb calls made directly on the calling thread (no controller thread, "
         "channels or copies). Each sink is also a capture device (its monitor).\n\n"
         "| Sinks | Start-up + capture + render | libcubeb alone | Ratio | Capture request | alone | Ratio | "
         "Render request | alone | Ratio | Per endpoint (render) |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const char* sinks : {"2", "20", "200"}) {
    const auto time = [&](const std::string& family) { return pulse.milliseconds(family + "/" + sinks + "/real_time"); };
    const double start = time("BM_StartAndListBothDirections");
    const double start_alone = time("BM_CubebAloneStartAndListBothDirections");
    const double capture = time("BM_CaptureRequest");
    const double capture_alone = time("BM_CubebAloneCaptureRequest");
    const double render = time("BM_RenderRequest");
    const double render_alone = time("BM_CubebAloneRenderRequest");
    const double listed = pulse.counter(std::string("BM_RenderRequest/") + sinks + "/real_time", "endpoints");
    out << "| " << sinks << " | " << fixed(start, 2) << " ms | " << fixed(start_alone, 2) << " ms | " << ratio(start, start_alone)
        << " | " << fixed(capture * 1e3, 0) << " µs | " << fixed(capture_alone * 1e3, 0) << " µs | " << ratio(capture, capture_alone)
        << " | " << fixed(render * 1e3, 0) << " µs | " << fixed(render_alone * 1e3, 0) << " µs | " << ratio(render, render_alone)
        << " | " << fixed(listed > 0 ? render * 1e3 / listed : 0, 1) << " µs |\n";
  }
}

void wine_stage_table(const json& wine, std::ostream& out) {
  const json stages = wine.value("stages", json::object());
  const auto median = [&](const char* kind) { return stages.contains(kind) ? stages[kind].value("median_ms", 0.0) : 0.0; };
  out << "\nStages timed inside one process under Wine, through the program's Windows adapters (median of "
      << wine.value("rounds", 0) << "):\n\n| Stage | Time | Baseline | Baseline time | Ratio |\n|---|---|---|---|---|\n";
  const double check = median("package_check");
  const double baseline = median("package_baseline");
  if (check > 0) {
    out << "| package check of the realistic package (WindowsProcess, CNG) | " << fixed(check, 2)
        << " ms | CreateFileW, one ReadFile, CNG, compare | " << fixed(baseline, 2) << " ms | " << ratio(check, baseline)
        << " |\n";
  }
  const double controller = median("audio_controller");
  const double alone = median("audio_cubeb_alone");
  out << "| audio controller start-up, capture and render enumeration (backend " << wine.value("audio_backend", "?")
      << ") | " << fixed(controller, 2) << " ms | libcubeb alone on a new thread in the MTA | " << fixed(alone, 2)
      << " ms | " << ratio(controller, alone) << " |\n"
      << "| the same, first in the process (loads the audio stack) | " << fixed(median("audio_controller_first_in_process"), 2)
      << " ms | | | |\n";
}

void wine_table(const std::optional<json>& wine, std::ostream& out) {
  out << "\n### 5. The whole program under Wine (test build, wineserver kept up)\n\n";
  if (!wine) {
    out << "Not measured (no Wine results).\n";
    return;
  }
  const json runs = wine->value("runs", json::object());
  const auto median = [&](const char* kind) { return runs.contains(kind) ? runs[kind].value("median_ms", 0.0) : 0.0; };
  const double trivial = median("trivial");
  out << "Median of " << wine->value("rounds", 0) << " rounds, each run started with CreateProcessW from a Windows parent "
         "and timed until its end; baseline: orvane_test_child.exe exit 0 in the same rounds.\n\n"
         "| Run | Median | Fastest | Over the trivial program | Ratio |\n|---|---|---|---|---|\n";
  for (const auto& [kind, label] : std::vector<std::pair<std::string, std::string>>{
           {"trivial", "trivial program (test child, exit 0)"},
           {"argument", "an argument: ends at the argument check"},
           {"first_file_missing", "first package file missing: ends at the package check"},
           {"device_present", "device already present: check, detection, existing-device check"},
           {"install", "fresh install (device removed before each run)"}}) {
    const double value = median(kind.c_str());
    out << "| " << label << " | " << fixed(value, 1) << " ms | "
        << fixed(runs.contains(kind) ? runs[kind].value("min_ms", 0.0) : 0.0, 1) << " ms | " << fixed(value - trivial, 1)
        << " ms | " << ratio(value, trivial) << " |\n";
  }
  out << "| first install in the fresh prefix (one sample) | " << fixed(wine->value("first_install_ms", 0.0), 1)
      << " ms | | " << fixed(wine->value("first_install_ms", 0.0) - trivial, 1) << " ms | "
      << ratio(wine->value("first_install_ms", 0.0), trivial) << " |\n";
  wine_stage_table(*wine, out);
}

}  // namespace

void print_report(const BenchmarkResults& host, const BenchmarkResults& pulse, const std::optional<json>& wine,
                  std::ostream& out) {
  package_table(host, out);
  sha256_table(host, wine, out);
  detection_table(host, out);
  audio_table(pulse, out);
  wine_table(wine, out);
}

}  // namespace orvane::bench
