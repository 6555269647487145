// The log for support, kept only with [Diagnostics] Log=1: what the launcher
// did and when, in a file beside it. It never holds a key the player typed.
//
// A line is recorded where it happens, inside the keyboard hook too, into
// memory set aside beforehand: recording allocates nothing and touches no
// file. FlushDiagnosticsLog writes the recorded lines; the main loop calls it
// whenever it wakes anyway, so the log adds no wake-up of its own.
#pragma once

#include <windows.h>

#include <string>

// Whether lines are recorded; off unless the settings say so.
extern bool diagnosticsLogging;

// Starts recording; the file at `path` keeps the newest lines, 256 KiB at most.
void StartDiagnosticsLog(const std::wstring& path);
// Records one line: `format` is a string literal, and its %u and %X take the
// values in order.
void LogDiagnostic(const char* format, unsigned first = 0, unsigned second = 0, unsigned third = 0);
// Writes the recorded lines. A file that cannot be written loses them, and
// nothing else changes.
void FlushDiagnosticsLog();
// Off, nothing recorded.
void ResetDiagnosticsLog();
