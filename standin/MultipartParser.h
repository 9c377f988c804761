#pragma once
// Reads multipart/form-data bodies from their raw bytes. The stand-in does this itself,
// rather than leaving it to its HTTP library, so that the log keeps the body exactly as it
// came and so that part headers such as `name="tags";` (a name followed by a semicolon)
// keep their names.

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin/StandinRequest.h"

namespace MultipartParser {

// True when a Content-Type value names multipart/form-data (any letter case).
bool isMultipartFormData(std::string_view contentType);

// The boundary parameter of a multipart Content-Type value, unquoted; it may hold spaces
// when it is the last parameter. Nothing when there is none or it is empty.
std::optional<std::string> boundaryOf(std::string_view contentType);

// The parts of `body`, in order. A body that has no opening delimiter, a part without a
// blank line after its headers, or no close delimiter is an error with the reason.
std::expected<std::vector<StandinPart>, std::string> parse(std::string_view body, std::string_view boundary);

}  // namespace MultipartParser
