// The on-device translation services: language availability and translation sessions.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include "platform/async/Asio.hpp"

#include "platform/PlatformError.hpp"

namespace quelvar {

enum class LanguageStatus {
  installed,    // both directions' models are on this machine
  supported,    // translatable once installed
  unsupported,  // not translatable at all
};

// Used by one caller at a time: at most one translate() is in flight per session.
class TranslationSession {
 public:
  virtual ~TranslationSession() = default;
  virtual asio::awaitable<Status> prepareTranslation() = 0;
  virtual asio::awaitable<Expected<std::string>> translate(const std::string& text) = 0;
  // A translation in flight afterwards returns or fails promptly.
  virtual void cancel() = 0;
};

class TranslationService {
 public:
  virtual ~TranslationService() = default;
  // Language tags (BCP 47) that translation knows.
  virtual asio::awaitable<std::vector<std::string>> supportedLanguages() = 0;
  virtual asio::awaitable<LanguageStatus> status(const std::string& source,
                                                 const std::string& target) = 0;
  // A session over installed models only.
  virtual std::shared_ptr<TranslationSession> makeSession(const std::string& source,
                                                          const std::string& target) = 0;
};

}  // namespace quelvar
