// The loopback HTTP server beside the window helpers: both define sktest::PumpUntil, so the server's
// one is renamed here (SecurityTabServer.cpp builds the server the same way).
#pragma once

#include "UiTestSupport.h"

#define PumpUntil ServerPumpUntil
#include "HttpTestServer.h"
#undef PumpUntil
