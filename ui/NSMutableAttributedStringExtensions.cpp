#include "ui/NSMutableAttributedStringExtensions.h"

#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Unicode.h"

void addClickoutURLToSubstring(const std::shared_ptr<NSMutableAttributedString>& text, std::string_view substring,
                               const std::shared_ptr<NSURL>& url) {
  if (!text || !url || substring.empty()) return;
  // Ranges of attributed text count UTF-16 units.
  std::u16string whole = Unicode::toUtf16(text->string());
  std::u16string part = Unicode::toUtf16(substring);
  auto found = whole.find(part);
  if (found == std::u16string::npos) return;
  text->beginEditing();
  text->addAttribute(NSLinkAttributeName, NSString::make(url->absoluteString()), NSRange{found, part.size()});
  text->endEditing();
}
