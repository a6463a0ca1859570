// The atomic write every program uses: links followed and modes kept, a pair
// installed both or neither, targets checked without a trace, and the
// temporaries of writers that are gone removed by the next write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "run_util.h"
#include "scrittura.h"

namespace {

namespace fs = std::filesystem;
using nomi = std::vector<std::string>;

bool scrivi(const std::string& path, const std::string& testo) {
  return scrivi_file_atomico(path.c_str(), testo.data(), testo.size());
}

mode_t permessi(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Opens new files for a and b; then b turns into a folder with something in
// it, so that its rename will be refused, unless b_resta.
void prepara(file_nuovo& na, file_nuovo& nb, const vt::TempDir& d, bool b_resta = false) {
  fs::remove_all(d.path / "b");
  vt::write_file(d / "b", "vecchio b");
  ASSERT_TRUE(apri_file_nuovo(na, (d / "a").c_str()));
  ASSERT_TRUE(apri_file_nuovo(nb, (d / "b").c_str()));
  std::fputs("nuovo a", na.file);
  std::fputs("nuovo b", nb.file);
  if (b_resta) return;
  fs::remove(d.path / "b");
  fs::create_directories(d.path / "b/pieno");
}

}  // namespace

TEST(ComuneScrittura, LinksAreFollowedAndPermissionsKept) {
  vt::TempDir d;
  fs::create_directory(d.path / "dentro");
  vt::write_file(d / "dentro/vero", "vecchio");
  chmod((d / "dentro/vero").c_str(), 0640);
  fs::create_symlink("dentro/vero", d.path / "collegamento");
  ASSERT_TRUE(scrivi(d / "collegamento", "nuovo"));
  EXPECT_TRUE(fs::is_symlink(d.path / "collegamento"));
  EXPECT_EQ(vt::read_file(d / "dentro/vero"), "nuovo");
  EXPECT_EQ(permessi(d / "dentro/vero"), 0640u);

  // A dangling link gets its target made, with the mode fopen would give.
  fs::create_symlink("dentro/futuro", d.path / "pendente");
  const mode_t prima = umask(027);
  ASSERT_TRUE(scrivi(d / "pendente", "x"));
  umask(prima);
  EXPECT_EQ(vt::read_file(d / "dentro/futuro"), "x");
  EXPECT_EQ(permessi(d / "dentro/futuro"), 0640u);
  EXPECT_EQ(vt::elenco(d / "dentro"), (nomi{"futuro", "vero"}));

  // A folder is never replaced by a file.
  fs::create_directory(d.path / "cartella");
  EXPECT_FALSE(scrivi(d / "cartella", "x"));
  EXPECT_TRUE(fs::is_directory(d.path / "cartella"));
}

TEST(ComuneScrittura, APairIsInstalledWholeOrNotAtAll) {
  vt::TempDir d;
  vt::write_file(d / "a", "vecchio a");
  {
    // The second rename is refused: a goes back to its old file.
    file_nuovo na, nb;
    prepara(na, nb, d);
    EXPECT_EQ(installa_coppia(na, nb), 2);
    EXPECT_EQ(vt::read_file(d / "a"), "vecchio a");
    EXPECT_EQ(vt::elenco(d.path.string()), (nomi{"a", "b"}));
  }
  {
    // With no old a, the new one does not stay either.
    fs::remove(d.path / "a");
    file_nuovo na, nb;
    prepara(na, nb, d);
    EXPECT_EQ(installa_coppia(na, nb), 2);
    EXPECT_EQ(vt::elenco(d.path.string()), (nomi{"b"}));
  }
  file_nuovo na, nb;
  prepara(na, nb, d, true);
  EXPECT_EQ(installa_coppia(na, nb), 0);
  EXPECT_EQ(vt::read_file(d / "a"), "nuovo a");
  EXPECT_EQ(vt::read_file(d / "b"), "nuovo b");
  EXPECT_EQ(vt::elenco(d.path.string()), (nomi{"a", "b"}));
}

TEST(ComuneScrittura, TemporariesOfWritersThatAreGoneAreRemoved) {
  vt::TempDir d;
  vt::write_file(d / "m.tmp-orfano", "lasciato da un processo ucciso");
  vt::write_file(d / "m.tmp-vivo12", "ancora in scrittura");
  vt::write_file(d / "m.tmp-corto", "non e' un temporaneo");
  vt::write_file(d / "n.tmp-altrui", "di un altro file");
  // A live writer holds the lock on its temporary.
  const int vivo = open((d / "m.tmp-vivo12").c_str(), O_RDONLY);
  ASSERT_EQ(flock(vivo, LOCK_EX), 0);
  ASSERT_TRUE(scrivi(d / "m", "modello"));
  close(vivo);
  EXPECT_EQ(vt::elenco(d.path.string()), (nomi{"m", "m.tmp-corto", "m.tmp-vivo12", "n.tmp-altrui"}));
}

TEST(ComuneScrittura, ANewFileLeavesNothingUntilInstalled) {
  vt::TempDir d;
  sigset_t prima, durante, dopo;
  sigprocmask(SIG_SETMASK, nullptr, &prima);
  {
    file_nuovo n;
    ASSERT_TRUE(apri_file_nuovo(n, (d / "x").c_str()));
    std::fputs("mai installato", n.file);
    sigprocmask(SIG_SETMASK, nullptr, &durante);
#ifdef VELMORA_SENZA_TMPFILE
    // A named temporary exists while it is written: the signals that would
    // end the process wait until it is gone.
    ASSERT_EQ(vt::elenco(d.path.string()).size(), 1u);
    EXPECT_TRUE(vt::elenco(d.path.string())[0].starts_with("x.tmp-"));
    EXPECT_EQ(sigismember(&durante, SIGTERM), 1);
#else
    EXPECT_TRUE(vt::elenco(d.path.string()).empty());
    EXPECT_EQ(sigismember(&durante, SIGTERM), sigismember(&prima, SIGTERM));
#endif
  }
  sigprocmask(SIG_SETMASK, nullptr, &dopo);
  EXPECT_TRUE(vt::elenco(d.path.string()).empty());
  EXPECT_EQ(sigismember(&dopo, SIGTERM), sigismember(&prima, SIGTERM));
  EXPECT_EQ(sigismember(&dopo, SIGINT), sigismember(&prima, SIGINT));
}

TEST(ComuneScrittura, TargetsAreCheckedWithoutLeavingAnything) {
  vt::TempDir d;
  vt::write_file(d / "file", "");
  fs::create_directory(d.path / "cartella");
  EXPECT_EQ(controlla_destinazione((d / "nuovo").c_str()), stato_destinazione::scrivibile);
  EXPECT_EQ(controlla_destinazione((d / "file").c_str()), stato_destinazione::scrivibile);
  EXPECT_EQ(controlla_destinazione((d / "manca/x").c_str()), stato_destinazione::cartella_mancante);
  EXPECT_EQ(controlla_destinazione((d / "file/x").c_str()), stato_destinazione::cartella_mancante);
  EXPECT_EQ(controlla_destinazione((d / "cartella").c_str()), stato_destinazione::e_una_cartella);
  EXPECT_EQ(vt::elenco(d.path.string()), (nomi{"cartella", "file"}));

  fs::create_symlink("file", d.path / "collegamento");
  EXPECT_TRUE(stessa_destinazione((d / "file").c_str(), (d / "cartella/../file").c_str()));
  EXPECT_TRUE(stessa_destinazione((d / "file").c_str(), (d / "collegamento").c_str()));
  EXPECT_FALSE(stessa_destinazione((d / "file").c_str(), (d / "nuovo").c_str()));
}
