// The translation service on Apertium: installed modes, packaged pairs and persistent pipelines.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Translation.hpp"
#include "platform/async/Clock.hpp"
#include "platform/linux/apertium/ApertiumSession.hpp"
#include "platform/linux/apertium/ModeCatalogue.hpp"

namespace quelvar::apertium {

class ApertiumTranslation final : public TranslationService {
 public:
  ApertiumTranslation(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                      ModeCatalogue catalogue = ModeCatalogue(), SessionOptions options = {});

  asio::awaitable<std::vector<std::string>> supportedLanguages() override;
  asio::awaitable<LanguageStatus> status(const std::string& source,
                                         const std::string& target) override;
  std::shared_ptr<TranslationSession> makeSession(const std::string& source,
                                                  const std::string& target) override;

 private:
  asio::any_io_executor executor_;
  std::shared_ptr<Clock> clock_;
  ModeCatalogue catalogue_;
  SessionOptions options_;
};

}  // namespace quelvar::apertium
