#pragma once
// Diagnostics of the backup code ("3 entries in the zip file", "Failed to
// set attributes", reasons a restore was refused). They go to standard error
// unless a handler is set; tests collect them. Never given a password.
//
// Thread-safe.

#include <functional>
#include <string>

void backupLog(const std::string& message);
// nullptr: back to standard error.
void setBackupLogHandler(std::function<void(const std::string&)> handler);
