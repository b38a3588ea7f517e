#include "platform/env.h"

#include <gtest/gtest.h>
