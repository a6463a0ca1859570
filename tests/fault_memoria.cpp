// The digit programs when memory runs out: whatever the limit, a run that
// got as far as its banner ends with "Memoria insufficiente" and status 1
// or finishes normally; it never aborts, and never writes half a file.
#include <gtest/gtest.h>

#include "rete_util.h"

namespace {

// Runs the program under address-space limits from 2 MB up, in 128 KB steps,
// until it succeeds; returns how many limits it reported as out of memory.
// Every failing run must have left the files as they were: checked by the
// caller, since only the last, successful run may write.
int prova_limiti(const std::string& exe, const std::vector<std::string>& args, const vt::TempDir& dir,
                 const std::string& banner) {
  int esaurita = 0;
  for (long limite = 2L << 20; limite <= 64L << 20; limite += 128L << 10) {
    vt::RunOptions o = vt::in_dir(dir);
    o.as_limit = limite;
    auto r = vt::run(exe, args, o);
    if (r.status == 0) return esaurita;
    if (!r.out.starts_with(banner)) continue;  // the loader itself found no room: main never ran
    EXPECT_TRUE(r.out.ends_with("Memoria insufficiente\n")) << exe << " at " << limite << ":\n" << r.out;
    EXPECT_EQ(r.status, 1) << exe << " at " << limite;
    ++esaurita;
  }
  ADD_FAILURE() << exe << " never ran to the end";
  return esaurita;
}

}  // namespace

TEST(FaultMemoria, DigitProgramsReportRunningOutOfMemory) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer needs far more address space than the limits leave";
#endif
  vt::TempDir d;
  vt::pesi_pixel().scrivi(d);
  vt::write_file(d / "r.csv", vt::righe_blocchi(30, 3));
  EXPECT_GT(prova_limiti(VELMORA_PMS_BIN, {"r.csv", "h.w", "o.w"}, d, vt::BANNER_PMS), 0);
  EXPECT_GT(prova_limiti(VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, d, vt::BANNER_BPMS), 0);
  vt::write_file(d / "a.w", "vecchio a");
  vt::write_file(d / "b.w", "vecchio b");
  EXPECT_GT(prova_limiti(VELMORA_APMS_BIN, {"r.csv", "a.w", "b.w", "1"}, d, vt::BANNER_APMS), 0);
  // The weight files were written only by the run that had room for all of it.
  EXPECT_EQ(vt::elenco(d.path.string()), (std::vector<std::string>{"a.w", "b.w", "h.w", "o.w", "r.csv"}));
  EXPECT_EQ(vt::read_file(d / "a.w").size(), 627200u);
}
