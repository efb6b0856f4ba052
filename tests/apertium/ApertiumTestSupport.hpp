// Helpers for the Apertium tests: bounded runs of the io_context, mode folders, child processes.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
class ModeFolder {
 public:
  ModeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quelvar-modes-XXXXXX");
    path_ = ::mkdtemp(pattern.data());
  }
  ~ModeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::filesystem::path add(const std::string& name, const std::string& commandLine) {
    auto file = path_ / (name + ".mode");
    std::ofstream(file) << commandLine << "\n";
    return file;
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Pids of this process's children, zombies included, read from /proc.
inline std::vector<pid_t> childProcesses() {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) {
      continue;
    }
    // pid (comm) state ppid ...; comm may hold spaces, so read after the last ')'.
    auto close = line.rfind(')');
    if (close == std::string::npos) {
      continue;
    }
    char state = 0;
    long parent = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 &&
        parent == ::getpid()) {
      children.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
  }
  return children;
}

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
