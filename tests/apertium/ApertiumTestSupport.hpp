// Helpers for the Apertium tests: bounded runs of the io_context, mode folders, child processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "CaptionTestSupport.hpp"
#include "platform/async/Asio.hpp"

namespace quelvar::apertium::testing {

template <class T>
asio::awaitable<void> storeResult(asio::awaitable<T> work,
                                  std::shared_ptr<std::optional<T>> result) {
  result->emplace(co_await std::move(work));
}

// Runs the io_context until `done` or the limit has passed: waits on events, never sleeps.
inline void runUntil(asio::io_context& io, const std::function<bool()>& done,
                     std::chrono::seconds limit = std::chrono::seconds(30)) {
  io.restart();
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    io.run_one_until(deadline);
  }
}

template <class T>
std::optional<T> runUntilDone(asio::io_context& io, asio::awaitable<T> work) {
  // Shared: a coroutine that outlives a failed test still writes its result somewhere.
  auto result = std::make_shared<std::optional<T>>();
  asio::co_spawn(io, storeResult(std::move(work), result), asio::detached);
  runUntil(io, [&] { return result->has_value(); });
  return std::move(*result);
}

// A folder of mode files that is removed again.
struct ModeFolder : caption::testing::TempDir {
  std::filesystem::path add(const std::string& name, const std::string& commandLine) const {
    std::filesystem::path mode = file(name + ".mode");
    std::ofstream(mode) << commandLine << "\n";
    return mode;
  }
  std::filesystem::path path() const { return TempDir::path(); }
};

// What each open descriptor of a process points at, by number.
inline std::map<int, std::string> openDescriptors(pid_t pid) {
  std::map<int, std::string> fds;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    fds[std::stoi(entry.path().filename().string())] =
        std::filesystem::read_symlink(entry.path(), error).string();
  }
  return fds;
}

inline bool processExists(pid_t pid) {
  return std::filesystem::exists("/proc/" + std::to_string(pid));
}

}  // namespace quelvar::apertium::testing
