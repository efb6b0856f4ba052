// The PocketSphinx service's answers; the work happens in the analyzer and the model cache.
#include "platform/linux/pocketsphinx/PocketSphinxRecognition.hpp"

#include "platform/linux/pocketsphinx/ModelProbe.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxAnalyzer.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxTranscriber.hpp"

namespace quelvar::pocketsphinx {

namespace {

// What a missing model needs: the distribution package, which this program cannot install.
class PackageInstallationRequest final : public AssetInstallationRequest {
 public:
  explicit PackageInstallationRequest(RecogniserModel model) : model_(std::move(model)) {}

  asio::awaitable<Status> downloadAndInstall() override {
    if (PocketSphinxCatalogue::isInstalled(model_)) {
      co_return makeError(ErrorCode::modelNotInstalled,
                          "The speech model for " + model_.locale +
                              " is damaged. Reinstall the package " + model_.package +
                              " (for example: sudo apt install --reinstall " + model_.package +
                              ").");
    }
    co_return makeError(ErrorCode::modelNotInstalled,
                        "The speech model for " + model_.locale +
                            " is not installed. Install the package " + model_.package +
                            " (for example: sudo apt install " + model_.package + ").");
  }

 private:
  RecogniserModel model_;
};

PlatformError unsupported(const std::string& locale) {
  return makeError(ErrorCode::unsupportedLocale, "No speech recogniser for " + locale + ".");
}

}  // namespace

PocketSphinxRecognition::PocketSphinxRecognition(asio::any_io_executor executor,
                                                 PocketSphinxCatalogue catalogue,
                                                 bool proveInventory)
    : executor_(std::move(executor)),
      catalogue_(std::move(catalogue)),
      proveInventory_(proveInventory),
      cache_(makeModelCache()) {}

asio::awaitable<std::optional<std::string>> PocketSphinxRecognition::supportedLocale(
    const std::string& localeIdentifier) {
  const RecogniserModel* model = catalogue_.equivalentTo(localeIdentifier);
  co_return model == nullptr ? std::nullopt : std::optional(model->locale);
}

asio::awaitable<std::vector<std::string>> PocketSphinxRecognition::installedLocales() {
  co_return catalogue_.installedLocales(proveInventory_);
}

asio::awaitable<Expected<bool>> PocketSphinxRecognition::reserve(const std::string& locale) {
  if (catalogue_.find(locale) == nullptr) {
    co_return unsupported(locale);
  }
  ++reservations_[locale];
  co_return true;
}

asio::awaitable<void> PocketSphinxRecognition::release(const std::string& locale) {
  auto found = reservations_.find(locale);
  if (found != reservations_.end() && --found->second == 0) {
    reservations_.erase(found);
  }
  co_return;
}

int PocketSphinxRecognition::reservations(const std::string& locale) const {
  auto found = reservations_.find(locale);
  return found == reservations_.end() ? 0 : found->second;
}

std::shared_ptr<SpeechTranscriber> PocketSphinxRecognition::makeTranscriber(
    const std::string& locale) {
  const RecogniserModel* model = catalogue_.find(locale);
  return std::make_shared<PocketSphinxTranscriber>(
      executor_, locale, model == nullptr ? std::nullopt : std::optional(*model));
}

asio::awaitable<std::optional<AudioFormat>> PocketSphinxRecognition::bestAvailableAudioFormat(
    const SpeechTranscriber& transcriber) {
  const auto* ours = dynamic_cast<const PocketSphinxTranscriber*>(&transcriber);
  if (ours == nullptr || !ours->model()) {
    co_return std::nullopt;
  }
  co_return kAudioFormat;
}

std::shared_ptr<SpeechAnalyzer> PocketSphinxRecognition::makeAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber) {
  // A transcriber of another service yields an analyzer that refuses to start.
  auto ours = std::dynamic_pointer_cast<PocketSphinxTranscriber>(transcriber);
  // The model loads while the rest of the pipeline starts (the translation pipeline above all);
  // the analyzer's start then finds it loaded or waits for the load under way.
  if (ours && ours->model()) {
    // The first load in a process checks the model in a forked child. Forking here, on the
    // caller's thread before the load thread exists, keeps the fork away from threads that may
    // hold locks the child needs; the answer is kept, so later loads do not fork again.
    (void)probeAcousticModel(*ours->model());
    cache_->prefetch(*ours->model());
  }
  return std::make_shared<PocketSphinxAnalyzer>(executor_, cache_, std::move(ours));
}

asio::awaitable<Expected<std::unique_ptr<AssetInstallationRequest>>>
PocketSphinxRecognition::assetInstallationRequest(const std::string& locale) {
  const RecogniserModel* model = catalogue_.find(locale);
  if (model == nullptr) {
    co_return unsupported(locale);
  }
  if (proveInventory_ ? PocketSphinxCatalogue::isUsable(*model)
                      : PocketSphinxCatalogue::isInstalled(*model)) {
    co_return std::unique_ptr<AssetInstallationRequest>();
  }
  co_return std::unique_ptr<AssetInstallationRequest>(
      std::make_unique<PackageInstallationRequest>(*model));
}

}  // namespace quelvar::pocketsphinx
