#include "tests/bench/windows/wine_stages.h"

#include <memory>
#include <optional>
#include <thread>

#include "audio/backend.h"
#include "audio/controller.h"
#include "platform/text.h"
#include "setup/driver_package.h"
#include "setup/sha256.h"
#include "windows/windows_endpoint_properties.h"
#include "windows/windows_process.h"
// After windows.h:
#include <objbase.h>

namespace orvane::bench {
namespace {

using windows::KernelHandle;
using windows::wide;

bool read_and_hash(const std::u16string& path, const std::string& expected_digest) {
  const KernelHandle file(CreateFileW(wide(path.c_str()), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || GetFileSizeEx(file.get(), &size) == 0) return false;
  const auto total = static_cast<std::size_t>(size.QuadPart);
  const auto bytes = std::make_unique_for_overwrite<std::byte[]>(total);
  std::size_t done = 0;
  DWORD got = 0;
  while (done < total && ReadFile(file.get(), bytes.get() + done, static_cast<DWORD>(std::min<std::size_t>(total - done, 1 << 30)),
                                  &got, nullptr) != 0 && got > 0) {
    done += got;
  }
  const auto digest = sha256({bytes.get(), done});
  return done == total && digest && lower_hex(*digest) == expected_digest;
}

double package_baseline_ms(const std::u16string& folder, const DriverPackageManifest& manifest, Samples& samples) {
  const Stopwatch watch;
  for (const auto& [name, digest] : manifest) {
    if (!read_and_hash(folder + u"\\" + utf8_to_utf16(name), digest)) samples.fail("baseline could not verify " + name);
  }
  return watch.milliseconds();
}

// Until the enumerations are done; the context and COM are released after the time is taken.
double cubeb_alone_ms(std::string& backend) {
  double milliseconds = -1;
  const Stopwatch watch;
  std::thread([&] {
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    cubeb* raw = nullptr;
    if (SUCCEEDED(joined) && cubeb_init(&raw, AUDIO_CONTEXT_NAME, PREFERRED_AUDIO_BACKEND) == CUBEB_OK) {
      const CubebContext context(raw);
      const auto capture = CubebDeviceCollection::enumerate(context, CUBEB_DEVICE_TYPE_INPUT);
      const auto render = CubebDeviceCollection::enumerate(context, CUBEB_DEVICE_TYPE_OUTPUT);
      if (capture && render) milliseconds = watch.milliseconds();
      backend = cubeb_get_backend_id(raw);
    }
    if (SUCCEEDED(joined)) CoUninitialize();
  }).join();
  return milliseconds;
}

}  // namespace

void time_package_check(const std::u16string& folder, const std::string& manifest, int rounds, Samples& samples) {
  const auto parsed = parse_driver_package_manifest(manifest);
  if (!parsed) return samples.fail("the package manifest does not parse");
  windows::WindowsProcess process;
  for (int round = 0; round <= rounds; ++round) {
    const Stopwatch watch;
    const auto verified = verify_driver_package(process, folder, manifest);
    const double check = watch.milliseconds();
    if (!verified) samples.fail("package check: " + verified.error().message);
    const double baseline = package_baseline_ms(folder, *parsed, samples);
    if (round == 0) continue;  // the first reads warm the caches
    samples.by_kind["package_check"].push_back(check);
    samples.by_kind["package_baseline"].push_back(baseline);
  }
}

std::string time_audio_start(int rounds, Samples& samples) {
  windows::WindowsProcess process;
  windows::WindowsEndpointProperties com;
  std::string backend;
  for (int round = 0; round <= rounds; ++round) {
    std::optional<AudioControllerRegistry> registry(std::in_place, process, com);
    const Stopwatch watch;
    const auto endpoints = list_audio_endpoints(*registry);
    const double controller = watch.milliseconds();
    registry.reset();  // stopping the thread is not part of the start-up
    if (!endpoints) samples.fail("audio controller: " + endpoints.error());
    const double alone = cubeb_alone_ms(backend);
    if (alone < 0) samples.fail("libcubeb alone failed");
    if (round == 0) {
      // The first start in the process also loads the audio stack (mmdevapi, the Wine audio driver).
      samples.by_kind["audio_controller_first_in_process"].push_back(controller);
      continue;
    }
    samples.by_kind["audio_controller"].push_back(controller);
    samples.by_kind["audio_cubeb_alone"].push_back(alone);
  }
  return backend;
}

}  // namespace orvane::bench
