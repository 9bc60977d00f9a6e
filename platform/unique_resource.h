// One owner type per kind of platform resource, released through the facility that opened it.
#pragma once

#include <optional>
#include <utility>

namespace orvane {

/// Move-only owner of a raw resource `Raw` opened through the facility `Owner`; the destructor
/// calls `(owner.*Release)(raw)` once. Declaring owners in acquisition order makes scope exit
/// release the most recently acquired first.
template <typename Owner, typename Raw, void (Owner::*Release)(Raw)>
class UniqueResource {
 public:
  UniqueResource() = default;
  UniqueResource(Owner& owner, Raw raw) : owner_(&owner), raw_(raw) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept
      : owner_(other.owner_), raw_(std::exchange(other.raw_, std::nullopt)) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      reset();
      owner_ = other.owner_;
      raw_ = std::exchange(other.raw_, std::nullopt);
    }
    return *this;
  }
  ~UniqueResource() { reset(); }

  [[nodiscard]] bool has_value() const { return raw_.has_value(); }
  [[nodiscard]] Raw get() const { return *raw_; }

  void reset() {
    if (raw_) {
      const Raw raw = *raw_;
      raw_.reset();
      (owner_->*Release)(raw);
    }
  }

 private:
  Owner* owner_ = nullptr;
  std::optional<Raw> raw_;
};

}  // namespace orvane
