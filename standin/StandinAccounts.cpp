#include "standin/StandinAccounts.h"

#include <algorithm>
#include <random>

#include "platform/foundation/NSDate.h"

namespace {

double now() { return NSDate::date()->timeIntervalSince1970(); }

}  // namespace

StandinUser StandinAccounts::seedUser(const std::string& username, const std::string& password, bool needsTermsAcceptance) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  StandinUser user{nextUserId_++, username, password, "", needsTermsAcceptance};
  users_[user.userid] = user;
  return user;
}

void StandinAccounts::seedToken(const std::string& token, std::int64_t userid, std::optional<double> expires) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  tokens_[token] = Token{userid, expires, nextToken_++};
}

std::pair<std::string, double> StandinAccounts::issueToken(std::int64_t userid) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  std::string token;
  do {
    token = "tok-" + std::to_string(random());
  } while (tokens_.contains(token));
  const double expires = now() + tokenLifetime;
  tokens_[token] = Token{userid, expires, nextToken_++};
  return {token, expires};
}

bool StandinAccounts::revokeToken(const std::string& token) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  return tokens_.erase(token) != 0;
}

std::optional<StandinUser> StandinAccounts::userForToken(const std::string& token) const {
  std::lock_guard lock(mutex_);
  auto found = tokens_.find(token);
  if (found == tokens_.end()) return std::nullopt;
  if (found->second.expires && !(*found->second.expires > now())) return std::nullopt;
  auto user = users_.find(found->second.userid);
  if (user == users_.end()) return std::nullopt;
  return user->second;
}

std::optional<StandinUser> StandinAccounts::user(std::int64_t userid) const {
  std::lock_guard lock(mutex_);
  auto found = users_.find(userid);
  if (found == users_.end()) return std::nullopt;
  return found->second;
}

std::optional<StandinUser> StandinAccounts::userNamed(const std::string& username) const {
  std::lock_guard lock(mutex_);
  for (const auto& [id, user] : users_) {
    if (user.username == username) return user;
  }
  return std::nullopt;
}

std::vector<StandinUser> StandinAccounts::users() const {
  std::lock_guard lock(mutex_);
  std::vector<StandinUser> all;
  for (const auto& [id, user] : users_) all.push_back(user);
  return all;
}

void StandinAccounts::setNeedsTermsAcceptance(std::int64_t userid, bool needed) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  if (auto found = users_.find(userid); found != users_.end()) found->second.needsTermsAcceptance = needed;
}

std::vector<std::string> StandinAccounts::tokensOf(std::int64_t userid) const {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::uint64_t, std::string>> held;
  for (const auto& [token, record] : tokens_) {
    if (record.userid == userid) held.emplace_back(record.made, token);
  }
  std::sort(held.begin(), held.end());
  std::vector<std::string> out;
  for (auto& [made, token] : held) out.push_back(std::move(token));
  return out;
}

StandinAccounts::Contents StandinAccounts::contents() const {
  std::lock_guard lock(mutex_);
  Contents contents;
  for (const auto& [id, user] : users_) contents.users.push_back(user);
  std::vector<std::pair<std::uint64_t, KeptToken>> made;
  for (const auto& [token, record] : tokens_) made.push_back({record.made, {token, record.userid, record.expires}});
  std::ranges::sort(made, {}, &decltype(made)::value_type::first);
  for (auto& [order, token] : made) contents.tokens.push_back(std::move(token));
  contents.nextUserId = nextUserId_;
  return contents;
}

void StandinAccounts::restore(Contents contents) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  users_.clear();
  tokens_.clear();
  for (auto& user : contents.users) users_[user.userid] = std::move(user);
  nextToken_ = 1;
  for (auto& token : contents.tokens) tokens_[std::move(token.token)] = Token{token.userid, token.expires, nextToken_++};
  nextUserId_ = contents.nextUserId;
}
