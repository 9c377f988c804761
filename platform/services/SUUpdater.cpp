#include "platform/services/SUUpdater.h"

#include "platform/foundation/OutputSink.h"

void SUUpdater::checkForUpdates(const std::shared_ptr<NSObject>&) {
  ++userChecks_;
  OutputSink::print(Constants::noUpdatesLine);
}
