#pragma once

// Qt's SQL drivers speak for themselves on standard error ("QODBCResult::exec:
// Unable to execute statement ..."), several lines for one failure that the
// cycle already reports in its own words. This routes them into the
// command's error output, one line each under a prefix that says whose they
// are; the known harmless ones are dropped. Other messages are left to Qt.
void routeDriverMessages(const char* commandName);
