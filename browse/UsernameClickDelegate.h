#pragma once
// Told when the poster's name on a tile was clicked.

#include <string>

class UsernameClickDelegate {
 public:
  virtual ~UsernameClickDelegate() = default;
  virtual void didTapUsernameLabel(const std::string& username) = 0;
};
