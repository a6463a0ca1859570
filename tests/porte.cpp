// The doors of every program that writes: a target that is not a regular
// file the user may write is refused with a message naming it, before any
// work, and nothing in the folder changes. A FIFO in a target's place must
// not make any program wait: every run here is killed after a few seconds.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cstdlib>

#include "run_util.h"

namespace {

namespace fs = std::filesystem;

// One program's way of writing a file whose name the test chooses, or not.
struct scrittore {
  std::string bin;
  std::vector<std::string> args;  // "T" stands for the target
  std::string bersaglio;           // the target's name in the folder
  std::string messaggio;           // the refusal's first words, before the reason
};

// A folder with the inputs every program reads (they need not be valid:
// the target is checked first).
void prepara(const vt::TempDir& d) {
  for (const char* f : {"img", "lab", "r.csv", "train.csv", "t.txt"}) vt::write_file(d / f, "1\n");
  vt::write_file(d / "h.w", std::string(627200, '\0'));
  vt::write_file(d / "o.w", std::string(8000, '\0'));
  fs::create_directories(d.path / "c/1");
  vt::write_file(d / "c/1/x", "parola");
}

// prepara, with inputs every program also reads whole: one row, an IDX pair
// of one image.
void prepara_valide(const vt::TempDir& d) {
  prepara(d);
  vt::write_file(d / "img", std::string("\0\0\x08\x03\0\0\0\x01\0\0\0\x1c\0\0\0\x1c", 16) + std::string(784, '\0'));
  vt::write_file(d / "lab", std::string("\0\0\x08\x01\0\0\0\x01\x03", 9));
  std::string r_csv = "3";
  for (int i = 0; i < 784; ++i) r_csv += ",0";
  vt::write_file(d / "r.csv", r_csv + "\n");
}

// Makes the target T in the way named; false when this machine cannot.
bool crea(const vt::TempDir& d, const std::string& t, const std::string& tipo) {
  const std::string p = d / t;
  if (tipo == "dispositivo") return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // as /dev/null
  if (tipo == "FIFO") return mkfifo(p.c_str(), 0666) == 0;
  if (tipo == "socket") {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", p.c_str());
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
  }
  if (tipo == "cartella") {
    fs::create_directories(d.path / t / "dentro");
    return true;
  }
  if (tipo == "ciclo") {
    fs::create_symlink(t + ".2", d.path / t);
    fs::create_symlink(t, d.path / (t + ".2"));
    return true;
  }
  vt::write_file(p, "vecchio\n");  // sola lettura
  return chmod(p.c_str(), 0444) == 0;
}

}  // namespace

TEST(SuiteTargets, OnlyARegularFileTheUserMayWriteIsEverReplaced) {
  const std::vector<scrittore> scrittori = {
      {VELMORA_IDX_BIN, {"img", "lab", "T"}, "out.csv", "Il file out.csv non puo' ricevere le righe: "},
      {VELMORA_GPMS_BIN, {"r.csv", "h.w", "o.w", "--png", "T"}, "s.png",
       "Il file s.png non puo' ricevere il foglio PNG: "},
      {VELMORA_APMS_BIN, {"train.csv", "T", "o2.w"}, "h2.w", "Il file h2.w non puo' ricevere i pesi: "},
      {VELMORA_APMS_BIN, {"train.csv", "h2.w", "T"}, "o2.w", "Il file o2.w non puo' ricevere i pesi: "},
      {VELMORA_BOW_BIN, {"aggiungi", "t.txt", "1"}, "Bow.txt", "Il file Bow.txt non puo' ricevere il modello: "},
      {VELMORA_BOW_BIN, {"addestra", "c"}, "Bow.txt", "Il file Bow.txt non puo' ricevere il modello: "},
      {VELMORA_BOW_BIN, {"addestra", "c", "--lineare"}, "Bow.lineare",
       "Il file Bow.lineare non puo' ricevere il modello lineare: "},
      {VELMORA_BOW_BIN, {"aggiungi", "t.txt", "1"}, "t.txt.clean",
       "Il file t.txt.clean non puo' ricevere il testo pulito: "},
      {VELMORA_BOW_BIN, {"classifica", "t.txt"}, "t.txt.clean",
       "Il file t.txt.clean non puo' ricevere il testo pulito: "},
  };
  const std::vector<std::pair<std::string, std::string>> tipi = {
      {"dispositivo", "e' un dispositivo, non un file regolare"},
      {"FIFO", "e' una FIFO, non un file regolare"},
      {"socket", "e' un socket, non un file regolare"},
      {"cartella", "e' una cartella"},
      {"ciclo", "e' un ciclo di collegamenti simbolici"},
      {"sola lettura", "non si ha il permesso di scriverlo"},
  };
  for (const scrittore& s : scrittori) {
    for (const auto& [tipo, motivo] : tipi) {
      SCOPED_TRACE(fs::path(s.bin).filename().string() + " " + s.args[0] + " " + s.bersaglio + ": " + tipo);
      vt::TempDir d;
      prepara(d);
      if (!crea(d, s.bersaglio, tipo)) continue;  // no devices without the right to make them
      std::vector<std::string> args = s.args;
      for (auto& a : args)
        if (a == "T") a = s.bersaglio;
      vt::RunOptions o = vt::in_dir(d);
      o.secondi = 20;
      o.come_nessuno = tipo == "sola lettura";  // root may write anything
      if (o.come_nessuno) vt::cedi_a_nessuno(d.path);
      const auto prima = vt::istantanea(d.path);
      auto r = vt::run(s.bin, args, o);
      EXPECT_EQ(r.status, 1) << r.out;
      EXPECT_NE(r.out.find(s.messaggio + motivo + "\n"), std::string::npos) << r.out;
      EXPECT_EQ(vt::istantanea(d.path), prima);
    }
  }

  // The folder's lock cannot be taken (a folder that can be written but not
  // read): the model is not changed without it.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"aggiungi", "t.txt", "1"}, std::vector<std::string>{"addestra", "c"}}) {
    vt::TempDir d;
    prepara(d);
    vt::RunOptions o = vt::in_dir(d);
    o.secondi = 20;
    o.come_nessuno = true;
    vt::cedi_a_nessuno(d.path);
    ASSERT_EQ(chmod(d.path.c_str(), 0300), 0);
    const auto prima = vt::istantanea(d.path);
    auto r = vt::run(VELMORA_BOW_BIN, args, o);
    EXPECT_EQ(r.out, "Impossibile bloccare la cartella .: senza il blocco Bow.txt non viene cambiato\n") << args[0];
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vt::istantanea(d.path), prima);
  }

  // A folder that takes no new file: addestra says so at the door, before it
  // reads and counts its corpus; aggiungi, whose text lies there, keeps the
  // line it always printed and names the cause on standard error.
  {
    vt::TempDir d;
    prepara(d);
    fs::create_directories(d.path / "sola");
    vt::write_file(d / "sola/t.txt", "parola");
    vt::RunOptions o = vt::in_dir(d);
    o.secondi = 20;
    o.come_nessuno = true;
    vt::cedi_a_nessuno(d.path);
    ASSERT_EQ(chmod((d / "sola").c_str(), 0555), 0);
    const auto prima = vt::istantanea(d.path);
    ASSERT_EQ(chmod(d.path.c_str(), 0555), 0);
    auto r = vt::run(VELMORA_BOW_BIN, {"addestra", "c"}, o);
    EXPECT_EQ(r.out, "Il file Bow.txt non puo' ricevere il modello: la sua cartella non accetta nuovi file\n");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(chmod(d.path.c_str(), 0755), 0);
    r = vt::run(VELMORA_BOW_BIN, {"aggiungi", "sola/t.txt", "1"}, o);
    EXPECT_EQ(r.out, "File <Bow.txt> non trovato\nFile sola/t.txt.clean non trovato\n");
    EXPECT_EQ(r.err, "Impossibile scrivere il file sola/t.txt.clean: Permission denied\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vt::istantanea(d.path), prima);
  }

  // The folder cannot be synced after the rename (a preloaded fsync fails on
  // folders): the new file may not survive a crash, so no writer reports
  // success.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asan_prima = asan ? asan : "";
  setenv("LD_PRELOAD", SINCRONIA_FALLITA, 1);
  setenv("ASAN_OPTIONS", (asan_prima + ":verify_asan_link_order=0").c_str(), 1);
  for (const scrittore& s : std::vector<scrittore>{
           {VELMORA_IDX_BIN, {"img", "lab", "out.csv"}, "", "Impossibile scrivere il file out.csv\n"},
           {VELMORA_GPMS_BIN, {"r.csv", "h.w", "o.w", "--png", "s.png"}, "", "Impossibile scrivere il file s.png\n"},
           {VELMORA_APMS_BIN, {"r.csv", "h2.w", "o2.w", "1"}, "", "Impossibile scrivere il file o2.w\n"},
           {VELMORA_BOW_BIN, {"aggiungi", "t.txt", "1"}, "", "File t.txt.clean non trovato\n"},
           {VELMORA_BOW_BIN, {"addestra", "c"}, "", "File <Bow.txt> non trovato\nFile <Bow.txt> non trovato\n"},
       }) {
    vt::TempDir d;
    prepara_valide(d);
    const auto r = vt::run(s.bin, s.args, vt::in_dir(d));
    EXPECT_EQ(r.status, 1) << s.args[0] << ": " << r.out;
    EXPECT_TRUE(r.out.ends_with(s.messaggio)) << s.args[0] << ": " << r.out;
  }
  unsetenv("LD_PRELOAD");
  if (asan) setenv("ASAN_OPTIONS", asan_prima.c_str(), 1);
  else unsetenv("ASAN_OPTIONS");
}

namespace {

// One run of a program that prints: what it reads from standard input, if anything.
struct stampatore {
  std::string bin;
  std::vector<std::string> args;
  std::string ingresso;  // the list predici reads; empty: the program reads no standard input
};

}  // namespace

// Every program and action, with its standard output on a full device, its
// standard input closed, or a folder as its standard input: a run that lost
// its output, or could not read its list, ends with status 1 and says why on
// standard error; one that does not read standard input runs as ever.
TEST(SuiteStreams, NoRunEndsWellAfterLosingItsOutputOrItsInput) {
  const std::string bow = VELMORA_BOW_BIN, gpms = VELMORA_GPMS_BIN, idx = VELMORA_IDX_BIN;
  std::string modello(72, '\0');  // "parola", seen twice in class 1
  modello.replace(0, 6, "parola");
  modello[32 + 4] = 2;
  const std::vector<stampatore> stampatori = {
      {bow, {"aggiungi", "t.txt", "1"}, ""},
      {bow, {"classifica", "t.txt"}, ""},
      {bow, {"classifica", "--punteggio", "bayes", "t.txt"}, ""},
      {bow, {"addestra", "c"}, ""},
      {bow, {"valuta", "c", "--errori"}, ""},
      {bow, {"mostra", "1"}, ""},
      {bow, {"spiega", "t.txt"}, ""},
      {bow, {"predici", "t.txt", "c"}, ""},
      {bow, {"predici"}, "t.txt\nc/1/x\n"},
      {bow, {"aggiungi", "--help"}, ""},
      {VELMORA_PMS_BIN, {"r.csv", "h.w", "o.w"}, ""},
      {VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, ""},
      {VELMORA_APMS_BIN, {"r.csv", "h2.w", "o2.w", "1"}, ""},
      {gpms, {"r.csv", "h.w", "o.w"}, ""},
      {gpms, {"r.csv", "h.w", "o.w", "--predizioni", "-"}, ""},
      {gpms, {"r.csv", "h.w", "o.w", "--png", "-"}, ""},
      {idx, {"img", "lab", "out.csv"}, ""},
      {idx, {"img", "lab", "-"}, ""},
  };
  for (const stampatore& s : stampatori) {
    const std::string nome = fs::path(s.bin).filename().string() + " " + s.args[0] + " " + s.args.back();
    vt::TempDir pulita;
    prepara_valide(pulita);
    vt::write_file(pulita / "Bow.txt", modello);
    vt::RunOptions o = vt::in_dir(pulita);
    o.input = s.ingresso;
    o.secondi = 60;
    const auto ok = vt::run(s.bin, s.args, o);
    ASSERT_EQ(ok.status, 0) << nome << ": " << ok.out << ok.err;
    ASSERT_FALSE(ok.out.empty()) << nome;

    for (const char* prova : {"/dev/full", "chiuso", "cartella"}) {
      SCOPED_TRACE(nome + ", " + prova);
      vt::TempDir d;
      prepara_valide(d);
      vt::write_file(d / "Bow.txt", modello);
      vt::RunOptions p = vt::in_dir(d);
      p.secondi = 60;
      const bool uscita = prova == std::string("/dev/full");
      if (uscita) {
        p.uscita = prova;
        p.input = s.ingresso;
      } else if (prova == std::string("chiuso")) {
        p.senza_ingresso = true;
      } else {
        p.ingresso_da = d.path.string();
      }
      const auto r = vt::run(s.bin, s.args, p);
      if (uscita) {
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Errore di scrittura sullo standard output: No space left on device\n"),
                  std::string::npos) << r.err;
      } else if (!s.ingresso.empty()) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "") << "no header without the list";
        EXPECT_EQ(r.err, std::string("Impossibile leggere l'elenco dei testi da standard input: ") +
                             (prova == std::string("chiuso") ? "Bad file descriptor\n" : "Is a directory\n"));
      } else {
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, ok.out);
      }
    }
  }
}
