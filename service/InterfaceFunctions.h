#pragma once
// Request-parameter merging shared by the requesters and analytics.
#include <unordered_map>
#include <memory>
#include <string>

// The same map as the service client's parameters.
using StringDictionary = std::unordered_map<std::string, std::string>;

// Writes every pair of `source` into `target`; a key already there takes the source's value.
void mergeStringDictionary(StringDictionary& target, const StringDictionary& source);
