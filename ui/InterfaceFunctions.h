#pragma once
// Free helpers of the interface kit: request-parameter merging and the application's folders.
#include <unordered_map>
#include <memory>
#include <string>

#include "platform/foundation/NSURL.h"

// The same map as the service client's parameters.
using StringDictionary = std::unordered_map<std::string, std::string>;

// Writes every pair of `source` into `target`; a key already there takes the source's value.
void mergeStringDictionary(StringDictionary& target, const StringDictionary& source);

// The application's own folder in the user's application-support area, created (with
// intermediate folders) when missing; a failure to create it is printed and the URL
// returned all the same.
std::shared_ptr<NSURL> applicationSupportDirectoryURL();
// Its sub-folder "gifdata", where private GIF copies live; created when missing.
std::shared_ptr<NSURL> gifDataDirectoryURL();
