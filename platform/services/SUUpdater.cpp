#include "platform/services/SUUpdater.h"

#include "platform/appkit/NSAlert.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"

std::string SUUpdater::upToDateText() { return Paths::applicationName() + std::string(Constants::upToDateMessage); }

void SUUpdater::checkForUpdates(const std::shared_ptr<NSObject>&) {
  ++userChecks_;
  OutputSink::print(Constants::noUpdatesLine);
  // The user asked and waits for an answer: a line in a log nobody reads is none.
  auto alert = NSAlert::make();
  alert->messageText = upToDateText();
  alert->informativeText = std::string(Constants::upToDateDetail);
  alert->addButtonWithTitle("OK");
  alert->runModal();
}
