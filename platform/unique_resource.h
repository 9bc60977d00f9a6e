// Owners of raw resources: those released through the facility that opened them, and those a
// library call releases on its own.
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

/// Move-only owner of a handle described by `Traits` (its type, its empty value, whether a
/// value is open, and how it is released). Modelled on WIL's unique_any.
template <typename Traits>
class UniqueHandle {
 public:
  using Raw = typename Traits::Raw;

  UniqueHandle() = default;
  explicit UniqueHandle(Raw raw) : raw_(raw) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : raw_(std::exchange(other.raw_, Traits::empty())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      raw_ = std::exchange(other.raw_, Traits::empty());
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  [[nodiscard]] bool valid() const { return Traits::is_open(raw_); }
  [[nodiscard]] Raw get() const { return raw_; }
  /// The out-parameter for a call that opens a new handle; the old one is released first.
  Raw* receive() {
    reset();
    return &raw_;
  }
  void reset() {
    if (Traits::is_open(raw_)) Traits::release(std::exchange(raw_, Traits::empty()));
    raw_ = Traits::empty();
  }

 private:
  Raw raw_ = Traits::empty();
};

}  // namespace orvane
