// The fuzz targets, linked to their replayer, on the seeds they write and on
// every input kept from a finding: each must run through without a report.
#include <gtest/gtest.h>

#include <filesystem>

#include "run_util.h"

namespace {

void riproduci(const std::string& bin, const std::string& nome) {
  vt::TempDir tmp;
  const std::string semi = tmp / "semi";
  auto r = vt::run(bin, {"--write-seeds", semi});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  ASSERT_FALSE(std::filesystem::is_empty(semi)) << "nessun seme scritto da " << nome;

  std::vector<std::string> args{semi};
  const std::string regressioni = std::string(VELMORA_FUZZ_DIR) + "/regressions/" + nome;
  if (std::filesystem::is_directory(regressioni)) args.push_back(regressioni);
  r = vt::run(bin, args);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(" input eseguiti\n"), std::string::npos) << r.out;
}

}  // namespace

TEST(FuzzReplay, ModelFile) { riproduci(FUZZ_BOW_MODEL_BIN, "fuzz_bow_model"); }
TEST(FuzzReplay, TextCleaning) { riproduci(FUZZ_BOW_TEXT_BIN, "fuzz_bow_text"); }
TEST(FuzzReplay, RowsReader) { riproduci(FUZZ_ROWS_BIN, "fuzz_rows"); }
TEST(FuzzReplay, WeightFiles) { riproduci(FUZZ_WEIGHTS_BIN, "fuzz_weights"); }
TEST(FuzzReplay, IdxFiles) { riproduci(FUZZ_IDX_BIN, "fuzz_idx"); }
TEST(FuzzReplay, RowsLoaded) { riproduci(FUZZ_RIGHE_BIN, "fuzz_righe"); }
TEST(FuzzReplay, ScoringRules) { riproduci(FUZZ_PUNTEGGI_BIN, "fuzz_punteggi"); }
TEST(FuzzReplay, CommandLines) { riproduci(FUZZ_OPZIONI_BIN, "fuzz_opzioni"); }
TEST(FuzzReplay, LinearModelFile) { riproduci(FUZZ_LINEARE_BIN, "fuzz_lineare"); }
TEST(FuzzReplay, TrainerResumeFile) { riproduci(FUZZ_RIPRESA_BIN, "fuzz_ripresa"); }
