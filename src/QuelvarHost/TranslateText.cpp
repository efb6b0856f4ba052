// "translate": one text through an installed translation direction.
#include <cstddef>
#include <memory>
#include <string>

#include "QuelvarHost/RequestFields.hpp"
#include "QuelvarHost/Requests.hpp"
#include "QuelvarHost/WarmSessions.hpp"
#include "common/Text.hpp"

namespace quelvar::host {

namespace {

constexpr std::size_t kMaxTextLength = 8000;  // user-perceived characters

}  // namespace

asio::awaitable<void> answerTranslate(const nlohmann::json& request, nlohmann::json& reply,
                                      HostServices services) {
  // The first check that fails decides the reply; the text is judged before the tags.
  const std::string* text = stringField(request, "text");
  if (text == nullptr || isBlank(*text) || graphemeCount(*text) > kMaxTextLength) {
    fail(reply, kInvalidRequest);
    co_return;
  }
  const std::string* source = stringField(request, "source");
  const std::string* target = stringField(request, "target");
  if (source == nullptr || target == nullptr) {
    fail(reply, kInvalidRequest);
    co_return;
  }
  if (!isValidPair(*source, *target)) {
    fail(reply, kUnsupportedPair);
    co_return;
  }

  // The tags go to the platform exactly as sent: no case change, no mapping.
  switch (co_await services.translation.status(*source, *target)) {
    case LanguageStatus::installed:
      break;
    case LanguageStatus::supported:
      fail(reply, kModelsNotInstalled);
      co_return;
    default:
      fail(reply, kUnsupportedPair);
      co_return;
  }

  // A session kept from an earlier request of this direction is already prepared.
  std::shared_ptr<TranslationSession> session =
      services.warm != nullptr ? services.warm->find(*source, *target) : nullptr;
  if (session == nullptr) {
    session = services.translation.makeSession(*source, *target);
    if (session == nullptr || !(co_await session->prepareTranslation()).ok()) {
      fail(reply, kTranslationFailed);
      co_return;
    }
    if (services.warm != nullptr) {
      services.warm->keep(*source, *target, session);
    }
  }
  // Untrimmed: the whitespace the text was sent with is part of what is translated.
  Expected<std::string> translation = co_await session->translate(*text);
  if (!translation.ok()) {
    if (services.warm != nullptr) {
      services.warm->drop(*source, *target);  // the next request starts afresh
    }
    fail(reply, kTranslationFailed);
    co_return;
  }
  succeed(reply);
  reply["text"] = cleanUpTranslation(translation.value(), *target);
}

}  // namespace quelvar::host
