#pragma once

// What the library uses of the host's feature service.

#include "kelappsupport/feature/feature_overrides.h"
