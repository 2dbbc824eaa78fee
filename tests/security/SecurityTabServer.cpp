// Our loopback HTTP server for the window tests. Its pump helper shares a name with the window
// helpers' PumpUntil, so this test builds it under another name (see SecurityTabServer.h).
#define PumpUntil ServerPumpUntil
#include "HttpTestServer.cpp"
#undef PumpUntil
