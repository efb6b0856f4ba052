// Failures reported by the platform services: a value with a domain and a numeric code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quelvar {

// The domains of errors, one per area, spelled once. They reach users only inside the detail of
// an error's text (and standard error lines), never as a value a peer compares.
namespace error_domain {
inline constexpr const char* audio = "org.quelvar.audio";
inline constexpr const char* pipeline = "org.quelvar.pipeline";
inline constexpr const char* cancelled = "org.quelvar.cancelled";
inline constexpr const char* apertium = "org.quelvar.apertium";
inline constexpr const char* pocketsphinx = "org.quelvar.pocketsphinx";
inline constexpr const char* soxr = "org.quelvar.soxr";
inline constexpr const char* registration = "org.quelvar.registration";
}  // namespace error_domain

struct PlatformError {
  std::string domain;
  std::int64_t code = 0;
  std::string description;
};

// Success, or the platform error that prevented it. Like `Expected`, it says which with `ok()`
// and never converts to bool, so a check cannot read backwards.
class Status {
 public:
  Status() = default;
  Status(PlatformError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  const PlatformError& error() const { return error_.value(); }

 private:
  std::optional<PlatformError> error_;
};

// A value, or the platform error that prevented it. Expected outcomes travel as values, never as
// exceptions.
template <class T>
class Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Expected(PlatformError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  const PlatformError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, PlatformError> state_;
};

// The error a cancelled wait completes with.
inline PlatformError cancelledError() {
  return {error_domain::cancelled, 1, "The operation was cancelled."};
}

}  // namespace quelvar
