// The request loop, the reply envelope and the dispatch on the request type.
#include "QuelvarHost/Host.hpp"

#include <unistd.h>

#include <exception>
#include <optional>
#include <string_view>

#include "QuelvarHost/Requests.hpp"
#include "QuelvarHost/WarmSessions.hpp"
#include "common/Json.hpp"
#include "common/Posix.hpp"

namespace quelvar {

namespace {

void reportBrokenTransport(int fd) {
  constexpr std::string_view line = "Invalid native messaging transport.\n";
  // The process ends right after this line, so a failed write has nowhere to be reported.
  writeAll(fd, line);
}

// The reply every request starts from, before anything about it has been checked.
nlohmann::json envelope(const nlohmann::json& request) {
  const std::string* id = stringField(request, "id");
  return {{"version", 1}, {"id", id != nullptr ? *id : std::string()}, {"ok", false}};
}

// The reply to a request whose own answer could not be given.
nlohmann::json failedReply(const nlohmann::json& request, const std::string& type) {
  nlohmann::json reply = envelope(request);
  host::fail(reply, type == "translate"         ? host::kTranslationFailed
                    : type == "download-speech" ? host::kSpeechDownloadFailed
                                                : host::kInvalidRequest);
  return reply;
}

bool hasValidEnvelope(const nlohmann::json& request, const nlohmann::json& reply) {
  const auto version = request.find("version");
  return version != request.end() && version->is_number() && wholeNumber(*version) == 1 &&
         !reply["id"].get_ref<const std::string&>().empty() &&
         stringField(request, "type") != nullptr;
}

// Runs one request on the context until its reply is ready. The engines finish their work on
// threads of their own and post back to the context, so it is driven one handler at a time.
// Nothing when the request ended without a reply (only memory exhaustion can do that).
std::optional<nlohmann::json> answer(asio::io_context& context, nlohmann::json request,
                                     HostServices services) {
  bool done = false;
  std::optional<nlohmann::json> reply;
  asio::co_spawn(context, Host::respond(std::move(request), services),
                 [&](std::exception_ptr error, nlohmann::json result) {
                   done = true;
                   if (!error) {
                     reply = std::move(result);
                   }
                 });
  while (!done) {
    if (context.stopped()) {
      context.restart();
    }
    context.run_one();
  }
  return reply;
}

}  // namespace

int Host::main(asio::io_context& context, HostServices services, HostStreams streams) {
  // Keeps run_one() waiting while an engine works elsewhere instead of returning early.
  const auto busy = asio::make_work_guard(context);
  host::WarmSessions warm;  // ended on every way out of the loop
  services.warm = &warm;
  for (;;) {
    FrameResult frame = readFrame(streams.input);
    if (frame.kind == FrameResult::Kind::end) {
      return 0;
    }
    std::optional<nlohmann::json> request;
    if (frame.kind == FrameResult::Kind::body) {
      request = parseObject(frame.body);
    }
    std::optional<nlohmann::json> reply;
    if (request) {
      reply = answer(context, std::move(*request), services);
    }
    if (!reply || !write(*reply, streams.output)) {
      reportBrokenTransport(streams.error);
      return 1;
    }
  }
}

asio::awaitable<nlohmann::json> Host::respond(nlohmann::json request, HostServices services) {
  nlohmann::json reply = envelope(request);
  if (!hasValidEnvelope(request, reply)) {
    host::fail(reply, host::kInvalidRequest);
    co_return reply;
  }
  const std::string& type = *stringField(request, "type");
  try {
    if (type == "ping") {
      host::succeed(reply);
      reply["text"] = "pong";
    } else if (type == "languages") {
      co_await host::answerLanguages(reply, services);
    } else if (type == "download-speech") {
      co_await host::answerDownloadSpeech(request, reply, services);
    } else if (type == "translate") {
      co_await host::answerTranslate(request, reply, services);
    } else {
      host::fail(reply, host::kInvalidRequest);
    }
  } catch (const std::exception&) {
    // Services report failures as values; anything thrown is answered, never passed on.
    reply = failedReply(request, type);
  }
  // The browser drops the connection of a host that writes a larger frame; only this request
  // fails instead.
  if (!fitsOutboundFrame(reply)) {
    reply = failedReply(request, type);
  }
  co_return reply;
}

ReadResult Host::readExactly(std::int64_t count, int fd) {
  return quelvar::readExactly(fd, count);
}

bool Host::write(const nlohmann::json& reply, int fd) {
  return writeFrame(fd, reply);
}

}  // namespace quelvar
