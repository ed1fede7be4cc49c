// korvan-host trace FILE: a trace recorded by the tracing QXClient.dll,
// summed up for a person: the session's timeline (logons, reconnections,
// deliveries handed over, confirmed and discarded), the errors by operation
// and code, and each operation's latency.
#pragma once

#include <cstdio>
#include <string>

// Prints the summary to `out`; 1 when the file cannot be read.
int RunTraceSummary(const std::string& path, std::FILE* out = stdout);
