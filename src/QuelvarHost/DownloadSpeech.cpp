// "download-speech": makes sure the speech model of one language is installed.
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "QuelvarHost/RequestFields.hpp"
#include "QuelvarHost/Requests.hpp"
#include "common/Text.hpp"

namespace quelvar::host {

namespace {

// Asks for the missing assets and installs them; true when nothing is missing any more.
asio::awaitable<bool> install(SpeechRecognitionService& speech, const std::string& locale) {
  Expected<std::unique_ptr<AssetInstallationRequest>> request =
      co_await speech.assetInstallationRequest(locale);
  if (!request.ok()) {
    co_return false;
  }
  if (request.value() == nullptr) {
    co_return true;  // already installed
  }
  co_return (co_await request.value()->downloadAndInstall()).ok();
}

}  // namespace

asio::awaitable<void> answerDownloadSpeech(const nlohmann::json& request, nlohmann::json& reply,
                                           HostServices services) {
  const std::string* source = stringField(request, "source");
  if (source == nullptr || !isSpeechLanguageTag(*source)) {
    fail(reply, kInvalidRequest);
    co_return;
  }
  const std::optional<std::string> locale =
      co_await services.speech.supportedLocale(speechLocaleCode(*source));
  if (!locale) {
    fail(reply, kSpeechUnsupported);
    co_return;
  }
  const Expected<bool> reservation = co_await services.speech.reserve(*locale);
  if (!reservation.ok()) {
    fail(reply, kSpeechDownloadFailed);
    co_return;
  }
  const bool reserved = reservation.value();

  // Whatever happens from here on, a reservation this request was granted is given back once.
  bool installed = false;
  try {
    installed = co_await install(services.speech, *locale);
  } catch (const std::exception&) {
    installed = false;
  }
  if (reserved) {
    co_await services.speech.release(*locale);
  }
  if (installed) {
    succeed(reply);
  } else {
    fail(reply, kSpeechDownloadFailed);
  }
}

}  // namespace quelvar::host
