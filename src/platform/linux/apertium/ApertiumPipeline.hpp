// One running pipeline of an Apertium mode's programs, joined by pipes, in NUL-flush mode.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Posix.hpp"
#include "platform/PlatformError.hpp"
#include "platform/async/Asio.hpp"
#include "platform/linux/apertium/ModeCommand.hpp"

namespace quelvar::apertium {

// Each NUL-terminated segment written to the first program comes out of the last one
// NUL-terminated, so the programs stay loaded between segments. All I/O is asynchronous on the
// executor the pipeline was started with.
class ApertiumPipeline : public std::enable_shared_from_this<ApertiumPipeline> {
 public:
  // Starts every program, or none: a program that cannot be started ends those already running.
  static Expected<std::shared_ptr<ApertiumPipeline>> start(
      const asio::any_io_executor& executor, const std::vector<ProgramCommand>& programs);

  ApertiumPipeline(const ApertiumPipeline&) = delete;
  ApertiumPipeline& operator=(const ApertiumPipeline&) = delete;
  ~ApertiumPipeline();

  // Writes one segment (the NUL is added here) and reads the answer up to its NUL. An exchange
  // that does not complete, a cancelled one included, stops the pipeline: the answers of the
  // stream could no longer be matched to their segments.
  asio::awaitable<Expected<std::string>> exchange(std::string segment);

  // True while no program has ended; programs that have ended are reaped here.
  bool isRunning();

  // Kills and reaps every program and closes the pipes; a pending exchange fails at once.
  void stop();

  std::vector<pid_t> processIds() const;

 private:
  ApertiumPipeline(const asio::any_io_executor& executor, FileDescriptor toFirst,
                   FileDescriptor fromLast, std::vector<Child> children);

  void startWriting(std::string segment);

  asio::posix::stream_descriptor input_;   // to the first program
  asio::posix::stream_descriptor output_;  // from the last program
  std::vector<Child> children_;
  bool stopped_ = false;
};

}  // namespace quelvar::apertium
