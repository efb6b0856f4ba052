// Translation sessions kept running between requests, one per direction, within a bound.
#include "QuelvarHost/WarmSessions.hpp"

#include <algorithm>

namespace quelvar::host {

std::vector<WarmSessions::Entry>::iterator WarmSessions::locate(const std::string& source,
                                                                const std::string& target) {
  return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return entry.source == source && entry.target == target;
  });
}

std::shared_ptr<TranslationSession> WarmSessions::find(const std::string& source,
                                                       const std::string& target) {
  auto found = locate(source, target);
  if (found == entries_.end()) {
    return nullptr;
  }
  std::rotate(found, found + 1, entries_.end());
  return entries_.back().session;
}

void WarmSessions::keep(const std::string& source, const std::string& target,
                        std::shared_ptr<TranslationSession> session) {
  drop(source, target);
  if (capacity_ == 0) {
    session->cancel();
    return;
  }
  if (entries_.size() >= capacity_) {
    entries_.front().session->cancel();
    entries_.erase(entries_.begin());
  }
  entries_.push_back({source, target, std::move(session)});
}

void WarmSessions::drop(const std::string& source, const std::string& target) {
  auto found = locate(source, target);
  if (found != entries_.end()) {
    found->session->cancel();
    entries_.erase(found);
  }
}

void WarmSessions::clear() {
  for (auto& entry : entries_) {
    entry.session->cancel();
  }
  entries_.clear();
}

}  // namespace quelvar::host
