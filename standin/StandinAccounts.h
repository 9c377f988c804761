#pragma once
// The stand-in's accounts: users and the tokens that sign them in. Tests seed them; the
// routes read them. Safe to use from any thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct StandinUser {
  std::int64_t userid = 0;
  std::string username;
};

class StandinAccounts {
 public:
  // A new user with the next free id.
  StandinUser seedUser(const std::string& username);
  // Signs the user in with `token` (an earlier holder of the token loses it).
  void seedToken(const std::string& token, std::int64_t userid);
  std::optional<StandinUser> userForToken(const std::string& token) const;
  std::optional<StandinUser> user(std::int64_t userid) const;
  void reset();

 private:
  mutable std::mutex mutex_;
  std::map<std::int64_t, StandinUser> users_;
  std::map<std::string, std::int64_t> tokens_;
  std::int64_t nextUserId_ = 700;
};
