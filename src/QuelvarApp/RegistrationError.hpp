// The companion app's own registration failures, as std::error_code values of their own category.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace quelvar {

enum class RegistrationError {
  invalidID = 1,
  missingHelper,
  notInstalled,
};

const std::error_category& registrationCategory() noexcept;
std::error_code make_error_code(RegistrationError error) noexcept;

// A failed registration step: one of our own errors, or a system error together with the file or
// folder it concerns.
struct RegistrationFailure {
  std::error_code code;
  std::filesystem::path path;

  // The text shown to the user.
  std::string description() const;
};

}  // namespace quelvar

template <>
struct std::is_error_code_enum<quelvar::RegistrationError> : std::true_type {};
