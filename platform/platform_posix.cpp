// The parts of the platform layer that are plain POSIX and shared by every back end: folders, file
// times, modules by name with the check of their files, pipes and child processes, the desktop's
// opener, the folder watch, the machine's memory and process priority.
//
// Sections: folders and files; the folder watch; modules; pipes and the desktop's opener; memory;
// process priority; file stamps; child processes; the displays' sockets.
#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <map>
#include <string>
#include <thread>
#include "platform/platform.h"

// ---- folders and files

bool plat_get_exe_filename(char* buf, int size) {
  if (size < 2) return false;
  ssize_t n = readlink("/proc/self/exe", buf, size_t(size));
  if (n <= 0 || n >= size) return false;
  buf[n] = 0;
  return true;
}

bool plat_get_user_data_folder(char* buf, int size) {
  const char* xdg = getenv("XDG_DATA_HOME");
  int n;
  if (xdg && xdg[0] == '/') n = snprintf(buf, size_t(size), "%s", xdg);
  else {
    const char* home = getenv("HOME");
    if (!home || !home[0]) return false;
    n = snprintf(buf, size_t(size), "%s/.local/share", home);
  }
  return n > 0 && n < size;
}

// Creates the folder and any missing parents.
bool plat_make_folder(const char* path) {
  char tmp[PATH_MAX];
  int n = snprintf(tmp, sizeof(tmp), "%s", path);
  if (n <= 0 || n >= (int)sizeof(tmp)) return false;
  while (n > 1 && tmp[n - 1] == '/') tmp[--n] = 0;
  for (char* p = tmp + 1; *p; p++) {
    if (*p != '/') continue;
    *p = 0;
    mkdir(tmp, 0755);
    *p = '/';
  }
  if (mkdir(tmp, 0755) == 0 || errno == EEXIST) {
    struct stat st;
    return stat(tmp, &st) == 0 && S_ISDIR(st.st_mode);
  }
  return false;
}

// Canonical without requiring the file to exist: "." and ".." steps are folded textually.
bool plat_full_path(const char* path, char* out, int size) {
  char cwd[PATH_MAX];
  const char* src = path;
  char joined[PATH_MAX * 2];
  if (path[0] != '/') {
    if (!getcwd(cwd, sizeof(cwd))) return false;
    snprintf(joined, sizeof(joined), "%s/%s", cwd, path);
    src = joined;
  }
  char res[PATH_MAX * 2];
  int len = 0;
  const char* p = src;
  while (*p) {
    while (*p == '/') p++;
    if (!*p) break;
    const char* e = p;
    while (*e && *e != '/') e++;
    int l = int(e - p);
    if (l == 1 && p[0] == '.') {
    } else if (l == 2 && p[0] == '.' && p[1] == '.') {
      while (len > 0 && res[len - 1] != '/') len--;
      if (len > 0) len--;
    } else {
      if (len + 1 + l >= (int)sizeof(res)) return false;
      res[len++] = '/';
      memcpy(res + len, p, size_t(l));
      len += l;
    }
    p = e;
  }
  bool trailing = src[0] && src[strlen(src) - 1] == '/';
  if (len == 0 || trailing) {
    if (len + 1 >= (int)sizeof(res)) return false;
    res[len++] = '/';
  }
  res[len] = 0;
  if (len >= size) return false;
  memcpy(out, res, size_t(len) + 1);
  return true;
}

uint64_t plat_file_mtime(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  return uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
}

uint64_t plat_file_size(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  return uint64_t(st.st_size);
}

FILE* plat_open_regular_file(const char* path, int* error) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; regular files ignore it.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  struct stat st;
  int failure = fstat(fd, &st) != 0 ? errno : !S_ISREG(st.st_mode) ? int(PLAT_NOT_REGULAR_FILE) : 0;
  if (failure) {
    *error = failure;
    close(fd);
    return nullptr;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* f = fdopen(fd, "rb");
  if (!f) {
    *error = errno;
    close(fd);
    return nullptr;
  }
  *error = 0;
  return f;
}

bool plat_sync_folder(const char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool plat_link_target(const char* path, char* out, int size) {
  std::string cur = path;
  // The kernel's own limit on links followed in one lookup.
  for (int hops = 0; hops <= 40; hops++) {
    char target[PATH_MAX];
    ssize_t n = readlink(cur.c_str(), target, sizeof(target) - 1);
    if (n < 0) {
      if (errno != EINVAL && errno != ENOENT) return false;  // EINVAL: not a link; ENOENT: not there yet
      if (int(cur.size()) >= size) {
        errno = ENAMETOOLONG;
        return false;
      }
      memcpy(out, cur.c_str(), cur.size() + 1);
      return true;
    }
    target[n] = 0;
    if (target[0] == '/') {
      cur = target;
    } else {
      size_t slash = cur.rfind('/');
      cur = (slash == std::string::npos ? std::string() : cur.substr(0, slash + 1)) + target;
    }
  }
  errno = ELOOP;
  return false;
}

bool plat_folder_identity(const char* path, uint64_t* device, uint64_t* inode) {
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  *device = uint64_t(st.st_dev);
  *inode = uint64_t(st.st_ino);
  return true;
}

bool plat_list_folder(const char* path, void (*visit)(void*, const char*, bool), void* ctx) {
  DIR* d = opendir(path);
  if (!d) return false;
  while (struct dirent* e = readdir(d)) {
    if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
    bool folder = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      char full[PATH_MAX];
      struct stat st;
      snprintf(full, sizeof(full), "%s/%s", path, e->d_name);
      folder = stat(full, &st) == 0 && S_ISDIR(st.st_mode);
    }
    visit(ctx, e->d_name, folder);
  }
  closedir(d);
  return true;
}

// ---- the folder watch

// The folder watch covers the whole tree: inotify watches one folder each, so every folder gets its
// own watch, and folders made later get theirs when their creation is read.
namespace {
const uint32_t WATCH_EVENTS = IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
std::map<int, std::map<int, std::string>> watched_folders;  // inotify descriptor -> watch -> folder

void watch_tree(int fd, const std::string& folder, int depth) {
  int wd = inotify_add_watch(fd, folder.c_str(), WATCH_EVENTS | IN_ONLYDIR);
  if (wd < 0) return;
  watched_folders[fd][wd] = folder;
  if (depth >= 32) return;  // a loop of links goes no deeper
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (struct dirent* e = readdir(d)) {
    if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
    std::string sub = folder + "/" + e->d_name;
    struct stat st;
    if (e->d_type == DT_DIR || ((e->d_type == DT_UNKNOWN) && stat(sub.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
      watch_tree(fd, sub, depth + 1);
  }
  closedir(d);
}
}  // namespace

int plat_dir_watch_open(const char* path) {
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return -1;
  std::string top = path;
  while (top.size() > 1 && top.back() == '/') top.pop_back();
  watch_tree(fd, top, 0);
  if (watched_folders[fd].empty()) {
    watched_folders.erase(fd);
    close(fd);
    return -1;
  }
  return fd;
}

int plat_dir_watch_poll(int watch) {
  char buf[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
  int records = 0;
  auto& folders = watched_folders[watch];
  for (;;) {
    ssize_t n = read(watch, buf, sizeof(buf));
    if (n <= 0) break;
    for (char* p = buf; p < buf + n;) {
      struct inotify_event* ev = (struct inotify_event*)p;
      records++;
      auto f = folders.find(ev->wd);
      if (f != folders.end() && (ev->mask & IN_ISDIR) && (ev->mask & (IN_CREATE | IN_MOVED_TO)) && ev->len)
        watch_tree(watch, f->second + "/" + ev->name, 0);
      if (ev->mask & IN_IGNORED) folders.erase(ev->wd);
      p += sizeof(struct inotify_event) + ev->len;
    }
  }
  return records;
}

void plat_dir_watch_close(int watch) {
  watched_folders.erase(watch);
  close(watch);
}

// ---- modules

static char library_error[1024];

#if defined(__x86_64__)
static const int host_elf_machine = EM_X86_64;
#elif defined(__aarch64__)
static const int host_elf_machine = EM_AARCH64;
#else
#error "the ELF machine of this processor is not listed"
#endif

static void keep_library_error() {
  const char* e = dlerror();
  snprintf(library_error, sizeof(library_error), "%s", e ? e : "unknown loader error");
}

void* plat_load_library(const char* path) {
  void* m = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!m) keep_library_error();
  return m;
}

void* plat_get_library_proc(void* module, const char* name) {
  if (!module) return nullptr;
  dlerror();
  void* p = dlsym(module, name);
  if (!p) keep_library_error();
  return p;
}

bool plat_free_library(void* module) {
  if (!module) return false;
  if (dlclose(module) == 0) return true;
  keep_library_error();
  return false;
}

const char* plat_library_error() { return library_error; }

bool plat_library_is_loaded(const char* path) {
  void* m = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (!m) return false;
  dlclose(m);  // the question took a reference of its own
  return true;
}

bool plat_check_shared_object(const char* path, char* why, int size) {
  why[0] = 0;
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    snprintf(why, size_t(size), "%s", strerror(errno));
    return false;
  }
  struct stat st;
  bool ok = false;
  Elf64_Ehdr eh;
  if (fstat(fd, &st) != 0) snprintf(why, size_t(size), "%s", strerror(errno));
  else if (!S_ISREG(st.st_mode)) snprintf(why, size_t(size), "not a regular file");
  else if (pread(fd, &eh, sizeof(eh), 0) != (ssize_t)sizeof(eh) || memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0)
    snprintf(why, size_t(size), "not an ELF file (%lld bytes)", (long long)st.st_size);
  else if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_type != ET_DYN)
    snprintf(why, size_t(size), "not a 64-bit shared object");
  else if (eh.e_machine != host_elf_machine)
    snprintf(why, size_t(size), "built for another machine (ELF machine %d)", eh.e_machine);
  else if (eh.e_phentsize != sizeof(Elf64_Phdr) || eh.e_phnum == 0 ||
           eh.e_phoff + uint64_t(eh.e_phnum) * sizeof(Elf64_Phdr) > uint64_t(st.st_size))
    snprintf(why, size_t(size), "truncated: %lld bytes, its program headers are not all there", (long long)st.st_size);
  else {
    ok = true;
    for (int i = 0; i < eh.e_phnum && ok; i++) {
      Elf64_Phdr ph;
      if (pread(fd, &ph, sizeof(ph), off_t(eh.e_phoff + uint64_t(i) * sizeof(ph))) != (ssize_t)sizeof(ph)) {
        snprintf(why, size_t(size), "read error");
        ok = false;
      } else if (ph.p_type == PT_LOAD &&
                 (ph.p_offset > uint64_t(st.st_size) || ph.p_filesz > uint64_t(st.st_size) - ph.p_offset)) {
        snprintf(why, size_t(size), "truncated: %lld bytes, a loaded segment needs %llu", (long long)st.st_size,
                 (unsigned long long)(ph.p_offset + ph.p_filesz));
        ok = false;
      }
    }
  }
  close(fd);
  return ok;
}

// ---- pipes and the desktop's opener

int plat_pipe_bytes_available(int fd) {
  int n = 0;
  if (ioctl(fd, FIONREAD, &n) != 0) return -1;
  return n;
}

extern char** environ;

bool plat_open_document(const char* target) {
  if (!target || !target[0]) return false;
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  char opener[] = "xdg-open";
  char* argv[] = {opener, const_cast<char*>(target), nullptr};
  pid_t pid = 0;
  // glibc reports a failed exec (no opener installed) from posix_spawnp itself.
  int rc = posix_spawnp(&pid, opener, &files, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&files);
  if (rc != 0) return false;
  // The opener may run as long as the browser it starts: reap it on the side so it leaves no zombie,
  // without touching SIGCHLD, which the pipes of the library rebuild rely on.
  std::thread([pid] {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
  }).detach();
  return true;
}

// ---- memory

int plat_system_ram_mb() {
  long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  uint64_t mb = uint64_t(pages) * uint64_t(page_size) >> 20;
  return mb > 0x7FFFFFFF ? 0x7FFFFFFF : int(mb);
}

// ---- process priority

void plat_set_process_nice(int nice) {
  static int normal_nice = getpriority(PRIO_PROCESS, 0);
  int target = normal_nice + nice;
  // Without privileges niceness can only go up to what RLIMIT_NICE allows back down again: never
  // step somewhere the process could not return from.
  struct rlimit rl;
  int lowest_allowed = 20;
  if (getrlimit(RLIMIT_NICE, &rl) == 0) lowest_allowed = 20 - int(rl.rlim_cur == RLIM_INFINITY ? 40 : rl.rlim_cur);
  if (geteuid() == 0) lowest_allowed = -20;
  if (normal_nice < lowest_allowed && target > normal_nice) return;
  if (target < lowest_allowed) target = lowest_allowed > normal_nice ? normal_nice : lowest_allowed;
  if (target > 19) target = 19;
  setpriority(PRIO_PROCESS, 0, target);
}

// ---- file stamps

uint64_t plat_file_stamp(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  uint64_t parts[6] = {uint64_t(st.st_mtim.tv_sec),  uint64_t(st.st_mtim.tv_nsec), uint64_t(st.st_ctim.tv_sec),
                       uint64_t(st.st_ctim.tv_nsec), uint64_t(st.st_size),         uint64_t(st.st_ino)};
  uint64_t h = 1469598103934665603ull;
  for (uint64_t p : parts) h = (h ^ p) * 1099511628211ull;
  return h ? h : 1;
}

// ---- child processes

PlatChild plat_spawn_reader(const char* command, const char* folder) {
  PlatChild c = {-1, -1};
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return c;
  pid_t pid = fork();
  if (pid < 0) {
    close(p[0]);
    close(p[1]);
    return c;
  }
  if (pid == 0) {
    // Its own group, so ending a build ends the compilers it started too.
    setpgid(0, 0);
    if (folder && folder[0] && chdir(folder) != 0) {
      static const char msg[] = "can't enter the build's folder\n";
      if (write(p[1], msg, sizeof(msg) - 1) < 0) _exit(126);
      _exit(126);
    }
    dup2(p[1], 1);
    dup2(p[1], 2);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    execl("/bin/sh", "sh", "-c", command, (char*)nullptr);
    _exit(127);
  }
  setpgid(pid, pid);
  close(p[1]);
  fcntl(p[0], F_SETFL, fcntl(p[0], F_GETFL) | O_NONBLOCK);
  c.pid = pid;
  c.fd = p[0];
  return c;
}

int plat_read_available(int fd, char* buf, int size) {
  for (;;) {
    ssize_t n = read(fd, buf, size_t(size));
    if (n >= 0) return int(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
  }
}

static int exit_code_of(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

bool plat_child_exited(PlatChild* child, int* code) {
  if (child->pid <= 0) {
    *code = -1;
    return true;
  }
  int status = 0;
  pid_t r = waitpid(child->pid, &status, WNOHANG);
  if (r == 0 || (r < 0 && errno == EINTR)) return false;
  *code = r == child->pid ? exit_code_of(status) : -1;
  child->pid = -1;
  return true;
}

int plat_finish_child(PlatChild* child) {
  if (child->fd >= 0) close(child->fd);
  child->fd = -1;
  int code = -1;
  if (child->pid > 0) {
    int status = 0;
    while (waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {}
    code = exit_code_of(status);
  }
  child->pid = -1;
  return code;
}

int plat_kill_child(PlatChild* child) {
  if (child->pid > 0) {
    kill(-child->pid, SIGKILL);
    kill(child->pid, SIGKILL);
  }
  return plat_finish_child(child);
}

// ---- the displays' sockets
//
// A window system that cannot be opened leaves SDL to fall through to a driver that shows nothing,
// and says nothing of why. The reason is found here by doing what the clients do: connecting to the
// X server's socket and asking it for a connection (the server answers a refusal with its reason),
// or to the Wayland compositor's socket.

namespace {
const int DISPLAY_WAIT_MS = 3000;  // a remote X server that does not answer is given up on

void add_sentence(std::string& out, const std::string& s) {
  if (!out.empty()) out += "; ";
  out += s;
}

// Waits for the descriptor to be ready for `events`; false on a timeout.
bool wait_socket(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  return poll(&p, 1, DISPLAY_WAIT_MS) == 1;
}

// Connects within the wait; -1 with errno set when it cannot.
int connect_within_wait(int family, const sockaddr* addr, socklen_t len) {
  int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (connect(fd, addr, len) != 0) {
    int e = errno;
    if (e == EINPROGRESS && wait_socket(fd, POLLOUT)) {
      socklen_t el = sizeof(e);
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &el);
    } else if (e == EINPROGRESS) {
      e = ETIMEDOUT;
    }
    if (e != 0 && e != EINPROGRESS) {
      close(fd);
      errno = e;
      return -1;
    }
  }
  return fd;
}

int connect_unix(const std::string& path, bool abstract) {
  sockaddr_un a;
  memset(&a, 0, sizeof(a));
  a.sun_family = AF_UNIX;
  size_t skip = abstract ? 1 : 0;  // an abstract name starts with a zero byte
  if (path.size() + skip >= sizeof(a.sun_path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  memcpy(a.sun_path + skip, path.data(), path.size());
  return connect_within_wait(AF_UNIX, (const sockaddr*)&a,
                             socklen_t(offsetof(sockaddr_un, sun_path) + skip + path.size()));
}

bool read_full(int fd, void* buf, size_t n) {
  char* p = (char*)buf;
  while (n > 0) {
    if (!wait_socket(fd, POLLIN)) return false;
    ssize_t got = read(fd, p, n);
    if (got <= 0) return false;
    p += got;
    n -= size_t(got);
  }
  return true;
}

// The X authority file's cookie for display number `number` of this machine, as the clients pick
// it: an entry for this host's name or for any host, with the display's number.
void find_x_cookie(const std::string& number, std::string* name, std::string* data) {
  const char* file = getenv("XAUTHORITY");
  std::string path;
  if (file && file[0]) path = file;
  else if (getenv("HOME")) path = std::string(getenv("HOME")) + "/.Xauthority";
  FILE* f = path.empty() ? nullptr : fopen(path.c_str(), "rb");
  if (!f) return;
  char host[256] = "";
  gethostname(host, sizeof(host) - 1);
  auto field = [&](std::string* out) {
    int hi = fgetc(f), lo = fgetc(f);
    if (hi < 0 || lo < 0) return false;
    out->assign(size_t(hi << 8 | lo), '\0');
    return out->empty() || fread(&(*out)[0], 1, out->size(), f) == out->size();
  };
  for (;;) {
    int hi = fgetc(f), lo = fgetc(f);
    std::string address, num, n, d;
    if (hi < 0 || lo < 0 || !field(&address) || !field(&num) || !field(&n) || !field(&d)) break;
    int family = hi << 8 | lo;
    const int FAMILY_LOCAL = 256, FAMILY_WILD = 65535;
    bool this_host = family == FAMILY_WILD || (family == FAMILY_LOCAL && address == host);
    if (num == number && this_host) {
      *name = n;
      *data = d;
      break;
    }
  }
  fclose(f);
}

// Asks the X server on `fd` for a connection; "" when it grants one, else its answer.
std::string x_server_answer(int fd, const std::string& number, const std::string& where) {
  std::string auth_name, auth_data;
  find_x_cookie(number, &auth_name, &auth_data);
  auto pad = [](std::string& s) { s.append((4 - s.size() % 4) % 4, '\0'); };
  std::string req(12, '\0');
  req[0] = 'l';  // little-endian numbers follow
  req[2] = 11;   // protocol 11.0
  req[6] = char(auth_name.size() & 0xFF);
  req[7] = char(auth_name.size() >> 8);
  req[8] = char(auth_data.size() & 0xFF);
  req[9] = char(auth_data.size() >> 8);
  std::string n = auth_name, d = auth_data;
  pad(n);
  pad(d);
  req += n + d;
  // A request this small fits a new socket's buffer at once; a server gone meanwhile is no signal.
  if (send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size()))
    return "the X server at " + where + " takes no request";
  unsigned char head[8];
  if (!read_full(fd, head, sizeof(head)))
    return "the X server at " + where + " closed the connection without an answer";
  if (head[0] == 1) return "";
  // A refusal (0) carries its reason's length in byte 1; a demand for more authentication (2) only
  // the length of what follows, the reason itself.
  size_t extra = size_t(head[6] | head[7] << 8) * 4;
  size_t len = head[0] == 0 ? head[1] : extra;
  std::string reason(extra < 4096 ? extra : 4096, '\0');
  if (!reason.empty() && !read_full(fd, &reason[0], reason.size())) reason.clear();
  if (len < reason.size()) reason.resize(len);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\0' || reason.back() == ' ')) reason.pop_back();
  if (reason.empty()) reason = "it gives no reason";
  return "the X server at " + where + " refused the connection: " + reason;
}

// Display names are [protocol/][host]:number[.screen].
std::string x_display_reason(const std::string& display) {
  std::string name = display, protocol;
  size_t colon = name.rfind(':');
  size_t slash = name.find('/');
  if (slash != std::string::npos && (colon == std::string::npos || slash < colon)) {
    protocol = name.substr(0, slash);
    name = name.substr(slash + 1);
    colon = name.rfind(':');
  }
  std::string host = colon == std::string::npos ? "" : name.substr(0, colon);
  std::string number = colon == std::string::npos ? "" : name.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 5)
    return "it is not a display name of the form [host]:number[.screen]";
  int fd = -1;
  int err = 0;
  std::string where;
  if (host.empty() || host == "unix" || protocol == "unix") {
    where = "/tmp/.X11-unix/X" + number;
    fd = connect_unix(where, true);
    if (fd < 0) fd = connect_unix(where, false);
    err = errno;
  } else {
    std::string port = std::to_string(6000 + atoi(number.c_str()));
    where = host + " port " + port;
    struct addrinfo hints, *found = nullptr;
    memset(&hints, 0, sizeof(hints));
    hints.ai_socktype = SOCK_STREAM;
    int g = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (g != 0) return "the host " + host + " cannot be found (" + gai_strerror(g) + ")";
    for (struct addrinfo* a = found; a && fd < 0; a = a->ai_next) {
      fd = connect_within_wait(a->ai_family, a->ai_addr, a->ai_addrlen);
      err = errno;
    }
    freeaddrinfo(found);
  }
  if (fd < 0) return "no X server answers at " + where + " (" + strerror(err) + ")";
  std::string answer = x_server_answer(fd, number, where);
  close(fd);
  return answer;
}

std::string wayland_display_reason(const std::string& display) {
  std::string path = display;
  if (path[0] != '/') {
    const char* dir = getenv("XDG_RUNTIME_DIR");
    if (!dir || !dir[0]) return "XDG_RUNTIME_DIR, the folder of its socket, is not set";
    path = std::string(dir) + "/" + display;
  }
  int fd = connect_unix(path, false);
  if (fd < 0) return "no Wayland compositor answers at " + path + " (" + strerror(errno) + ")";
  close(fd);
  return "";
}
}  // namespace

bool plat_probe_displays(const char* x_display, const char* wayland_display, char* why, size_t size) {
  std::string text;
  bool answers = false;
  struct {
    const char* variable;
    const char* value;
    std::string (*reason)(const std::string&);
  } displays[] = {{"DISPLAY", x_display, x_display_reason},
                  {"WAYLAND_DISPLAY", wayland_display, wayland_display_reason}};
  for (const auto& d : displays) {
    if (!d.value || !d.value[0]) continue;
    std::string r = d.reason(d.value);
    if (r.empty()) answers = true;
    else add_sentence(text, std::string(d.variable) + "=" + d.value + ": " + r);
  }
  if (size > 0) snprintf(why, size, "%s", text.c_str());
  return answers;
}
