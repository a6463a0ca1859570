#include "scrittura.h"

#include "destinazione.h"
#include "nomi.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

namespace {

// Temporaries are ".velmora-" HASH "-" RANDOM CHECK: the hash (16 hex
// digits) ties them to their target, the check (4 characters) to the suite.
constexpr const char* PREFISSO = ".velmora-";
constexpr int CIFRE_HASH = 16;
constexpr int CARATTERI_CASUALI = 12;
constexpr int CARATTERI_CONTROLLO = 4;
constexpr const char CIFRE[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// ---- Signals held back while a temporary has a name ---------------------------------
// Nested holds count: the mask is restored when the last one ends, and a
// signal that came meanwhile takes effect then, after the cleanup.

int trattenute = 0;
sigset_t maschera_precedente;

sigset_t segnali_trattenuti() {
  sigset_t s;
  sigemptyset(&s);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&s, sig);
  return s;
}

void trattieni_segnali() {
  if (trattenute++ > 0) return;
  const sigset_t s = segnali_trattenuti();
  sigprocmask(SIG_BLOCK, &s, &maschera_precedente);
}

void rilascia_segnali() {
  if (--trattenute == 0) sigprocmask(SIG_SETMASK, &maschera_precedente, nullptr);
}

// One of the held signals came while they were held: the install must stop
// short of its rename, so that the run ends with its target as it was.
bool segnale_in_attesa() {
  sigset_t attesa;
  if (sigpending(&attesa) != 0) return false;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    if (sigismember(&attesa, sig) == 1) return true;
  return false;
}

// ---- Names ----------------------------------------------------------------------------

uint64_t mescola(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// FNV-1a of a name, mixed: the same on every machine and every run.
uint64_t hash_nome(const std::string& nome) {
  uint64_t h = 0xCBF29CE484222325ULL;
  for (unsigned char c : nome) h = (h ^ c) * 0x100000001B3ULL;
  return mescola(h);
}

// ".velmora-" and the hash of the target's name, all a temporary of it begins with.
std::string prefisso_temporanei(const std::string& base) {
  char hash[CIFRE_HASH + 1];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(hash_nome(base)));
  return std::string(PREFISSO) + hash + "-";
}

// The check of a temporary's name: what proves the suite made it.
std::string controllo(const std::string& prefisso, std::string_view casuali) {
  uint64_t h = hash_nome(prefisso + std::string(casuali)) ^ 0x76656C6D6F726121ULL;  // "velmora!"
  std::string c;
  for (int i = 0; i < CARATTERI_CONTROLLO; ++i, h /= 36) c += CIFRE[h % 36];
  return c;
}

std::string nome_temporaneo(const std::string& destinazione) {
  static unsigned contatore = 0;
  unsigned char r[CARATTERI_CASUALI];
  if (getrandom(r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
    // No entropy yet: the O_EXCL retries sort out any clash.
    uint64_t v = mescola(static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(std::time(nullptr)) ^
                         ++contatore);
    for (unsigned char& c : r) c = static_cast<unsigned char>(v >>= 5);
  }
  const std::string prefisso = prefisso_temporanei(base_di(destinazione));
  std::string casuali;
  for (unsigned char c : r) casuali += CIFRE[c % 36];
  return cartella_di(destinazione) + "/" + prefisso + casuali + controllo(prefisso, casuali);
}

// Whether nome is a temporary of the target whose prefix is given, as this
// suite names them, check included.
bool e_un_temporaneo(std::string_view nome, const std::string& prefisso) {
  if (nome.size() != prefisso.size() + CARATTERI_CASUALI + CARATTERI_CONTROLLO || !nome.starts_with(prefisso))
    return false;
  const std::string_view casuali = nome.substr(prefisso.size(), CARATTERI_CASUALI);
  for (char c : casuali)
    if (!std::strchr(CIFRE, c)) return false;
  return nome.substr(prefisso.size() + CARATTERI_CASUALI) == controllo(prefisso, casuali);
}

bool sincronizza(int fd) {
#ifdef VELMORA_SENZA_FSYNC
  (void)fd;
  return true;  // the benchmark's twin, to measure what durability costs
#else
  return fsync(fd) == 0;
#endif
}

// ---- Temporaries left by writers that were killed ------------------------------------

// Removes the temporaries of base in the folder that no live writer holds:
// a writer keeps its temporary locked, and the lock ends with its process.
// Only what is provably the suite's goes: the name checks out, and it is a
// regular file of this user.
void spazza_orfani(int cartella, const std::string& base) {
  const int fd = openat(cartella, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return;
  }
  const std::string prefisso = prefisso_temporanei(base);
  while (const dirent* e = readdir(dir)) {
    if (!e_un_temporaneo(e->d_name, prefisso)) continue;
    const int t = openat(fd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (t < 0) continue;
    struct stat st;
    if (fstat(t, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && flock(t, LOCK_EX | LOCK_NB) == 0)
      unlinkat(fd, e->d_name, 0);
    close(t);
  }
  closedir(dir);
}

// ---- Steps of an installation ------------------------------------------------------------

// Flushes, syncs and closes the new file, then gives it its temporary name.
// From here until scarta_file the signals are held back. false: discarded.
bool prepara(file_nuovo& n) {
  if (!n.file) return false;
  const int fd = fileno(n.file);
  bool ok = !std::ferror(n.file) && std::fflush(n.file) == 0;
  // The old file's owner and group where the system allows: both (as root),
  // else the group alone (one the user belongs to), else neither. Before the
  // mode, which a change of owner may clear bits of.
  if (ok && n.sostituisce && fchown(fd, n.proprietario, n.gruppo) != 0)
    (void)!fchown(fd, static_cast<uid_t>(-1), n.gruppo);
  ok = ok && fchmod(fd, n.modo) == 0 && sincronizza(fd);
  n.tenuto = dup(fd);
  ok = (std::fclose(n.file) == 0) && ok && n.tenuto >= 0;
  n.file = nullptr;
  if (!ok) {
    scarta_file(n);
    return false;
  }
  if (!n.trattiene) {
    trattieni_segnali();
    n.trattiene = true;
  }
  if (!n.temporaneo.empty()) return true;
  const std::string proc = "/proc/self/fd/" + std::to_string(n.tenuto);
  for (int tentativo = 0; tentativo < 100; ++tentativo) {
    std::string nome = nome_temporaneo(n.destinazione);
    if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, nome.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      n.temporaneo = std::move(nome);
      return true;
    }
    if (errno != EEXIST) break;
  }
  scarta_file(n);
  return false;
}

// After the rename, so that it lasts; a folder that could not be opened
// (one that cannot be read) takes no sync.
bool sincronizza_cartella(const file_nuovo& n) { return n.cartella < 0 || sincronizza(n.cartella); }

// The old file of a target, kept under a temporary name until a pair of
// renames is complete, so that it can be put back.
struct vecchio_file {
  std::string nome;  // empty: the target did not exist
  int fd = -1;       // holds the lock that keeps other writers from removing it
  ~vecchio_file() {
    if (!nome.empty()) unlink(nome.c_str());
    if (fd >= 0) close(fd);
  }
};

// A copy of the old file for file systems without hard links.
bool copia_vecchio(const std::string& da, const std::string& a, int& fd) {
  const int in = open(da.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  fd = open(a.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  if (ok) flock(fd, LOCK_EX | LOCK_NB);
  char buf[1 << 16];
  for (ssize_t letti; ok && (letti = read(in, buf, sizeof buf)) != 0;) {
    ok = letti > 0 && write(fd, buf, static_cast<size_t>(letti)) == letti;
  }
  close(in);
  struct stat st;
  ok = ok && stat(da.c_str(), &st) == 0 && fchmod(fd, st.st_mode & 07777) == 0;
  if (!ok && fd >= 0) unlink(a.c_str());
  return ok;
}

bool conserva_vecchio(const file_nuovo& n, vecchio_file& v) {
  struct stat st;
  if (lstat(n.destinazione.c_str(), &st) != 0) return errno == ENOENT;
  for (int tentativo = 0; tentativo < 100; ++tentativo) {
    std::string nome = nome_temporaneo(n.destinazione);
    v.fd = open(n.destinazione.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (v.fd >= 0) flock(v.fd, LOCK_SH | LOCK_NB);
    if (link(n.destinazione.c_str(), nome.c_str()) == 0) {
      v.nome = std::move(nome);
      return true;
    }
    const int errore = errno;
    if (v.fd >= 0) close(v.fd);
    v.fd = -1;
    if (errore == EEXIST) continue;
    if (!copia_vecchio(n.destinazione, nome, v.fd)) return false;
    v.nome = std::move(nome);
    return true;
  }
  return false;
}

// ---- The record of a pair being installed ------------------------------------------------
// Before the first of its two renames, installa_coppia writes a record
// beside the first target, ".velmora-HASH-coppia" (HASH that of the first
// target's name, as its temporaries carry): both targets, what each new file
// is (device and inode), the second new file's temporary name, and what the
// second target was before. It is synced with its folder before the first
// rename, locked while the writer lives, and removed once both renames are
// done. Only a writer killed between its two renames leaves it, and
// completa_coppia ends that install from it.

constexpr const char* FIRMA_REGISTRO = "velmora coppia 1";

struct identita {
  unsigned long long dispositivo = 0, inode = 0;  // 0, 0: no such file
  bool operator==(const identita&) const = default;
};

identita identita_di(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {};
  return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

identita identita_fd(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return {};
  return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

// path with its folder resolved, so that the record holds wherever the next run starts.
std::string assoluto(const std::string& path) {
  char* cartella = realpath(cartella_di(path).c_str(), nullptr);
  const std::string c = cartella ? std::string(cartella) : cartella_di(path);
  std::free(cartella);
  return (c == "/" ? "" : c) + "/" + base_di(path);
}

std::string path_registro(const std::string& destinazione) {
  return cartella_di(destinazione) + "/" + prefisso_temporanei(base_di(destinazione)) + "coppia";
}

struct registro {
  std::string primo, secondo;               // the targets, folders resolved
  identita nuovo_primo, nuovo_secondo;      // the new files
  identita vecchio_secondo;                 // the second target before the install
  std::string temporaneo_primo;             // the first new file's name until its rename
  std::string temporaneo;                   // the second new file's name until its rename
  std::string vecchio;                      // the first target's old file, kept to be put back
};

// The fields, each ended by a NUL (paths may hold any other byte), after the signature.
std::string componi_registro(const registro& r) {
  std::string t = std::string(FIRMA_REGISTRO) + '\0';
  auto campo = [&t](const std::string& v) { t += v + '\0'; };
  auto id = [&](const identita& i) { campo(std::to_string(i.dispositivo) + " " + std::to_string(i.inode)); };
  campo(r.primo);
  id(r.nuovo_primo);
  campo(r.secondo);
  id(r.nuovo_secondo);
  id(r.vecchio_secondo);
  campo(r.temporaneo_primo);
  campo(r.temporaneo);
  campo(r.vecchio);
  campo("fine");
  return t;
}

bool leggi_registro(const std::string& t, registro& r) {
  std::vector<std::string> campi;
  for (size_t da = 0, a; (a = t.find('\0', da)) != std::string::npos; da = a + 1) campi.push_back(t.substr(da, a - da));
  if (campi.size() != 10 || campi[0] != FIRMA_REGISTRO || campi[9] != "fine") return false;
  auto id = [](const std::string& v, identita& i) { return std::sscanf(v.c_str(), "%llu %llu", &i.dispositivo, &i.inode) == 2; };
  r.primo = campi[1];
  r.secondo = campi[3];
  r.temporaneo_primo = campi[6];
  r.temporaneo = campi[7];
  r.vecchio = campi[8];
  return id(campi[2], r.nuovo_primo) && id(campi[4], r.nuovo_secondo) && id(campi[5], r.vecchio_secondo);
}

// The record file, open and locked; removed when the install is over.
struct registro_aperto {
  std::string path;
  int fd = -1;
  ~registro_aperto() {
    if (fd < 0) return;
    unlink(path.c_str());  // before the lock goes: no one finds it unlocked
    close(fd);
  }
};

// Opens and locks the record at path (waiting for a writer that holds it),
// the file that path names once the lock is held.
int blocca_registro(const std::string& path, bool crea, bool attendi) {
  for (int tentativo = 0; tentativo < 100; ++tentativo) {
    const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | (crea ? O_CREAT : 0), 0600);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | (attendi ? 0 : LOCK_NB)) != 0) {
      close(fd);
      return -1;
    }
    const identita i = identita_fd(fd);
    if (i == identita_di(path) && !(i == identita{})) return fd;
    close(fd);  // removed or replaced while we waited: the one there now
  }
  return -1;
}

// Writes the record of the install of primo and secondo, and syncs it with
// its folder, after the folder of the second file's temporary name. 0, or
// the file whose step failed: 2 when the second's folder could not be synced.
int scrivi_registro(registro_aperto& a, const file_nuovo& primo, const file_nuovo& secondo,
                     const std::string& vecchio, identita vecchio_secondo) {
  registro r;
  r.primo = assoluto(primo.destinazione);
  r.secondo = assoluto(secondo.destinazione);
  r.nuovo_primo = identita_fd(primo.tenuto);
  r.nuovo_secondo = identita_fd(secondo.tenuto);
  r.vecchio_secondo = vecchio_secondo;
  r.temporaneo_primo = assoluto(primo.temporaneo);
  r.temporaneo = assoluto(secondo.temporaneo);
  r.vecchio = vecchio.empty() ? "" : assoluto(vecchio);
  const std::string testo = componi_registro(r);
  a.path = path_registro(primo.destinazione);
  a.fd = blocca_registro(a.path, true, true);
  if (a.fd < 0) return 1;
  if (!sincronizza_cartella(secondo)) return 2;
  return ftruncate(a.fd, 0) == 0 &&
                 pwrite(a.fd, testo.data(), testo.size(), 0) == static_cast<ssize_t>(testo.size()) &&
                 sincronizza(a.fd) && sincronizza_cartella(primo)
             ? 0
             : 1;
}

// Where the file system has no unnamed files: a temporary with its name from
// the start, the signals held back until it is installed or discarded.
int crea_con_nome(file_nuovo& n) {
  trattieni_segnali();
  n.trattiene = true;
  for (int tentativo = 0; tentativo < 100; ++tentativo) {
    std::string nome = nome_temporaneo(n.destinazione);
    const int fd = open(nome.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      n.temporaneo = std::move(nome);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return -1;
}

}  // namespace

// ---- Public entry points -----------------------------------------------------------------

file_nuovo::~file_nuovo() { scarta_file(*this); }

bool apri_file_nuovo(file_nuovo& n, const char* path) {
  scarta_file(n);
  struct stat reale;
  if (stat(path, &reale) == 0 && !S_ISREG(reale.st_mode)) {  // a device or a FIFO, however it is reached
    errno = S_ISDIR(reale.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  n.destinazione = segui_collegamenti(path);
  const std::string cartella = cartella_di(n.destinazione);
  struct stat st;
  if (stat(n.destinazione.c_str(), &st) == 0) {
    // Only a regular file is replaced: a device or a FIFO would become a
    // file, and a folder cannot.
    if (!S_ISREG(st.st_mode)) {
      errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    if (faccessat(AT_FDCWD, n.destinazione.c_str(), W_OK, AT_EACCESS) != 0) return false;
    n.modo = st.st_mode & 07777;
    n.proprietario = st.st_uid;
    n.gruppo = st.st_gid;
    n.sostituisce = true;
  } else if (errno == ELOOP) {
    return false;
  } else {
    const mode_t maschera = umask(0);
    umask(maschera);
    n.modo = 0666 & ~maschera;
  }
  // A folder that cannot be read can still take the file; it is then neither
  // swept nor synced.
  n.cartella = open(cartella.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (n.cartella >= 0) spazza_orfani(n.cartella, base_di(n.destinazione));

  int fd = -1;
#ifndef VELMORA_SENZA_TMPFILE  // the tests' twin takes the named path throughout
  if (access("/proc/self/fd", X_OK) == 0)  // an unnamed file is named through /proc
    fd = open(cartella.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#endif
  if (fd < 0 && (fd = crea_con_nome(n)) < 0) {
    const int errore = errno;
    scarta_file(n);
    errno = errore;
    return false;
  }
  flock(fd, LOCK_EX | LOCK_NB);
  n.file = fdopen(fd, "wb");
  if (!n.file) {
    const int errore = errno;
    close(fd);
    scarta_file(n);
    errno = errore;
    return false;
  }
  return true;
}

bool installa_file(file_nuovo& n) {
  if (!prepara(n)) return false;
  bool ok = !segnale_in_attesa() && std::rename(n.temporaneo.c_str(), n.destinazione.c_str()) == 0;
  if (ok) {
    n.temporaneo.clear();
    ok = sincronizza_cartella(n);
  }
  scarta_file(n);
  return ok;
}

int installa_coppia(file_nuovo& primo, file_nuovo& secondo) {
  int fallito = !prepara(primo) ? 1 : !prepara(secondo) ? 2 : segnale_in_attesa() ? 1 : 0;
  {
    vecchio_file vecchio;
    const identita vecchio_secondo = identita_di(secondo.destinazione);
    registro_aperto registro;  // removed at the end of this block, the install over either way
    if (fallito == 0 && !conserva_vecchio(primo, vecchio)) fallito = 1;
    if (fallito == 0) fallito = scrivi_registro(registro, primo, secondo, vecchio.nome, vecchio_secondo);
    if (fallito == 0 && std::rename(primo.temporaneo.c_str(), primo.destinazione.c_str()) != 0) fallito = 1;
    if (fallito == 0) {
      primo.temporaneo.clear();
      if (std::rename(secondo.temporaneo.c_str(), secondo.destinazione.c_str()) == 0) {
        secondo.temporaneo.clear();
        if (!sincronizza_cartella(secondo)) fallito = 2;
      } else {
        // The first target goes back to its old file (or away, if it had none).
        if (vecchio.nome.empty()) {
          unlink(primo.destinazione.c_str());
        } else if (std::rename(vecchio.nome.c_str(), primo.destinazione.c_str()) == 0) {
          vecchio.nome.clear();
        }
        fallito = 2;
      }
      if (!sincronizza_cartella(primo) && fallito == 0) fallito = 1;
    }
  }
  scarta_file(primo);
  scarta_file(secondo);
  return fallito;
}

bool completa_coppia(const char* path_primo) {
  const std::string path = path_registro(segui_collegamenti(path_primo));
  // A live writer holds the lock until its install is over: waited for, its
  // record is then gone.
  const int fd = blocca_registro(path, false, true);
  if (fd < 0) return true;
  registro_aperto aperto;
  aperto.path = path;
  aperto.fd = fd;
  std::string testo(4096, '\0');
  const ssize_t letti = pread(fd, testo.data(), testo.size(), 0);
  testo.resize(letti > 0 ? static_cast<size_t>(letti) : 0);
  registro r;
  // A record cut short: its writer was killed before it was synced, so
  // before either rename. Nothing was installed.
  if (!leggi_registro(testo, r)) return true;
  // The writer's names that nothing needs any more: only while they are still its files.
  const auto via = [](const std::string& nome, identita i) {
    if (!nome.empty() && identita_di(nome) == i && !(i == identita{})) unlink(nome.c_str());
  };
  via(r.vecchio, identita_di(r.vecchio));  // the first target's old file, kept to be put back
  if (!(identita_di(r.primo) == r.nuovo_primo)) {
    // The first rename never came: the old pair is whole.
    via(r.temporaneo_primo, r.nuovo_primo);
    via(r.temporaneo, r.nuovo_secondo);
    return true;
  }
  if (identita_di(r.secondo) == r.nuovo_secondo) return true;  // both renames came; only the record was left
  const std::string primo = stampabile(r.primo), secondo = stampabile(r.secondo);
  if (identita_di(r.secondo) == r.vecchio_secondo && identita_di(r.temporaneo) == r.nuovo_secondo) {
    const int cartella = open(cartella_di(r.secondo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = std::rename(r.temporaneo.c_str(), r.secondo.c_str()) == 0 && (cartella < 0 || sincronizza(cartella));
    const int errore = errno;
    if (cartella >= 0) close(cartella);
    if (ok) {
      std::printf("La scrittura dei pesi %s e %s era stata interrotta: completata ora\n", primo.c_str(), secondo.c_str());
      return true;
    }
    std::printf("La scrittura dei pesi %s e %s era stata interrotta e non si puo' completare: %s\n", primo.c_str(),
                secondo.c_str(), std::strerror(errore));
  } else {
    via(r.temporaneo, r.nuovo_secondo);  // it could only replace a file that is not the one it was written beside
    std::printf("I pesi %s e %s non sono una coppia: la loro scrittura era stata interrotta, e %s e' poi cambiato\n",
                primo.c_str(), secondo.c_str(), secondo.c_str());
  }
  // The record stays, to report the pair until it is written anew.
  aperto.fd = -1;
  close(fd);
  return false;
}

void scarta_file(file_nuovo& n) {
  // A cleanup after a failure: errno stays that failure's, for its message.
  const int errore = errno;
  if (n.file) {
    std::fclose(n.file);
    n.file = nullptr;
  }
  // The name goes before the lock, so no other writer sees it unlocked.
  if (!n.temporaneo.empty()) {
    unlink(n.temporaneo.c_str());
    n.temporaneo.clear();
  }
  if (n.tenuto >= 0) {
    close(n.tenuto);
    n.tenuto = -1;
  }
  if (n.cartella >= 0) {
    close(n.cartella);
    n.cartella = -1;
  }
  if (n.trattiene) {
    n.trattiene = false;
    rilascia_segnali();
  }
  errno = errore;
}

long avvia_scrittura(std::FILE* f, long da) {
  if (std::fflush(f) != 0) return da;  // the error stays on the stream, for the check before the rename
  const long fin_qui = std::ftell(f);
  if (fin_qui <= da) return da;
#ifndef VELMORA_SENZA_FSYNC
  sync_file_range(fileno(f), da, fin_qui - da, SYNC_FILE_RANGE_WRITE);
#endif
  return fin_qui;
}

bool scrivi_file_atomico(const char* path, const void* dati, size_t n) {
  file_nuovo nuovo;
  if (!apri_file_nuovo(nuovo, path)) return false;
  if (n > 0 && std::fwrite(dati, 1, n, nuovo.file) != n) {
    scarta_file(nuovo);
    return false;
  }
  return installa_file(nuovo);
}
