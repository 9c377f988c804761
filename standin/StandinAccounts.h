#pragma once
// The stand-in's accounts: users with their passwords and whether they must still accept
// the terms of service, and the tokens that sign them in, each with the moment it stops
// being valid. Tests seed them; the routes read them. Safe to use from any thread. Moments
// are seconds since 1970 on the platform's clock (the manual clock in tests).

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/StandinChanges.h"

struct StandinUser {
  std::int64_t userid = 0;
  std::string username;
  std::string password;
  std::string email;
  bool needsTermsAcceptance = false;
};

class StandinAccounts {
 public:
  // How long a token handed out at log-in or sign-up stays valid.
  static constexpr double tokenLifetime = 30.0 * 24 * 3600;

  // A new user with the next free id.
  StandinUser seedUser(const std::string& username, const std::string& password = "", bool needsTermsAcceptance = false);
  // Signs the user in with `token` (an earlier holder of the token loses it); without
  // `expires` the token never expires.
  void seedToken(const std::string& token, std::int64_t userid, std::optional<double> expires = std::nullopt);
  // A new token for the user, valid for tokenLifetime from now, and the moment it expires.
  std::pair<std::string, double> issueToken(std::int64_t userid);
  // Forgets the token; false when it was unknown.
  bool revokeToken(const std::string& token);
  // The user of a valid token: none for a token never issued, ended or expired.
  std::optional<StandinUser> userForToken(const std::string& token) const;
  std::optional<StandinUser> user(std::int64_t userid) const;
  std::optional<StandinUser> userNamed(const std::string& username) const;
  // Every user, by id.
  std::vector<StandinUser> users() const;
  void setNeedsTermsAcceptance(std::int64_t userid, bool needed);
  // The tokens the user holds, in the order they were made.
  std::vector<std::string> tokensOf(std::int64_t userid) const;
  void reset() { restore({}); }

  // Everything held, as a file keeps it, and the way back to it.
  struct KeptToken {
    std::string token;
    std::int64_t userid = 0;
    std::optional<double> expires;
  };
  struct Contents {
    std::vector<StandinUser> users;
    std::vector<KeptToken> tokens;  // in the order they were made
    std::int64_t nextUserId = 700;
  };
  Contents contents() const;
  void restore(Contents contents);
  // Called after each change (see StandinChanges).
  void setChangeObserver(std::function<void()> observer) { changes_.setObserver(std::move(observer)); }

 private:
  struct Token {
    std::int64_t userid = 0;
    std::optional<double> expires;
    std::uint64_t made = 0;
  };
  StandinChanges changes_;
  mutable std::mutex mutex_;
  std::map<std::int64_t, StandinUser> users_;
  std::map<std::string, Token> tokens_;
  std::int64_t nextUserId_ = 700;
  std::uint64_t nextToken_ = 1;
};
