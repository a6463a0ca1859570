// The atomic write every program uses: links followed and modes kept, a pair
// installed both or neither, targets checked without a trace, and the
// temporaries of writers that are gone removed by the next write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "run_util.h"
#include "blocco.h"
#include "destinazione.h"
#include "nomi.h"
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

  // The old file's owner and group go to the new one, where the system
  // allows it (here, when the tests run as root).
  if (getuid() == 0) {
    ASSERT_EQ(chown((d / "dentro/vero").c_str(), vt::NESSUNO, vt::NESSUNO), 0);
    ASSERT_TRUE(scrivi(d / "dentro/vero", "di nessuno"));
    struct stat st {};
    stat((d / "dentro/vero").c_str(), &st);
    EXPECT_EQ(st.st_uid, vt::NESSUNO);
    EXPECT_EQ(st.st_gid, vt::NESSUNO);
    EXPECT_EQ(permessi(d / "dentro/vero"), 0640u);
  }

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
  // Files of the user's that only look like temporaries stay.
  const nomi utente{".velmora-0000000000000000-abcdefghijklmnop", "m.tmp-abcdef", "m.tmp-orfano"};
  for (const std::string& n : utente) vt::write_file(d / n, "del proprietario");
#ifdef VELMORA_SENZA_TMPFILE
  // A writer killed outright leaves its named temporary; a live one holds
  // the lock on its own.
  auto temporaneo = [&](bool uccidi, size_t voci) {
    const pid_t figlio = fork();
    if (figlio == 0) {
      file_nuovo n;
      if (!apri_file_nuovo(n, (d / "m").c_str())) _exit(1);
      std::fputs("a meta'", n.file);
      std::fflush(n.file);
      if (uccidi) kill(getpid(), SIGKILL);
      pause();
      _exit(0);
    }
    while (vt::elenco(d.path.string()).size() < voci) usleep(1000);
    return figlio;
  };
  // The live one first: a writer sweeps the orphans it finds.
  const pid_t vivo = temporaneo(false, utente.size() + 1);
  int st = 0;
  waitpid(temporaneo(true, utente.size() + 2), &st, 0);
  ASSERT_EQ(vt::elenco(d.path.string()).size(), utente.size() + 2);
  ASSERT_TRUE(scrivi(d / "m", "modello"));
  EXPECT_EQ(vt::elenco(d.path.string()).size(), utente.size() + 2);  // m, and the live writer's temporary
  kill(vivo, SIGKILL);
  waitpid(vivo, &st, 0);
#endif
  ASSERT_TRUE(scrivi(d / "m", "modello"));
  nomi attesi = utente;
  attesi.push_back("m");
  std::sort(attesi.begin(), attesi.end());
  EXPECT_EQ(vt::elenco(d.path.string()), attesi);
}

TEST(ComuneScrittura, ASignalBeforeTheRenameLeavesTheOldTarget) {
  vt::TempDir d;
  vt::write_file(d / "x", "vecchio");
  for (bool coppia : {false, true}) {
    const pid_t figlio = fork();
    if (figlio == 0) {
      {
        file_nuovo a, b;
        if (!apri_file_nuovo(a, (d / "x").c_str()) || !apri_file_nuovo(b, (d / "y").c_str())) _exit(1);
        std::fputs("nuovo", a.file);
        std::fputs("nuovo", b.file);
        // Unnamed temporaries die with the process at once; named ones hold
        // the signal back, and the install must not go ahead after it.
        raise(SIGTERM);
        if (coppia) {
          installa_coppia(a, b);
        } else {
          installa_file(a);
        }
      }
      _exit(0);
    }
    int st = 0;
    waitpid(figlio, &st, 0);
    EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGTERM) << st;
    EXPECT_EQ(vt::read_file(d / "x"), "vecchio");
    EXPECT_EQ(vt::elenco(d.path.string()), (nomi{"x"}));
  }
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
    EXPECT_TRUE(vt::elenco(d.path.string())[0].starts_with(".velmora-"));
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
  ASSERT_EQ(mkfifo((d / "fifo").c_str(), 0600), 0);
  fs::create_symlink("anello2", d.path / "anello1");
  fs::create_symlink("anello1", d.path / "anello2");
  fs::create_symlink("fifo", d.path / "alla_fifo");
  const nomi tutti{"alla_fifo", "anello1", "anello2", "cartella", "fifo", "file"};
  const struct {
    const char* nome;
    stato_destinazione stato;
  } casi[] = {
      {"nuovo", stato_destinazione::scrivibile},
      {"file", stato_destinazione::scrivibile},
      {"manca/x", stato_destinazione::cartella_mancante},
      {"file/x", stato_destinazione::cartella_mancante},
      {"cartella", stato_destinazione::e_una_cartella},
      {"fifo", stato_destinazione::e_speciale},
      {"alla_fifo", stato_destinazione::e_speciale},
      {"anello1", stato_destinazione::ciclo},
  };
  for (const auto& c : casi) {
    EXPECT_EQ(controlla_destinazione((d / c.nome).c_str()), c.stato) << c.nome;
    // What the check refuses, the writer refuses too, and leaves as it was.
    if (c.stato != stato_destinazione::scrivibile) {
      EXPECT_FALSE(scrivi(d / c.nome, "x")) << c.nome;
    }
  }
  EXPECT_EQ(vt::elenco(d.path.string()), tutti);
  EXPECT_TRUE(fs::is_fifo(d.path / "fifo"));

  fs::create_symlink("file", d.path / "collegamento");
  EXPECT_TRUE(stessa_destinazione((d / "file").c_str(), (d / "cartella/../file").c_str()));
  EXPECT_TRUE(stessa_destinazione((d / "file").c_str(), (d / "collegamento").c_str()));
  EXPECT_FALSE(stessa_destinazione((d / "file").c_str(), (d / "nuovo").c_str()));
}

TEST(ComuneNomi, AShellGivesBackEveryWordAsItWasWritten) {
  const std::string casi[] = {"train.csv", "", "due parole", "l'apostrofo", "a\\b", "$HOME", "*.w", "a\nb\tc\x01", "'\n'"};
  for (const std::string& s : casi) {
    const auto r = vt::run("/bin/bash", {"-c", "printf %s " + per_la_shell(s)});
    EXPECT_EQ(r.out, s) << per_la_shell(s);
  }
  EXPECT_EQ(per_la_shell("train.csv"), "train.csv");
  EXPECT_EQ(per_la_shell("a\nb"), "$'a\\nb'");
}
