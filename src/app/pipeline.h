#pragma once

struct CommandLine;

// Runs a command that needs no window (an export) on the calling thread: what it wrote and left
// out goes to standard output, failures to standard error. The exit status: 0 when all was
// written, 1 when anything failed.
int runPipeline(const CommandLine &line);
