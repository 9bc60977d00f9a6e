// A libcubeb double behind the real C API: contexts and collections are tracked so that tests
// can check that every one is released once, on the context that made it. On Windows, context
// creation aborts like the WASAPI backend when the thread is not in the multithreaded apartment.
#include "tests/fake_cubeb/fake_cubeb.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#ifdef _WIN32
#include <objbase.h>
#endif

struct cubeb {
  std::string backend;
};

namespace orvane::fake_cubeb {
namespace {

struct Direction {
  std::vector<FakeDevice> devices;
  int result = CUBEB_OK;
};

/// The storage behind one collection's array and strings.
struct CollectionStorage {
  cubeb* context = nullptr;
  std::vector<cubeb_device_info> infos;
  std::deque<std::string> texts;
};

struct FakeState {
  std::mutex mutex;
  int init_result = CUBEB_OK;
  std::string backend = "fake";
  Direction input;
  Direction output;
  FakeCounts counts;
  std::string last_context_name;
  std::string last_backend_name;
  std::set<std::thread::id> threads;
  std::set<cubeb*> contexts;
  std::map<const cubeb_device_info*, std::unique_ptr<CollectionStorage>> collections;
};

FakeState& state() {
  static FakeState instance;
  return instance;
}

/// Locks the state and notes the calling thread.
std::unique_lock<std::mutex> enter(FakeState& fake) {
  std::unique_lock lock(fake.mutex);
  fake.threads.insert(std::this_thread::get_id());
  return lock;
}

Direction* direction(FakeState& fake, cubeb_device_type type) {
  if (type == CUBEB_DEVICE_TYPE_INPUT) return &fake.input;
  if (type == CUBEB_DEVICE_TYPE_OUTPUT) return &fake.output;
  return nullptr;
}

const char* keep(CollectionStorage& storage, const std::optional<std::string>& text) {
  if (!text) return nullptr;
  return storage.texts.emplace_back(*text).c_str();
}

std::unique_ptr<CollectionStorage> build_collection(cubeb* context, const std::vector<FakeDevice>& devices) {
  auto storage = std::make_unique<CollectionStorage>();
  storage->context = context;
  storage->infos.reserve(devices.size() + 1);  // a distinct address even when empty
  for (const FakeDevice& device : devices) {
    cubeb_device_info info{};
    info.device_id = keep(*storage, device.device_id);
    info.friendly_name = keep(*storage, device.friendly_name);
    info.group_id = "fake-group";
    info.type = device.type;
    info.state = device.state;
    info.preferred = static_cast<cubeb_device_pref>(device.preferred);
    info.max_channels = device.max_channels;
    info.default_rate = device.default_rate;
    storage->infos.push_back(info);
  }
  return storage;
}

#ifdef _WIN32
void require_multithreaded_apartment() {
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  const HRESULT hr = CoGetApartmentType(&type, &qualifier);
  if (SUCCEEDED(hr) && type == APTTYPE_MTA && qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA) return;
  std::fputs("fake cubeb: cubeb_init on a thread outside the COM multithreaded apartment\n", stderr);
  std::abort();
}
#endif

}  // namespace

void reset() {
  FakeState& fake = state();
  const std::lock_guard lock(fake.mutex);
  fake.init_result = CUBEB_OK;
  fake.backend = "fake";
  fake.input = {};
  fake.output = {};
  fake.counts = {};
  fake.last_context_name.clear();
  fake.last_backend_name.clear();
  fake.threads.clear();
  fake.collections.clear();
  for (cubeb* leaked : fake.contexts) delete leaked;  // an earlier test's failure, already counted
  fake.contexts.clear();
}

void set_init_result(int result) {
  const std::lock_guard lock(state().mutex);
  state().init_result = result;
}

void set_backend_name(std::string name) {
  const std::lock_guard lock(state().mutex);
  state().backend = std::move(name);
}

void set_devices(cubeb_device_type type, std::vector<FakeDevice> devices) {
  const std::lock_guard lock(state().mutex);
  if (Direction* target = direction(state(), type)) target->devices = std::move(devices);
}

void set_enumerate_result(cubeb_device_type type, int result) {
  const std::lock_guard lock(state().mutex);
  if (Direction* target = direction(state(), type)) target->result = result;
}

FakeCounts counts() {
  const std::lock_guard lock(state().mutex);
  return state().counts;
}

std::string last_context_name() {
  const std::lock_guard lock(state().mutex);
  return state().last_context_name;
}

std::string last_backend_name() {
  const std::lock_guard lock(state().mutex);
  return state().last_backend_name;
}

std::set<std::thread::id> calling_threads() {
  const std::lock_guard lock(state().mutex);
  return state().threads;
}

}  // namespace orvane::fake_cubeb

using orvane::fake_cubeb::state;

extern "C" {

int cubeb_init(cubeb** context, char const* context_name, char const* backend_name) {
#ifdef _WIN32
  orvane::fake_cubeb::require_multithreaded_apartment();
#endif
  auto& fake = state();
  const auto lock = orvane::fake_cubeb::enter(fake);
  ++fake.counts.init_calls;
  fake.last_context_name = context_name != nullptr ? context_name : "";
  fake.last_backend_name = backend_name != nullptr ? backend_name : "";
  if (context == nullptr) return CUBEB_ERROR_INVALID_PARAMETER;
  if (fake.init_result != CUBEB_OK) return fake.init_result;
  *context = new cubeb{fake.backend};
  fake.contexts.insert(*context);
  ++fake.counts.live_contexts;
  return CUBEB_OK;
}

char const* cubeb_get_backend_id(cubeb* context) {
  auto& fake = state();
  const auto lock = orvane::fake_cubeb::enter(fake);
  if (!fake.contexts.contains(context)) {
    ++fake.counts.misuses;
    return "dead";
  }
  return context->backend.c_str();
}

int cubeb_enumerate_devices(cubeb* context, cubeb_device_type type, cubeb_device_collection* collection) {
  auto& fake = state();
  const auto lock = orvane::fake_cubeb::enter(fake);
  ++fake.counts.enumerate_calls;
  const auto* source = orvane::fake_cubeb::direction(fake, type);
  if (!fake.contexts.contains(context)) {
    ++fake.counts.misuses;
    return CUBEB_ERROR_INVALID_PARAMETER;
  }
  if (source == nullptr || collection == nullptr) return CUBEB_ERROR_INVALID_PARAMETER;
  if (source->result != CUBEB_OK) return source->result;

  auto storage = orvane::fake_cubeb::build_collection(context, source->devices);
  collection->device = storage->infos.data();
  collection->count = storage->infos.size();
  fake.collections.emplace(collection->device, std::move(storage));
  ++fake.counts.live_collections;
  return CUBEB_OK;
}

int cubeb_device_collection_destroy(cubeb* context, cubeb_device_collection* collection) {
  auto& fake = state();
  const auto lock = orvane::fake_cubeb::enter(fake);
  const auto found = collection != nullptr ? fake.collections.find(collection->device) : fake.collections.end();
  if (found == fake.collections.end() || found->second->context != context) {
    ++fake.counts.misuses;
    return CUBEB_ERROR_INVALID_PARAMETER;
  }
  fake.collections.erase(found);
  --fake.counts.live_collections;
  collection->device = nullptr;
  collection->count = 0;
  return CUBEB_OK;
}

void cubeb_destroy(cubeb* context) {
  auto& fake = state();
  const auto lock = orvane::fake_cubeb::enter(fake);
  if (fake.contexts.erase(context) == 0) {
    ++fake.counts.misuses;
    return;
  }
  for (const auto& [key, storage] : fake.collections) {
    if (storage->context == context) ++fake.counts.misuses;
  }
  --fake.counts.live_contexts;
  delete context;
}

}  // extern "C"
