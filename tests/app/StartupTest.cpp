#include "TestSupport.h"

TEST_CASE("placeholder") { CHECK(true); }
