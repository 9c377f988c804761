#include "service/InterfaceFunctions.h"

void mergeStringDictionary(StringDictionary& target, const StringDictionary& source) {
  for (const auto& [key, value] : source) target[key] = value;
}
