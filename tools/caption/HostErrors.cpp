// What an error event of the speech host means to the person running the client, and what helps.
#include "caption/HostErrors.hpp"

#include "common/ErrorCodes.hpp"

namespace quelvar::caption {
namespace {

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace

std::string explainStartError(std::string_view code, std::string_view detail,
                              std::string_view source, std::string_view target) {
  const std::string header = "the speech host could not start (" + std::string(code) + "): ";
  if (code == error_code::speechUnsupported) {
    return header + "there is no speech recogniser for " + quoted(source) +
           ".\n  Speech models are PocketSphinx packages; for English:\n"
           "    sudo apt install pocketsphinx-en-us\n";
  }
  if (code == error_code::speechModelsMissing) {
    return header + "the speech model for " + quoted(source) +
           " is not installed.\n  Install it, for English with:\n"
           "    sudo apt install pocketsphinx-en-us\n";
  }
  if (code == error_code::modelsNotInstalled) {
    return header + "no installed translation from " + quoted(source) + " to " + quoted(target) +
           ".\n  Translations are Apertium language-pair packages (`apt-cache search apertium-`"
           " lists them);\n  for English to Spanish:\n"
           "    sudo apt install apertium-eng-spa\n";
  }
  if (code == error_code::unsupportedPair) {
    return header + "the languages must be two different language codes such as en and es.\n";
  }
  if (code == error_code::speechUnavailable) {
    return header + "a start-up step failed" +
           (detail.empty() ? std::string() : " (" + std::string(detail) + ")") +
           ".\n  Check that pocketsphinx-en-us and apertium are installed and intact.\n";
  }
  return header + "unexpected answer to \"start\".\n";
}

std::string explainStreamError(std::string_view code) {
  if (code == error_code::recognitionFailed) {
    return "speech recognition failed (RECOGNITION_FAILED); no captions can follow";
  }
  if (code == error_code::translationFailed) {
    return "translating a caption failed (TRANSLATION_FAILED); that caption is missing";
  }
  if (code == error_code::audioSequence || code == error_code::invalidAudio ||
      code == error_code::invalidRequest) {
    return "the speech host refused a message of this client (" + std::string(code) +
           "); its audio is missing";
  }
  return "the speech host reported " + std::string(code);
}

}  // namespace quelvar::caption
