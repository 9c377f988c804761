#pragma once
// Links a part of a text (the terms and privacy links of the forms).

#include <memory>
#include <string_view>

class NSMutableAttributedString;
class NSURL;

// Links the first occurrence of the substring to the URL's absolute string; a substring that
// is not there (or an empty one) changes nothing.
void addClickoutURLToSubstring(const std::shared_ptr<NSMutableAttributedString>& text, std::string_view substring,
                               const std::shared_ptr<NSURL>& url);
