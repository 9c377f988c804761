#include "app/LegacyArchiveNames.h"

#include <string>

#include "model/PlovexUser.h"
#include "account/QuorbUser.h"
#include "model/VornObject.h"
#include "platform/foundation/NSKeyedUnarchiver.h"

void registerLegacyArchiveClassNames() {
  // The records register themselves when their code is linked in; naming them here makes
  // sure it is, whatever else the program uses.
  NSKeyedUnarchiver::registerClass("VornObject", [](NSCoder& coder) -> id { return VornObject::initWithCoder(coder); });
  NSKeyedUnarchiver::registerClass("PlovexUser", [](NSCoder& coder) -> id { return PlovexUser::initWithCoder(coder); });
  NSKeyedUnarchiver::registerClass("QuorbUser", [](NSCoder& coder) -> id { return QuorbUser::initWithCoder(coder); });
  for (const char* module : {"Zolto", "Glimdeck", "Zolto_Glimdeck_for_Mac"}) {
    for (const char* record : {"VornObject", "PlovexUser", "QuorbUser"}) {
      NSKeyedUnarchiver::setClass(record, std::string(module) + "." + record);
    }
  }
}
