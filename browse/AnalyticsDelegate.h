#pragma once
// Gives a screen the search-analytics parameters of the current search (its term and where
// it came from), which travel with every share the screen reports.

#include "service/InterfaceFunctions.h"

class AnalyticsDelegate {
 public:
  virtual ~AnalyticsDelegate() = default;
  virtual StringDictionary requestSearchAnalytics() = 0;
};
