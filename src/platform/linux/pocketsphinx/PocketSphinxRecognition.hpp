// The speech recognition service on PocketSphinx: catalogue, reservations, transcribers, analyzers.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/SpeechRecognition.hpp"
#include "platform/linux/pocketsphinx/ModelCache.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

namespace quelvar::pocketsphinx {

class PocketSphinxRecognition final : public SpeechRecognitionService {
 public:
  // With `proveInventory`, a model counts as installed only once a child process has loaded it
  // (PocketSphinxCatalogue::isUsable): for a host that reports on models without loading them.
  // Without it the files must be there, and a damaged model fails when it is loaded.
  explicit PocketSphinxRecognition(
      asio::any_io_executor executor,
      PocketSphinxCatalogue catalogue = PocketSphinxCatalogue::debian(),
      bool proveInventory = false);

  asio::awaitable<std::optional<std::string>> supportedLocale(
      const std::string& localeIdentifier) override;
  asio::awaitable<std::vector<std::string>> installedLocales() override;

  // Models are files installed by the system, so a reservation is only this process's record.
  asio::awaitable<Expected<bool>> reserve(const std::string& locale) override;
  asio::awaitable<void> release(const std::string& locale) override;

  std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string& locale) override;
  asio::awaitable<std::optional<AudioFormat>> bestAvailableAudioFormat(
      const SpeechTranscriber& transcriber) override;
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(
      std::shared_ptr<SpeechTranscriber> transcriber) override;

  // The host opens no network connection: a missing model can only be reported, with the
  // package that provides it.
  asio::awaitable<Expected<std::unique_ptr<AssetInstallationRequest>>> assetInstallationRequest(
      const std::string& locale) override;

  // How many times a model was loaded from disk, and how many reservations a locale holds.
  int modelLoads() const { return cache_->loads(); }
  int reservations(const std::string& locale) const;

  // The model format every PocketSphinx model here is trained on.
  static constexpr AudioFormat kAudioFormat{16000.0, SampleType::int16, 1};

 private:
  asio::any_io_executor executor_;
  PocketSphinxCatalogue catalogue_;
  bool proveInventory_;
  std::shared_ptr<ModelCache> cache_;
  std::map<std::string, int> reservations_;
};

}  // namespace quelvar::pocketsphinx
