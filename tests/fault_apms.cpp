// velmora_apms when the disk refuses its weight files: a file size limit at
// every size that matters, a full file system, a folder that vanished, a
// path through a regular file, a target that cannot be replaced. The previous
// pair of weight files must survive byte for byte (never one new file beside
// one old one), the program must say which file failed and exit 1, and no
// temporary file may be left behind.
#include <gtest/gtest.h>

#include "fault_util.h"
#include "rete_util.h"

namespace {

const std::string VECCHIO_A = "vecchi pesi intercalari";
const std::string VECCHIO_B = "vecchi pesi efferenti";

struct cartella {
  vt::TempDir dir;
  cartella() {
    vt::write_file(dir / "train.csv", vt::righe_blocchi(10, 1));
    vt::write_file(dir / "a.w", VECCHIO_A);
    vt::write_file(dir / "b.w", VECCHIO_B);
  }
  void intatti() const {
    EXPECT_EQ(vt::read_file(dir / "a.w"), VECCHIO_A);
    EXPECT_EQ(vt::read_file(dir / "b.w"), VECCHIO_B);
  }
};

vt::RunResult addestra(const vt::TempDir& dir, const std::string& a, const std::string& b, long limite = -1) {
  return vt::run(VELMORA_APMS_BIN, {"train.csv", a, b, "1"}, vt::in_dir(dir, limite));
}

const std::vector<std::string> TRE = {"a.w", "b.w", "train.csv"};

}  // namespace

TEST(FaultApms, EveryFileSizeLimitKeepsBothOldFilesOrWritesBoth) {
  // Below 8000 bytes neither layer fits; up to 627199 only the output layer would.
  for (long limite : {0L, 1L, 4096L, 7999L, 8000L, 8001L, 65536L, 627199L}) {
    SCOPED_TRACE("limite " + std::to_string(limite));
    cartella c;
    auto r = addestra(c.dir, "a.w", "b.w", limite);
    EXPECT_TRUE(r.out.ends_with("Impossibile scrivere il file a.w\n")) << r.out;
    EXPECT_EQ(r.status, 1);
    c.intatti();
    EXPECT_EQ(vt::elenco(c.dir.path.string()), TRE);
    if (HasFailure()) return;
  }
  cartella c;
  auto r = addestra(c.dir, "a.w", "b.w", 627200);
  EXPECT_TRUE(r.out.ends_with("\nPesi scritti in a.w e b.w\n")) << r.out;
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(vt::read_file(c.dir / "a.w").size(), 627200u);
  EXPECT_EQ(vt::read_file(c.dir / "b.w").size(), 8000u);
  EXPECT_EQ(vt::elenco(c.dir.path.string()), TRE);
}

TEST(FaultApms, TheSecondFileFailingLeavesTheFirstOld) {
  // The output layer's folder is a regular file: its weights cannot be
  // written, and the hidden layer's file must not be replaced alone (the
  // check before training finds it now; a rename refused at the very end is
  // tested on the atomic write itself).
  cartella c;
  vt::write_file(c.dir / "file", "");
  auto r = addestra(c.dir, "a.w", "file/b.w");
  EXPECT_TRUE(r.out.ends_with("Impossibile scrivere il file file/b.w\n")) << r.out;
  EXPECT_EQ(r.status, 1);
  c.intatti();
  EXPECT_EQ(vt::elenco(c.dir.path.string()), (std::vector<std::string>{"a.w", "b.w", "file", "train.csv"}));

  // The hidden layer's target is a folder: neither target changes.
  cartella c2;
  std::filesystem::remove(c2.dir / "a.w");
  std::filesystem::create_directories(c2.dir / "a.w/pieno");
  r = addestra(c2.dir, "a.w", "b.w");
  EXPECT_TRUE(r.out.ends_with("Impossibile scrivere il file a.w\n")) << r.out;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(c2.dir / "b.w"), VECCHIO_B);
  EXPECT_EQ(vt::elenco(c2.dir.path.string()), TRE);
}

TEST(FaultApms, AFullFileSystemKeepsBothOldFiles) {
  if (!ft::tmpfs_disponibile()) GTEST_SKIP() << "no user namespaces here: a full tmpfs cannot be made";
  cartella c;
  vt::TempDir copia, punto;
  const std::string script = std::string(ft::MONTA) + "cp \"$2/a.w\" \"$2/b.w\" \"$1/\"\n" + ft::RIEMPI +
                             "cd \"$1\"\nset +e\n\"$3\" \"$2/train.csv\" a.w b.w 1\nst=$?\n"
                             "cp \"$1/a.w\" \"$1/b.w\" \"$4/\"\nls -A \"$1\" > \"$4/elenco\"\nexit $st\n";
  auto r = ft::in_namespace(script, {punto.path.string(), c.dir.path.string(), VELMORA_APMS_BIN,
                                     copia.path.string()});
  EXPECT_TRUE(r.out.ends_with("Impossibile scrivere il file a.w\n")) << r.out << r.err;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(copia / "a.w"), VECCHIO_A);
  EXPECT_EQ(vt::read_file(copia / "b.w"), VECCHIO_B);
  EXPECT_EQ(vt::read_file(copia / "elenco"), "a.w\nb.w\nriempitivo\n");
}

TEST(FaultApms, AFolderThatVanishedIsReported) {
  cartella c;
  vt::TempDir via;
  auto r = vt::run("/bin/sh", {"-c", "mkdir \"$1\" && cd \"$1\" && rmdir \"$1\" && exec \"$2\" \"$3\" a.w b.w 1",
                               "sh", via / "cartella", VELMORA_APMS_BIN, c.dir / "train.csv"});
  EXPECT_TRUE(r.out.ends_with("Impossibile scrivere il file a.w\n")) << r.out << r.err;
  EXPECT_EQ(r.status, 1);
  c.intatti();
}

TEST(FaultApms, TargetsThatCannotTakeWeightsAreRefusedBeforeAnyRowIsRead) {
  cartella c;
  vt::write_file(c.dir / "test.csv", vt::righe_blocchi(5, 2));
  std::filesystem::create_hard_link(c.dir / "train.csv", c.dir / "copia.w");
  std::filesystem::create_directories(c.dir / "piena/dentro");
  const std::string csv = "contiene righe CSV, non pesi: gli argomenti sono nell'ordine giusto?";
  struct caso {
    std::vector<std::string> args;
    std::string file, motivo;
  } casi[] = {
      // The held-out file typed where the hidden layer's file goes.
      {{"train.csv", "test.csv", "b.w"}, "test.csv", csv},
      {{"train.csv", "a.w", "b.w", "1", "0.3", "a.w"}, "a.w", "e' il file di righe a.w"},
      {{"train.csv", "copia.w", "b.w"}, "copia.w", "e' il file di righe train.csv"},
      {{"train.csv", "nodir/h.w", "nodir/o.w", "30"}, "nodir/h.w", "la sua cartella non esiste"},
      {{"train.csv", "a.w", "piena"}, "piena", "e' una cartella"},
  };
  for (const caso& k : casi) {
    auto r = vt::run(VELMORA_APMS_BIN, k.args, vt::in_dir(c.dir));
    EXPECT_EQ(r.out, vt::BANNER_APMS + "Il file " + k.file + " non puo' ricevere i pesi: " + k.motivo +
                         "\nImpossibile scrivere il file " + k.file + "\n");
    EXPECT_EQ(r.status, 1);
  }
  c.intatti();
  EXPECT_EQ(vt::read_file(c.dir / "test.csv"), vt::righe_blocchi(5, 2));
  EXPECT_EQ(vt::elenco(c.dir.path.string()),
            (std::vector<std::string>{"a.w", "b.w", "copia.w", "piena", "test.csv", "train.csv"}));

  // Two names of one file are one target.
  auto r = vt::run(VELMORA_APMS_BIN, {"train.csv", "a.w", "./a.w"}, vt::in_dir(c.dir));
  EXPECT_EQ(r.out, vt::BANNER_APMS + "I due file dei pesi devono essere diversi: a.w\n");
  EXPECT_EQ(r.status, 1);
}

namespace {

// velmora_apms killed outright (SIGKILL, through a preloaded rename) just
// before it renames its new file over prima_di: for "b.w", between the two
// renames of the pair, the new a.w already in place beside the old b.w.
vt::RunResult uccisa(const vt::TempDir& dir, const std::vector<std::string>& args, const char* prima_di) {
  vt::RunOptions o = vt::in_dir(dir);
  o.precarica = UCCIDI_RINOMINA;
  o.ambiente = {{"VELMORA_UCCIDI_PRIMA_DI", prima_di}};
  return vt::run(VELMORA_APMS_BIN, args, o);
}

}  // namespace

TEST(FaultApms, APairKilledBetweenItsRenamesIsCompletedByTheNextRunThatTouchesIt) {
  // The pair one epoch writes, and the pair two epochs write: the killed run
  // is the second, and what its pair must become.
  const std::string righe = vt::righe_blocchi(30, 4);
  vt::TempDir riferimento;
  vt::write_file(riferimento / "train.csv", righe);
  ASSERT_EQ(vt::run(VELMORA_APMS_BIN, {"train.csv", "a.w", "b.w", "1"}, vt::in_dir(riferimento)).status, 0);
  const std::string a1 = vt::read_file(riferimento / "a.w"), b1 = vt::read_file(riferimento / "b.w");
  ASSERT_EQ(vt::run(VELMORA_APMS_BIN, {"train.csv", "a.w", "b.w", "2"}, vt::in_dir(riferimento)).status, 0);
  const std::string a2 = vt::read_file(riferimento / "a.w"), b2 = vt::read_file(riferimento / "b.w");
  vt::write_file(riferimento / "r.csv", vt::riga(3, vt::immagine(3)));

  struct caso {
    const char* nome;
    const char* prima_di;              // the rename the kill comes before
    bool cambia_b;                     // b.w replaced by another file after the kill
    std::vector<std::string> seguito;  // the next run: velmora_gpms, or velmora_apms when it starts with train.csv
    int stato;
    std::string messaggio;             // what it says of the pair ("completata", "spaiata" or nothing)
    std::string a, b;                  // the pair then
  } casi[] = {
      {"gpms", "b.w", false, {"r.csv", "a.w", "b.w"}, 0, "completata", a2, b2},
      {"gpms -", "b.w", false, {"r.csv", "a.w", "b.w", "--predizioni", "-"}, 0, "completata", a2, b2},
      {"apms", "b.w", false, {"train.csv", "a.w", "b.w", "2"}, 0, "completata", a2, b2},
      {"apms --da", "b.w", false, {"train.csv", "c.w", "d.w", "1", "--da", "a.w", "b.w"}, 0, "completata", a2, b2},
      {"prima", "a.w", false, {"r.csv", "a.w", "b.w"}, 0, "", a1, b1},
      {"spaiata", "b.w", true, {"r.csv", "a.w", "b.w"}, 1, "spaiata", a2, b1},
      {"spaiata --da", "b.w", true, {"train.csv", "c.w", "d.w", "1", "--da", "a.w", "b.w"}, 1, "spaiata", a2, b1},
  };
  for (const caso& k : casi) {
    SCOPED_TRACE(k.nome);
    vt::TempDir d;
    for (const char* f : {"train.csv", "r.csv"}) std::filesystem::copy_file(riferimento / f, d / f);
    vt::write_file(d / "a.w", a1);
    vt::write_file(d / "b.w", b1);
    auto r = uccisa(d, {"train.csv", "a.w", "b.w", "2"}, k.prima_di);
    ASSERT_EQ(r.status, 128 + SIGKILL) << r.out;
    EXPECT_EQ(vt::read_file(d / "a.w"), k.prima_di == std::string("b.w") ? a2 : a1);
    EXPECT_EQ(vt::read_file(d / "b.w"), b1);
    if (k.cambia_b) {
      // Another b.w renamed over it, the old one kept under another name so
      // that the new file cannot take its inode.
      std::filesystem::create_hard_link(d / "b.w", d / "b.vecchio");
      vt::write_file(d / "altro", b1);
      std::filesystem::rename(d / "altro", d / "b.w");
    }
    const bool apms = k.seguito[0] == "train.csv";
    r = vt::run(apms ? VELMORA_APMS_BIN : VELMORA_GPMS_BIN, k.seguito, vt::in_dir(d));
    EXPECT_EQ(r.status, k.stato) << r.out << r.err;
    const std::string cartella = std::filesystem::canonical(d.path).string();
    const std::string coppia = "pesi " + cartella + "/a.w e " + cartella + "/b.w";
    const std::string atteso =
        k.messaggio == "completata" ? "La scrittura dei " + coppia + " era stata interrotta: completata ora\n"
        : k.messaggio == "spaiata"  ? "I " + coppia + " non sono una coppia: la loro scrittura era stata interrotta, e " +
                                         cartella + "/b.w e' poi cambiato\n"
                                    : std::string("era stata interrotta");
    // On standard error when standard output carries the predictions.
    const std::string& dove = k.seguito.back() == "-" ? r.err : r.out;
    if (k.messaggio.empty()) {
      EXPECT_EQ((r.out + r.err).find(atteso), std::string::npos) << r.out;
    } else {
      EXPECT_NE(dove.find(atteso), std::string::npos) << r.out << r.err;
    }
    if (k.seguito.back() == "-") {
      EXPECT_TRUE(r.out.starts_with("riga\tetichetta")) << r.out;
    }
    EXPECT_EQ(vt::read_file(d / "a.w"), k.a);
    EXPECT_EQ(vt::read_file(d / "b.w"), k.b);
    // Nothing of the killed run is left, but for a pair that is not one:
    // its record stays, so that every run reports it until it is written anew.
    std::vector<std::string> nomi = vt::elenco(d.path.string());
    std::erase_if(nomi, [](const std::string& n) { return !n.starts_with("."); });
    EXPECT_EQ(nomi.size(), k.stato == 0 ? 0u : 1u) << (nomi.empty() ? "" : nomi[0]);
    if (k.stato != 0) {
      EXPECT_EQ(vt::run(VELMORA_GPMS_BIN, {"r.csv", "a.w", "b.w"}, vt::in_dir(d)).status, 1);
      ASSERT_EQ(vt::run(VELMORA_APMS_BIN, {"train.csv", "a.w", "b.w", "2"}, vt::in_dir(d)).status, 0);
      EXPECT_EQ(vt::read_file(d / "a.w"), a2);
      EXPECT_EQ(vt::read_file(d / "b.w"), b2);
      EXPECT_EQ(vt::run(VELMORA_GPMS_BIN, {"r.csv", "a.w", "b.w"}, vt::in_dir(d)).status, 0);
      nomi = vt::elenco(d.path.string());
      EXPECT_EQ(std::count_if(nomi.begin(), nomi.end(), [](const std::string& n) { return n.starts_with("."); }), 0);
    }
  }
}
