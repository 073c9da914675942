// What the process does on a signal: a fatal one (a crash in the program or in the actor library)
// leaves a report in the log and on standard error and ends the process as that signal would; a
// second request to quit (SIGINT, SIGTERM) ends it at once, since the first one only asks the main
// loop, which code stuck in an endless loop never returns to.
#pragma once

// Installs the fatal-signal report (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) on a stack of its
// own, so that a stack overflow is reported too. Safe to call again.
void install_crash_report();
// The log file's descriptor that the report also goes to (-1: standard error only).
void set_crash_report_log_fd(int fd);
// Chains a counter in front of the present SIGINT and SIGTERM handlers: the first of these signals
// reaches them as before (the quit request); the second ends the process by that signal at once.
void install_second_quit_signal();
