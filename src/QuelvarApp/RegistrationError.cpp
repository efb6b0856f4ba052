// Texts of the registration errors, as the companion window shows them.
#include "RegistrationError.hpp"

#include "platform/PlatformError.hpp"

namespace quelvar {
namespace {

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return error_domain::registration; }

  std::string message(int value) const override {
    switch (static_cast<RegistrationError>(value)) {
      case RegistrationError::invalidID:
        return "Enter the 32-letter extension ID shown in Chrome's extension details.";
      case RegistrationError::missingHelper:
        return "This app is missing its translation helpers. Download a complete app build.";
      case RegistrationError::notInstalled:
        return "Install the app and open the installed copy to connect Chrome automatically.";
    }
    return "Unknown registration error.";
  }
};

}  // namespace

const std::error_category& registrationCategory() noexcept {
  static const Category category;
  return category;
}

std::error_code make_error_code(RegistrationError error) noexcept {
  return {static_cast<int>(error), registrationCategory()};
}

std::string RegistrationFailure::description() const {
  if (code.category() == registrationCategory() || path.empty()) {
    return code.message();
  }
  // A bare "Permission denied" does not tell the user which file to look at.
  return code.message() + ": " + path.string();
}

}  // namespace quelvar
