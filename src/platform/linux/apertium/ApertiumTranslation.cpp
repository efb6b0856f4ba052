// The translation service on Apertium: installed modes, packaged pairs and persistent pipelines.
#include "platform/linux/apertium/ApertiumTranslation.hpp"

namespace quelvar::apertium {

ApertiumTranslation::ApertiumTranslation(asio::any_io_executor executor,
                                         std::shared_ptr<Clock> clock, ModeCatalogue catalogue,
                                         SessionOptions options)
    : executor_(std::move(executor)),
      clock_(std::move(clock)),
      catalogue_(std::move(catalogue)),
      options_(std::move(options)) {}

namespace {

template <class T>
asio::awaitable<T> ready(T value) {
  co_return value;
}

}  // namespace

// The answers are worked out at the call, so the awaitable holds no reference to the arguments.
asio::awaitable<std::vector<std::string>> ApertiumTranslation::supportedLanguages() {
  return ready(catalogue_.supportedLanguages());
}

asio::awaitable<LanguageStatus> ApertiumTranslation::status(const std::string& source,
                                                            const std::string& target) {
  return ready(catalogue_.status(source, target));
}

std::shared_ptr<TranslationSession> ApertiumTranslation::makeSession(const std::string& source,
                                                                     const std::string& target) {
  // The route is chosen now; a direction that is not installed gets a session that cannot prepare.
  return std::make_shared<ApertiumSession>(executor_, clock_, catalogue_.route(source, target),
                                           options_);
}

}  // namespace quelvar::apertium
