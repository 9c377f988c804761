#include "standin/StandinAccounts.h"

StandinUser StandinAccounts::seedUser(const std::string& username) {
  std::lock_guard lock(mutex_);
  StandinUser user{nextUserId_++, username};
  users_[user.userid] = user;
  return user;
}

void StandinAccounts::seedToken(const std::string& token, std::int64_t userid) {
  std::lock_guard lock(mutex_);
  tokens_[token] = userid;
}

std::optional<StandinUser> StandinAccounts::userForToken(const std::string& token) const {
  std::lock_guard lock(mutex_);
  auto found = tokens_.find(token);
  if (found == tokens_.end()) return std::nullopt;
  auto user = users_.find(found->second);
  if (user == users_.end()) return std::nullopt;
  return user->second;
}

std::optional<StandinUser> StandinAccounts::user(std::int64_t userid) const {
  std::lock_guard lock(mutex_);
  auto found = users_.find(userid);
  if (found == users_.end()) return std::nullopt;
  return found->second;
}

void StandinAccounts::reset() {
  std::lock_guard lock(mutex_);
  users_.clear();
  tokens_.clear();
  nextUserId_ = 700;
}
