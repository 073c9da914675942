// The fatal-signal report and the second quit signal (see crashReport.h). The handlers use only
// async-signal-safe calls (write, open, read, sigaction, raise): the report may come from code that
// holds the allocator's or stdio's lock. Addresses are placed in their modules by reading
// /proc/self/maps, the loaded actor library included, whichever build of it runs. The backtrace
// comes from the unwinder, loaded at install time so that its first use needs no allocation.
#include "engine/crashReport.h"
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <ucontext.h>
#include <unistd.h>

namespace {
int report_log_fd = -1;
bool report_installed = false;
volatile sig_atomic_t quit_signals = 0;
struct sigaction previous_quit[2];  // SIGINT, SIGTERM
char alternate_stack[64 * 1024];

// ---- text without allocation

struct Line {
  char text[512];
  int len = 0;
  void add(const char* s) {
    while (*s && len < int(sizeof(text)) - 1) text[len++] = *s++;
  }
  void hex(uintptr_t v) {
    char digits[2 + 16];
    int n = 0;
    do {
      digits[n++] = "0123456789abcdef"[v & 15];
      v >>= 4;
    } while (v);
    add("0x");
    while (n > 0 && len < int(sizeof(text)) - 1) text[len++] = digits[--n];
  }
  void dec(long v) {
    char digits[24];
    int n = 0;
    if (v < 0) {
      add("-");
      v = -v;
    }
    do {
      digits[n++] = char('0' + v % 10);
      v /= 10;
    } while (v);
    while (n > 0 && len < int(sizeof(text)) - 1) text[len++] = digits[--n];
  }
};

void write_all(int fd, const char* s, int n) {
  while (n > 0) {
    ssize_t w = write(fd, s, size_t(n));
    if (w <= 0) return;
    s += w;
    n -= int(w);
  }
}

void emit(Line& l) {
  l.text[l.len++] = '\n';
  write_all(2, l.text, l.len);
  if (report_log_fd >= 0) write_all(report_log_fd, l.text, l.len);
  l.len = 0;
}

const char* signal_name(int sig) {
  switch (sig) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
    case SIGABRT:
      return "SIGABRT";
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "signal";
  }
}

uintptr_t parse_hex(const char*& p) {
  uintptr_t v = 0;
  for (;; p++) {
    char c = *p;
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return v;
    v = v * 16 + uintptr_t(d);
  }
}

// Adds "module+0xoffset" for the address, from /proc/self/maps (the offset is the file's, as a
// disassembler of that file counts it), or "?" when no file maps it.
void add_place(Line& l, uintptr_t addr) {
  int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    l.add("?");
    return;
  }
  char buf[4096], line[1024];
  int line_len = 0;
  bool found = false;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && !found; i++) {
      if (buf[i] != '\n') {
        if (line_len < int(sizeof(line)) - 1) line[line_len++] = buf[i];
        continue;
      }
      line[line_len] = 0;
      line_len = 0;
      // start-end perms offset dev inode path
      const char* p = line;
      uintptr_t start = parse_hex(p);
      if (*p++ != '-') continue;
      uintptr_t end = parse_hex(p);
      if (addr < start || addr >= end) continue;
      while (*p == ' ') p++;
      while (*p && *p != ' ') p++;  // permissions
      while (*p == ' ') p++;
      uintptr_t offset = parse_hex(p);
      const char* path = p;
      for (int field = 0; field < 3 && *path; field++) {  // offset done: device, inode, then the path
        while (*path == ' ') path++;
        if (field < 2)
          while (*path && *path != ' ') path++;
      }
      const char* base = path;
      for (const char* q = path; *q; q++)
        if (*q == '/') base = q + 1;
      l.add(*base ? base : "[anonymous]");
      l.add("+");
      l.hex(addr - start + offset);
      found = true;
    }
    if (found) break;
  }
  close(fd);
  if (!found) l.add("?");
}

void die_by(int sig) {
  struct sigaction dfl;
  memset(&dfl, 0, sizeof(dfl));
  dfl.sa_handler = SIG_DFL;
  sigaction(sig, &dfl, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  _exit(128 + sig);
}

uintptr_t faulting_pc(void* context) {
#if defined(__x86_64__)
  return uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
  (void)context;
  return 0;
#endif
}

void on_fatal_signal(int sig, siginfo_t* info, void* context) {
  static volatile sig_atomic_t reporting = 0;
  if (reporting) die_by(sig);  // a fault inside the report: no second one
  reporting = 1;
  Line l;
  l.add("!!! fatal signal ");
  l.add(signal_name(sig));
  l.add(" (");
  l.dec(sig);
  l.add(")");
  // Only a fault the kernel raised has an address; a signal sent by kill() has none.
  if ((sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL) && info->si_code > 0) {
    l.add(" at address ");
    l.hex(uintptr_t(info->si_addr));
  }
  emit(l);
  uintptr_t pc = faulting_pc(context);
  if (pc) {
    l.add("!!! in ");
    add_place(l, pc);
    l.add(" (pc ");
    l.hex(pc);
    l.add(")");
    emit(l);
  }
  void* frames[48];
  int n = backtrace(frames, 48);
  l.add("!!! backtrace:");
  emit(l);
  for (int i = 0; i < n; i++) {
    l.add("  #");
    l.dec(i);
    l.add(" ");
    l.hex(uintptr_t(frames[i]));
    l.add(" ");
    // Return addresses point past their call: the call itself is one byte earlier.
    add_place(l, uintptr_t(frames[i]) - (i > 0 ? 1 : 0));
    emit(l);
  }
  die_by(sig);
}

void on_quit_signal(int sig, siginfo_t* info, void* context) {
  quit_signals = quit_signals + 1;
  if (quit_signals >= 2) {
    Line l;
    l.add("!!! second ");
    l.add(signal_name(sig));
    l.add(": ending at once");
    emit(l);
    die_by(sig);
  }
  struct sigaction mine;
  sigaction(sig, nullptr, &mine);
  const struct sigaction& prev = previous_quit[sig == SIGINT ? 0 : 1];
  if (prev.sa_flags & SA_SIGINFO) {
    if (prev.sa_sigaction) prev.sa_sigaction(sig, info, context);
  } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN && prev.sa_handler) {
    prev.sa_handler(sig);
  } else if (prev.sa_handler == SIG_DFL) {
    die_by(sig);  // nobody asked for a quit request: the signal's own action
  }
  // A handler that re-installs itself with signal() (the window system's does) would take the
  // second signal: this one goes back in front.
  sigaction(sig, &mine, nullptr);
}
}  // namespace

void set_crash_report_log_fd(int fd) { report_log_fd = fd; }

void install_crash_report() {
  if (report_installed) return;
  report_installed = true;
  // The unwinder is loaded on its first use, which allocates: done here, not in the handler.
  void* warm[2];
  backtrace(warm, 2);
  stack_t st;
  memset(&st, 0, sizeof(st));
  st.ss_sp = alternate_stack;
  st.ss_size = sizeof(alternate_stack);
  sigaltstack(&st, nullptr);
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_sigaction = on_fatal_signal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  const int fatal_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
  for (int sig : fatal_signals) sigaction(sig, &sa, nullptr);
}

void install_second_quit_signal() {
  quit_signals = 0;
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_sigaction = on_quit_signal;
  sa.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&sa.sa_mask);
  struct sigaction current;
  for (int k = 0; k < 2; k++) {
    int sig = k == 0 ? SIGINT : SIGTERM;
    sigaction(sig, nullptr, &current);
    if (current.sa_sigaction == on_quit_signal) continue;  // installed already
    previous_quit[k] = current;
    sigaction(sig, &sa, nullptr);
  }
}
