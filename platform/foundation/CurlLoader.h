#pragma once
// libcurl is opened by the first transfer rather than linked (see CurlLoader.cpp). Its
// functions are called under their own names; this only tells whether they can work.

#include <string>

namespace CurlLoader {

// Opens libcurl if it is not open yet (once: a library that could not be opened is not
// tried again) and answers whether it is there.
bool available();
// Why libcurl could not be opened, for an error a person reads; empty while it is open.
const std::string& failure();

}  // namespace CurlLoader
