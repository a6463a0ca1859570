// Test helpers: run the real programs in a scratch directory, on pipes or on
// a pseudo-terminal of a chosen size, and read and write whole files.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vt {

struct RunResult {
  int status = -1;   // exit status, or 128 + signal number
  std::string out;   // everything written to stdout (or to the terminal)
  std::string err;   // everything written to stderr (empty on a terminal)
};

struct RunOptions {
  std::string cwd;          // working directory of the child; empty: inherit
  std::string input;        // bytes on the child's stdin
  long fsize_limit = -1;    // RLIMIT_FSIZE in bytes for the child (SIGXFSZ ignored)
  long as_limit = -1;       // RLIMIT_AS in bytes for the child (address space)
  unsigned secondi = 0;     // the child is killed (SIGALRM) after this long; 0: no limit
  bool come_nessuno = false;  // when the tests run as root, the child runs as nobody (65534)
  std::string precarica;      // a library preloaded into the child (LD_PRELOAD), the sanitizers told to allow it
  std::vector<std::pair<std::string, std::string>> ambiente;  // more variables for the child
  std::string uscita;       // a file the child's stdout is opened on instead of a pipe ("/dev/full")
  std::string ingresso_da;  // a path the child's stdin is opened on (a folder too); empty: input
  bool senza_ingresso = false;  // the child starts with its stdin closed
};

// A fresh directory under the system temp dir, removed with everything in it.
struct TempDir {
  std::filesystem::path path;
  TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
  explicit TempDir(const std::filesystem::path& base) {
    std::string templ = (base / "velmora-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path = templ;
  }
  ~TempDir() {
    std::error_code ec;
    // Restore permissions some tests take away, so everything can be removed.
    for (auto& e : std::filesystem::recursive_directory_iterator(path, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

// Where a test that runs a program hundreds of times keeps its files: in
// memory when the machine has /dev/shm, since syncing to a disk would cost
// more than all the rest and the property tested does not depend on it.
inline std::filesystem::path cartella_veloce() {
  return access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

// The names in dir, sorted: what a run left behind.
inline std::vector<std::string> elenco(const std::string& dir) {
  std::vector<std::string> nomi;
  for (auto& e : std::filesystem::directory_iterator(dir)) nomi.push_back(e.path().filename().string());
  std::sort(nomi.begin(), nomi.end());
  return nomi;
}

// The user a test drops to when it runs as root.
inline constexpr uid_t NESSUNO = 65534;

// Gives dir and everything in it to the user the child runs as with
// come_nessuno, so that it may work there (nothing to do unless root).
inline void cedi_a_nessuno(const std::filesystem::path& dir) {
  if (getuid() != 0) return;
  if (lchown(dir.c_str(), NESSUNO, NESSUNO) != 0) throw std::runtime_error("lchown failed");
  for (auto& e : std::filesystem::recursive_directory_iterator(dir))
    if (lchown(e.path().c_str(), NESSUNO, NESSUNO) != 0) throw std::runtime_error("lchown failed");
}

// Everything under dir, by relative path: a regular file's bytes, a link's
// target, or the kind of anything else. Two equal snapshots mean a run
// changed nothing there, down to the byte.
inline std::map<std::string, std::string> istantanea(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& p = it->path();
    const fs::file_status st = fs::symlink_status(p);
    std::string cosa;
    if (fs::is_symlink(st)) it.disable_recursion_pending();  // a loop of links is never entered
    if (fs::is_symlink(st)) cosa = "-> " + fs::read_symlink(p).string();
    else if (fs::is_regular_file(st)) cosa = "= " + read_file(p.string());
    else if (fs::is_directory(st)) cosa = "cartella";
    else cosa = "speciale " + std::to_string(static_cast<int>(st.type()));
    out[p.lexically_relative(dir).string()] = cosa;
  }
  return out;
}

namespace detail {

[[noreturn]] inline void exec_child(const std::string& exe, const std::vector<std::string>& args,
                                    const RunOptions& opt) {
  if (!opt.uscita.empty()) {
    const int fd = open(opt.uscita.c_str(), O_WRONLY);
    if (fd < 0 || dup2(fd, 1) < 0) _exit(124);
    close(fd);
  }
  if (!opt.ingresso_da.empty()) {
    const int fd = open(opt.ingresso_da.c_str(), O_RDONLY);
    if (fd < 0 || dup2(fd, 0) < 0) _exit(124);
    close(fd);
  }
  if (opt.senza_ingresso) close(0);
  if (!opt.cwd.empty() && chdir(opt.cwd.c_str()) != 0) _exit(126);
  if (opt.fsize_limit >= 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit lim{static_cast<rlim_t>(opt.fsize_limit), static_cast<rlim_t>(opt.fsize_limit)};
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  if (opt.as_limit >= 0) {
    rlimit lim{static_cast<rlim_t>(opt.as_limit), static_cast<rlim_t>(opt.as_limit)};
    setrlimit(RLIMIT_AS, &lim);
  }
  // Root ignores permission bits: a test of them drops to nobody. The
  // program is opened first and run from that descriptor, so nobody need
  // not reach the build folder (a clone under /root, or in a folder of mode
  // 0700, is out of its reach).
  int programma = -1;
  if (opt.come_nessuno && getuid() == 0) {
    programma = open(exe.c_str(), O_RDONLY | O_CLOEXEC);
    if (programma < 0 || setgroups(0, nullptr) != 0 || setgid(NESSUNO) != 0 || setuid(NESSUNO) != 0) _exit(125);
  }
  if (opt.secondi > 0) alarm(opt.secondi);  // kept across exec: a hang ends as SIGALRM
  if (!opt.precarica.empty()) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("LD_PRELOAD", opt.precarica.c_str(), 1);
    setenv("ASAN_OPTIONS", ((asan ? std::string(asan) : "") + ":verify_asan_link_order=0").c_str(), 1);
  }
  for (const auto& [nome, valore] : opt.ambiente) setenv(nome.c_str(), valore.c_str(), 1);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (programma >= 0) fexecve(programma, argv.data(), environ);
  else execv(exe.c_str(), argv.data());
  _exit(127);
}

inline int decode_status(int st) {
  if (WIFEXITED(st)) return WEXITSTATUS(st);
  if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
  return -1;
}

}  // namespace detail

// Options that run a program with the scratch directory as its working
// directory, under an optional file size limit.
inline RunOptions in_dir(const TempDir& dir, long fsize_limit = -1) {
  RunOptions o;
  o.cwd = dir.path.string();
  o.fsize_limit = fsize_limit;
  return o;
}

// Runs exe with args on pipes; returns its exit status, stdout and stderr.
inline RunResult run(const std::string& exe, const std::vector<std::string>& args,
                     const RunOptions& opt = {}) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    detail::exec_child(exe, args, opt);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // The child may not read its stdin at all: never block on it.
  signal(SIGPIPE, SIG_IGN);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  size_t sent = 0;
  if (opt.input.empty()) { close(in[1]); in[1] = -1; }
  RunResult r;
  pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
  int open_fds = 2;
  char buf[65536];
  while (open_fds > 0) {
    int nf = in[1] >= 0 ? 3 : 2;
    if (poll(fds, nf, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd >= 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = read(fds[k].fd, buf, sizeof buf);
        if (n > 0) {
          (k == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
        } else {
          close(fds[k].fd);
          fds[k].fd = -1;
          --open_fds;
        }
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(in[1], opt.input.data() + sent, opt.input.size() - sent);
      if (n > 0) sent += static_cast<size_t>(n);
      if (n < 0 || sent == opt.input.size()) {
        close(in[1]);
        in[1] = -1;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = detail::decode_status(st);
  return r;
}

// Starts exe with args in the background, its output thrown away; returns
// its process id, for a test that signals it or lets it race others.
inline pid_t avvia(const std::string& exe, const std::vector<std::string>& args, const RunOptions& opt = {}) {
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int nulla = open("/dev/null", O_RDWR);
    dup2(nulla, 0);
    dup2(nulla, 1);
    dup2(nulla, 2);
    detail::exec_child(exe, args, opt);
  }
  return pid;
}

// Waits for a process started with avvia: its exit status, or 128 + signal.
inline int attendi(pid_t pid) {
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  return detail::decode_status(st);
}

// Runs exe on a fresh pseudo-terminal of rows x cols (set with TIOCSWINSZ)
// in raw mode, so the bytes read back are exactly the bytes the program wrote.
inline RunResult run_pty(const std::string& exe, const std::vector<std::string>& args,
                         unsigned short rows, unsigned short cols, const RunOptions& opt = {}) {
  winsize ws{};
  ws.ws_row = rows;
  ws.ws_col = cols;
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, &raw, &ws);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) detail::exec_child(exe, args, opt);
  RunResult r;
  char buf[65536];
  for (;;) {
    ssize_t n = read(master, buf, sizeof buf);
    if (n > 0) {
      r.out.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // EIO once the child has closed the terminal
  }
  close(master);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = detail::decode_status(st);
  return r;
}

}  // namespace vt
