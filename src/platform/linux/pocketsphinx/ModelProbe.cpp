// Whether a speech model can be loaded without risking the process that asks.
#include "platform/linux/pocketsphinx/ModelProbe.hpp"

#include <err.h>
#include <fcntl.h>
#include <pocketsphinx.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include "common/AtomicFile.hpp"
#include "common/Posix.hpp"
#include "platform/linux/pocketsphinx/CacheFiles.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {
namespace {

// A damaged model is refused or ends the child quickly; one that takes longer than this counts as
// damaged too rather than holding up the host.
constexpr auto kProbeLimit = std::chrono::seconds(30);

// In the child: standard output is the host's message channel, so nothing may reach it, and
// only _exit ends the child, so that none of the parent's exit handlers run twice.
[[noreturn]] void loadInChild(const std::string& acousticModel) {
  const int null = ::open("/dev/null", O_RDWR);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    ::dup2(null, fd);
  }
  err_set_logfp(nullptr);
  // No language model and an empty dictionary: only the acoustic model's files are read.
  cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acousticModel.c_str(), "-dict",
                                 "/dev/null", nullptr);
  ::_exit(config != nullptr && ps_init(config) != nullptr ? 0 : 1);
}

std::string describe(int status) {
  if (WIFEXITED(status)) {
    return "it ended the engine with exit status " + std::to_string(WEXITSTATUS(status));
  }
  return "it ended the engine with signal " + std::to_string(WTERMSIG(status));
}

Status probe(const RecogniserModel& model) {
  const std::string acousticModel = model.acousticModel.string();
  const pid_t pid = ::fork();
  if (pid < 0) {
    return makeError(ErrorCode::modelLoadFailed, "The speech model could not be checked.");
  }
  if (pid == 0) {
    loadInChild(acousticModel);
  }
  const ChildEnd end = waitOrKill(pid, kProbeLimit);
  if (end.failed) {
    return makeError(ErrorCode::modelLoadFailed, "The speech model could not be checked.");
  }
  const int status = end.status;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    return {};
  }
  return makeError(ErrorCode::modelLoadFailed,
                   "The speech model for " + model.locale + " is damaged: " + describe(status) +
                       ". Reinstall the package " + model.package + ".");
}

// A model that loaded in a child loads again as long as its files are the same ones, so a success
// is also kept in the cache folder: later hosts then start without forking for it. Only a
// success is kept; a failure is checked again each time.
constexpr std::string_view kProven = "quelvar acoustic model loads 1 ";

std::optional<std::string> provenRecord(const RecogniserModel& model) {
  std::vector<std::filesystem::path> files{
      model.acousticModel};  // it changes when files come or go
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(model.acousticModel, error)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin() + 1, files.end());
  const std::optional<std::string> identity = error ? std::nullopt : fingerprint(files);
  return identity ? std::optional(std::string(kProven) + *identity + '\n') : std::nullopt;
}

Status probeOrRecall(const RecogniserModel& model) {
  const std::filesystem::path file = cacheFile(model, ".loads");
  const std::optional<std::string> record = file.empty() ? std::nullopt : provenRecord(model);
  if (record && readWholeFile(file) == record) {
    return {};
  }
  Status verdict = probe(model);
  if (verdict.ok() && record) {
    std::error_code ignored;
    std::filesystem::create_directories(model.cacheFolder, ignored);
    (void)writeFileAtomically(file, *record);  // if it fails, the next host checks again
  }
  return verdict;
}

}  // namespace

Status probeAcousticModel(const RecogniserModel& model) {
  static std::mutex mutex;
  static std::map<std::string, Status> verdicts;
  std::lock_guard lock(mutex);
  const auto [found, added] = verdicts.try_emplace(model.acousticModel.string());
  if (added) {
    found->second = probeOrRecall(model);
  }
  return found->second;
}

}  // namespace quelvar::pocketsphinx
