#include "ui/InterfaceFunctions.h"

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Paths.h"

void mergeStringDictionary(StringDictionary& target, const StringDictionary& source) {
  for (const auto& [key, value] : source) target[key] = value;
}

std::shared_ptr<NSURL> applicationSupportDirectoryURL() {
  auto url = NSURL::fileURLWithPath(Paths::applicationSupport().string(), true);
  if (auto created = NSFileManager::defaultManager()->createDirectoryAtURL(url, true); !created) {
    OutputSink::print("Could not create the application support folder: " + created.error()->localizedDescription());
  }
  return url;
}

std::shared_ptr<NSURL> gifDataDirectoryURL() {
  auto url = applicationSupportDirectoryURL()->URLByAppendingPathComponent("gifdata", true);
  // A folder that cannot be made shows itself when a file is written into it.
  (void)NSFileManager::defaultManager()->createDirectoryAtURL(url, true);
  return url;
}
