#include "model/ModelSupport.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace ModelSupport {

std::optional<std::string> text(const id& value) {
  if (auto string = asA<NSString>(value)) return string->string();
  return std::nullopt;
}

std::optional<std::int64_t> integer(const id& value) {
  auto number = asA<NSNumber>(value);
  if (!number || number->isBool() || !number->isWholeNumber()) return std::nullopt;
  return number->integerValue();
}

std::optional<bool> flag(const id& value) {
  auto number = asA<NSNumber>(value);
  if (!number || !number->isBool()) return std::nullopt;
  return number->boolValue();
}

std::optional<std::vector<std::string>> textList(const id& value) {
  auto list = asA<NSArray>(value);
  if (!list) return std::nullopt;
  std::vector<std::string> texts;
  texts.reserve(list->count());
  for (const id& element : *list) {
    auto string = asA<NSString>(element);
    if (!string) return std::nullopt;
    texts.push_back(string->string());
  }
  return texts;
}

id textListObject(const std::vector<std::string>& texts) {
  std::vector<id> objects;
  objects.reserve(texts.size());
  for (const auto& text : texts) objects.push_back(NSString::make(text));
  return NSArray::make(std::move(objects));
}

id textOrNull(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  return NSString::make(*text);
}

double mainWindowScale() {
  auto window = NSApplication::sharedApplication()->mainWindow();
  return window ? window->backingScaleFactor : 1.0;
}

}  // namespace ModelSupport
