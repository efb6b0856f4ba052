// Translation sessions kept running between requests, one per direction, within a bound.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Translation.hpp"

namespace quelvar::host {

// Starting a translation engine costs far more than a translation, so a prepared session stays up
// for the life of the host and later requests of its direction reuse it. When more directions
// are in use than the bound allows, the least recently used session is ended. Every session is
// ended when the set goes, so no engine outlives the host.
class WarmSessions {
 public:
  static constexpr std::size_t kDefaultCapacity = 2;  // a running pair holds about 200 MB

  explicit WarmSessions(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}
  WarmSessions(const WarmSessions&) = delete;
  WarmSessions& operator=(const WarmSessions&) = delete;
  ~WarmSessions() { clear(); }

  // The session of a direction, now the most recently used; nullptr when none is kept.
  std::shared_ptr<TranslationSession> find(const std::string& source, const std::string& target);
  // Keeps a prepared session as the most recently used one, ending the least recently used.
  void keep(const std::string& source, const std::string& target,
            std::shared_ptr<TranslationSession> session);
  // Ends and forgets the session of a direction, such as one that failed.
  void drop(const std::string& source, const std::string& target);
  void clear();

 private:
  struct Entry {
    std::string source;
    std::string target;
    std::shared_ptr<TranslationSession> session;
  };
  std::vector<Entry>::iterator locate(const std::string& source, const std::string& target);

  std::size_t capacity_;
  std::vector<Entry> entries_;  // most recently used last
};

}  // namespace quelvar::host
