#pragma once

#include "kelappsupport/testing/feature_service_testing.h"

namespace testsupport {

// Gives the test a feature service without overrides or default-value
// handlers, and empties it again on destruction: handlers a test registers
// point at its own objects, so they must go before those objects do (declare
// the scope after them). Changes the whole process.
class ScopedFeatureService {
 public:
  ScopedFeatureService() { kelappsupport::feature::ResetFeatureService(); }
  ~ScopedFeatureService() { kelappsupport::feature::ResetFeatureService(); }
  ScopedFeatureService(const ScopedFeatureService&) = delete;
  ScopedFeatureService& operator=(const ScopedFeatureService&) = delete;
};

}  // namespace testsupport
