#pragma once
// The fixture of suites that talk to the service: GlimdeckTest plus the stand-in server,
// started in-process once per test program on a free port of 127.0.0.1, with its log,
// faults and stalls cleared before every test and GLIMDECK_SERVICE_URL pointing at it.
// Routes a test adds are removed when the test ends.

#include <memory>
#include <string>

#include "standin/StandinServer.h"
#include "tests/support/TestEnvironment.h"

class StandinTest : public GlimdeckTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  StandinServer& standin() { return *standin_; }
  std::shared_ptr<StandinServer> standinShared() { return standin_; }
  // The stand-in's base URL followed by `path` ("/v1/search").
  std::string standinURL(const std::string& path) const { return standin_->baseURL() + path; }

 private:
  std::shared_ptr<StandinServer> standin_;
  std::size_t routesAtStart_ = 0;
};
