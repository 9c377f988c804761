#include "standin/MultipartParser.h"
#include "standin/TextHelpers.h"

#include <cctype>

using standin::lower;
using standin::trimmed;

namespace {

// Splits header parameters on ";" outside double quotes.
std::vector<std::string_view> parameters(std::string_view value) {
  std::vector<std::string_view> out;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"') quoted = !quoted;
    if (value[i] == ';' && !quoted) {
      out.push_back(trimmed(value.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(trimmed(value.substr(start)));
  return out;
}

std::string unquoted(std::string_view value) {
  value = trimmed(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// Fills the name, file name and content type of `part` from its header block.
void readHeaders(std::string_view block, StandinPart& part) {
  while (!block.empty()) {
    const auto end = block.find("\r\n");
    const std::string_view line = block.substr(0, end);
    block = end == std::string_view::npos ? std::string_view() : block.substr(end + 2);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = lower(trimmed(line.substr(0, colon)));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (name == "content-type") {
      part.contentType = std::string(value);
    } else if (name == "content-disposition") {
      for (auto parameter : parameters(value)) {
        const auto eq = parameter.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string key = lower(trimmed(parameter.substr(0, eq)));
        if (key == "name") part.name = unquoted(parameter.substr(eq + 1));
        else if (key == "filename") part.filename = unquoted(parameter.substr(eq + 1));
      }
    }
  }
}

}  // namespace

namespace MultipartParser {

bool isMultipartFormData(std::string_view contentType) {
  return lower(trimmed(contentType)).starts_with("multipart/form-data");
}

std::optional<std::string> boundaryOf(std::string_view contentType) {
  for (auto parameter : parameters(contentType)) {
    const auto eq = parameter.find('=');
    if (eq == std::string_view::npos || lower(trimmed(parameter.substr(0, eq))) != "boundary") continue;
    std::string boundary = unquoted(parameter.substr(eq + 1));
    if (boundary.empty()) return std::nullopt;
    return boundary;
  }
  return std::nullopt;
}

std::expected<std::vector<StandinPart>, std::string> parse(std::string_view body, std::string_view boundary) {
  if (boundary.empty()) return std::unexpected("the boundary is empty");
  const std::string dashBoundary = "--" + std::string(boundary);
  const std::string delimiter = "\r\n" + dashBoundary;
  // The first delimiter opens the body or follows a preamble on a line of its own.
  std::size_t at;
  if (body.starts_with(dashBoundary)) {
    at = dashBoundary.size();
  } else {
    const auto found = body.find(delimiter);
    if (found == std::string_view::npos) return std::unexpected("no opening boundary line");
    at = found + delimiter.size();
  }
  std::vector<StandinPart> parts;
  while (true) {
    std::string_view rest = body.substr(at);
    if (rest.starts_with("--")) return parts;  // the close delimiter
    // Transport padding may sit between the boundary and its line break.
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (!rest.starts_with("\r\n")) return std::unexpected("a boundary line does not end in CRLF");
    rest.remove_prefix(2);
    std::string_view headers;
    if (rest.starts_with("\r\n")) {
      rest.remove_prefix(2);
    } else {
      const auto blank = rest.find("\r\n\r\n");
      if (blank == std::string_view::npos) return std::unexpected("a part's headers do not end in a blank line");
      headers = rest.substr(0, blank);
      rest.remove_prefix(blank + 4);
    }
    const auto next = rest.find(delimiter);
    if (next == std::string_view::npos) return std::unexpected("no close boundary line");
    StandinPart part;
    readHeaders(headers, part);
    part.content = std::string(rest.substr(0, next));
    parts.push_back(std::move(part));
    at = static_cast<std::size_t>(rest.data() - body.data()) + next + delimiter.size();
  }
}

}  // namespace MultipartParser
