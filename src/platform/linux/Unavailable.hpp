// Services for a machine without the engines: they truthfully answer that nothing is available.
#pragma once

#include "platform/SpeechRecognition.hpp"
#include "platform/Translation.hpp"

namespace quelvar {

class UnavailableSpeechRecognition final : public SpeechRecognitionService {
 public:
  asio::awaitable<std::optional<std::string>> supportedLocale(const std::string&) override {
    co_return std::nullopt;
  }
  asio::awaitable<std::vector<std::string>> installedLocales() override {
    co_return std::vector<std::string>{};
  }
  asio::awaitable<Expected<bool>> reserve(const std::string&) override { co_return false; }
  asio::awaitable<void> release(const std::string&) override { co_return; }
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string&) override {
    return nullptr;
  }
  asio::awaitable<std::optional<AudioFormat>> bestAvailableAudioFormat(
      const SpeechTranscriber&) override {
    co_return std::nullopt;
  }
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(std::shared_ptr<SpeechTranscriber>) override {
    return nullptr;
  }
  asio::awaitable<Expected<std::unique_ptr<AssetInstallationRequest>>> assetInstallationRequest(
      const std::string&) override {
    co_return PlatformError{"org.quelvar.speech", 1, "Speech recognition is not available."};
  }
};

class UnavailableTranslation final : public TranslationService {
 public:
  asio::awaitable<std::vector<std::string>> supportedLanguages() override {
    co_return std::vector<std::string>{};
  }
  asio::awaitable<LanguageStatus> status(const std::string&, const std::string&) override {
    co_return LanguageStatus::unsupported;
  }
  std::shared_ptr<TranslationSession> makeSession(const std::string&, const std::string&) override {
    return nullptr;
  }
};

}  // namespace quelvar
