#include "tests/scenarios/scenario.h"

#include <openssl/sha.h>

#include "platform/text.h"

namespace orvane::test {

std::vector<std::pair<std::string, std::string>> ScenarioPackage::files() {
  return {
      {"readme.txt", "VB-CABLE test package\r\n"},
      {"vbMmeCable64_win10.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=MEDIA\r\n"},
      {"vbaudio_cable64_win10.sys", std::string(4096, '\x5a')},
  };
}

std::string sha256_hex(std::string_view content) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(content.data()), content.size(), digest);
  std::string hex;
  for (const unsigned char byte : digest) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    hex.push_back(DIGITS[byte >> 4]);
    hex.push_back(DIGITS[byte & 0x0F]);
  }
  return hex;
}

std::string ScenarioPackage::manifest() {
  std::string json = "{\n";
  for (const auto& [name, content] : files()) {
    if (json.size() > 2) json += ",\n";
    json += "  \"" + name + "\": \"" + sha256_hex(content) + "\"";
  }
  return json + "\n}\n";
}

Scenario::Scenario() {
  for (const auto& [name, content] : ScenarioPackage::files()) {
    windows.add_file(std::u16string(SCENARIO_PACKAGE_FOLDER) + u"\\" + utf8_to_utf16(name), content);
  }
  windows.inf_classes[SCENARIO_INF_PATH] = {SCENARIO_CLASS_GUID, SCENARIO_CLASS_NAME};
}

SetupResult<RebootRequired> Scenario::run_result() {
  Platform platform = windows.platform();
  const EndpointLister list = [this]() -> std::expected<std::vector<EndpointInfo>, std::string> {
    ++endpoint_requests;
    if (endpoint_error) return std::unexpected(*endpoint_error);
    return endpoints;
  };
  return run_driver_setup(platform, list, ScenarioPackage::manifest());
}

RunOutcome Scenario::run() {
  const auto result = run_result();
  const std::uint32_t status = finish_run(windows, result);
  return {status, windows.stderr_bytes};
}

EndpointInfo endpoint(std::string id, EndpointDirection direction, std::uint16_t channels, std::uint32_t rate) {
  EndpointInfo info;
  info.id = std::move(id);
  info.name = info.id;
  info.default_rate = rate;
  info.channels = channels;
  info.direction = direction;
  return info;
}

}  // namespace orvane::test
