#pragma once
// A port of 127.0.0.1 that nothing listens on (it was free a moment ago): connecting to it
// fails at once, without a server.
int closedLoopbackPort();
