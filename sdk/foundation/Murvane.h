#pragma once
// The SDK's shared object. The application hands it the kits it wants (crash reporting,
// say) once at launch; each kit is started at most once for the life of the process.

#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/foundation/NSObject.h"

// A kit of the SDK. A kit "class" is the one static object of its kind, which the kit's own
// header hands out (see Veverovodod::kitClass); the SDK starts it through this interface.
class MurvaneKit {
 public:
  virtual ~MurvaneKit() = default;
  virtual std::string_view kitName() const = 0;
  // Called once, by the SDK, on the thread that starts the SDK.
  virtual void start() = 0;
};

using MurvaneKitClass = MurvaneKit*;

class Murvane : public NSObject {
 public:
  GLIMDECK_OBJECT(Murvane)

  // Starts the kits not started yet, in the order given, and answers the shared SDK object.
  static std::shared_ptr<Murvane> with(const std::vector<MurvaneKitClass>& kits);
  static std::shared_ptr<Murvane> sharedInstance();

  // Whether the kit has been started by this process's SDK.
  bool hasStarted(MurvaneKitClass kit) const;

 private:
  Murvane() = default;

  mutable std::mutex mutex_;
  std::vector<MurvaneKitClass> started_;
};
