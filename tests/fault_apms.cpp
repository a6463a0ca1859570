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
