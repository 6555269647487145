// What support needs to know about the machine, at the top of each run's
// diagnostics log.
#pragma once

// The launcher's version, the Windows version and whether the launcher runs
// elevated; nothing unless the diagnostics log is on.
void LogLaunchFacts();
