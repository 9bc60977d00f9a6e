// Null sinks and sources on a running PulseAudio server, through pactl, for the tests and
// benchmarks against the real libcubeb. The server is the one the PULSE_* variables name.
#pragma once

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::test {

/// pactl's output without its final line feeds, or none when it failed.
inline std::optional<std::string> try_pactl(const std::string& arguments) {
  const std::string command = "pactl " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  if (pclose(pipe) != 0) return std::nullopt;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

inline std::string pactl(const std::string& arguments) {
  auto output = try_pactl(arguments);
  if (!output) throw std::runtime_error("pactl " + arguments + " failed");
  return *output;
}

/// Devices loaded into the server, unloaded again (newest first) at scope exit. Descriptions must
/// not contain spaces.
class NullDevices {
 public:
  NullDevices() = default;
  NullDevices(const NullDevices&) = delete;
  NullDevices& operator=(const NullDevices&) = delete;
  ~NullDevices() {
    while (!modules_.empty()) {
      try_pactl("unload-module " + modules_.back());  // a stopped server has nothing left to unload
      modules_.pop_back();
    }
  }

  /// Each sink is also a capture device, its monitor. Returns the module index for `remove`.
  std::string add_sink(const std::string& name, int channels, int rate, const std::string& description) {
    return load("module-null-sink sink_name=" + name + " channels=" + std::to_string(channels) +
                " rate=" + std::to_string(rate) + " sink_properties=device.description=" + description);
  }
  std::string add_source(const std::string& name, int channels, int rate, const std::string& description) {
    return load("module-null-source source_name=" + name + " channels=" + std::to_string(channels) +
                " rate=" + std::to_string(rate) + " description=" + description);
  }
  void remove(const std::string& module) {
    pactl("unload-module " + module);
    std::erase(modules_, module);
  }
  /// Unloads the newest device.
  void remove_last() { remove(modules_.back()); }
  [[nodiscard]] std::size_t size() const { return modules_.size(); }

 private:
  std::string load(const std::string& arguments) { return modules_.emplace_back(pactl("load-module " + arguments)); }

  std::vector<std::string> modules_;
};

}  // namespace orvane::test
