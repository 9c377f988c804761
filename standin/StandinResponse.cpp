#include "standin/StandinResponse.h"

void StandinResponse::setJson(std::string json, int code) { setText(std::move(json), "application/json", code); }

void StandinResponse::setText(std::string text, std::string type, int code) {
  status = code;
  contentType = std::move(type);
  body = std::move(text);
  generator = nullptr;
  generatedLength = 0;
}

void StandinResponse::setGenerated(std::size_t length, Generator produce, std::string type) {
  status = 200;
  contentType = std::move(type);
  body.clear();
  generator = std::move(produce);
  generatedLength = length;
}

void StandinResponse::setError(int code, std::string_view message) {
  std::string quoted;
  for (char c : message) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted.push_back('\\');
      quoted.push_back(c);
    } else if (byte < 0x20) {
      static constexpr char hex[] = "0123456789abcdef";
      quoted += "\\u00";
      quoted.push_back(hex[byte >> 4]);
      quoted.push_back(hex[byte & 15]);
    } else {
      quoted.push_back(c);
    }
  }
  setJson("{\"error\":\"" + quoted + "\",\"code\":" + std::to_string(code) + "}", code);
}

void StandinResponse::setLoginRequired(int code) {
  std::string json = R"({"error":{"login":"requred"})";
  if (code != 200) json += ",\"code\":" + std::to_string(code);
  setJson(json + "}", code);
}
