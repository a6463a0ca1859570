// The network arithmetic, the weight files and the forward pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "rete_util.h"

TEST(LibNetwork, ArithmeticExamples) {
  EXPECT_EQ(activ_function(0.0), 0.5);
  EXPECT_EQ(Dactiv_function(0.0), 0.25);
  EXPECT_EQ(activ_function(-1000.0), 0.0);  // exp overflows to infinity
  EXPECT_EQ(activ_function(1000.0), 1.0);

  const double x0[] = {3.0}, w0[] = {0.1};
  EXPECT_EQ(perc_calc_output(w0, x0, 0), 3.0 * 0.1);

  double dst[4];
  const double src[] = {0.2, 0.4, 0.6};
  layer_map_out_in(dst, src, 3);
  EXPECT_EQ(std::vector<double>(dst, dst + 4), (std::vector<double>{1.0, 0.2, 0.4, 0.6}));

  const double x[] = {1.0, 2.0}, W[] = {0.5, 1.0, -1.0, 0.25};
  double somme[2], uscite[2];
  layer_feed_forward(somme, uscite, W, x, 2, 1);
  EXPECT_EQ(somme[0], 2.5);
  EXPECT_EQ(somme[1], -0.5);
  EXPECT_EQ(uscite[0], 1.0 / (1.0 + std::exp(-2.5)));
  EXPECT_EQ(uscite[1], 1.0 / (1.0 + std::exp(0.5)));
}

TEST(LibNetwork, SumsInIndexOrderWithRoundedProducts) {
  // In index order 1 + 1e100 loses the 1; any other order keeps it.
  const double ones[] = {1.0, 1.0, 1.0}, w[] = {1.0, 1e100, -1e100};
  EXPECT_EQ(perc_calc_output(w, ones, 2), 0.0);
  // (1 + 2^-30)^2 rounds to 1 + 2^-29; a fused multiply-add would keep 2^-60.
  const double a = 1.0 + std::ldexp(1.0, -30);
  const double x[] = {1.0, a}, v[] = {-(1.0 + std::ldexp(1.0, -29)), a};
  EXPECT_EQ(perc_calc_output(v, x, 1), 0.0);
}

TEST(LibNetwork, CorrectionStep) {
  const double x[] = {1.0, 2.0, -4.0};
  double w[] = {0.5, 0.5, 0.5};
  perc_correzione(w, x, 0.7, 0.0, 3.0, 2);  // b = 0 or c = 0: nothing moves
  perc_correzione(w, x, 0.7, 3.0, 0.0, 2);
  perc_correzione(w, x, 0.0, 2.0, 0.5, 2);  // derivative 0.25: w += 0.25 * x
  EXPECT_EQ(std::vector<double>(w, w + 3), (std::vector<double>{0.75, 1.0, -0.5}));
}

TEST(LibWeightFile, RoundTripIsBitIdenticalAndLeavesTheTail) {
  const double odd[] = {-0.0, std::numeric_limits<double>::denorm_min(), std::nan("0x5a5a"),
                        -std::numeric_limits<double>::infinity(), 1.0 / 3.0, 6.02e23, 7.0, 8.0, 9.0};
  vt::TempDir dir;
  file_ptr out(std::fopen((dir / "l.w").c_str(), "wb"));
  layer_writedown(out.get(), odd, 2, 3);
  out.reset();
  const std::string bytes = vt::read_file(dir / "l.w");
  ASSERT_EQ(bytes.size(), 48u);
  EXPECT_EQ(std::memcmp(bytes.data(), odd, 48), 0);

  vt::write_file(dir / "l.w", bytes + "trailing bytes never read");
  double back[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  file_ptr in(std::fopen((dir / "l.w").c_str(), "rb"));
  layer_read(in.get(), back, 2, 3);
  EXPECT_EQ(std::ftell(in.get()), 48);
  EXPECT_EQ(std::memcmp(back, odd, 48), 0);
  EXPECT_EQ(std::vector<double>(back + 6, back + 9), (std::vector<double>{-1, -1, -1}));
}

TEST(LibWeightFile, ShortFileKeepsWhatItCannotFill) {
  vt::TempDir dir;
  const double two[] = {1.5, 2.5};
  vt::write_file(dir / "s.w", std::string(reinterpret_cast<const char*>(two), 16) + "abc");
  double W[6] = {9, 9, 9, 9, 9, 9};
  file_ptr in(std::fopen((dir / "s.w").c_str(), "rb"));
  EXPECT_EQ(leggi_pesi(in.get(), W, 2, 3), 19);
  // The partial third value is not stored either.
  EXPECT_EQ(std::vector<double>(W, W + 6), (std::vector<double>{1.5, 2.5, 9, 9, 9, 9}));
}

TEST(LibNetwork, ForwardPass) {
  auto rete = crea_rete();
  for (int k = 0; k < N_AFFERENTI; ++k) rete->pixel[k] = k % 2 ? 255 : 128;
  EXPECT_EQ(net_recognize(*rete), 0);  // all-zero weights: every activation 0.5
  EXPECT_EQ(std::vector<double>(rete->ingresso, rete->ingresso + 3), (std::vector<double>{1.0, 128 / 255.0, 1.0}));
  for (double u : rete->uscita_intercalari) EXPECT_EQ(u, 0.5);
  for (double u : rete->uscita_efferenti) EXPECT_EQ(u, 0.5);

  // The tail of output 9, which no file supplies, still takes part.
  for (int c = 91; c <= 100; ++c) rete->pesi_efferenti[9 * 101 + c] = 1.0;
  EXPECT_EQ(net_recognize(*rete), 9);
  // Not-a-number outputs name no digit.
  for (int k = 0; k < N_EFFERENTI; ++k) rete->pesi_efferenti[k * 101] = std::nan("");
  EXPECT_EQ(net_recognize(*rete), -1);
}

TEST(LibDrawing, OneCellPerValueLowestLightestAndAFlatGridAllLight) {
  EXPECT_EQ(tono_grigio(0.0, 0.0, 1.0), 255);
  EXPECT_EQ(tono_grigio(1.0, 0.0, 1.0), 232);
  EXPECT_EQ(tono_grigio(0.5, 0.0, 1.0), 243);
  EXPECT_EQ(tono_grigio(0.25, 0.0, 1.0), 249);
  double minimo, massimo;
  const double alti[] = {20.0, 30.0};
  estremi_griglia(alti, 2, minimo, massimo);  // the starting minimum bounds values all above it
  EXPECT_EQ(minimo, 10.0);
  EXPECT_EQ(massimo, 30.0);

  // Four intensities as the recogniser scales them, drawn from row 9, column 2.
  const int valori[] = {0, 64, 128, 255}, toni[] = {255, 249, 243, 232};
  std::vector<double> griglia(N_AFFERENTI);
  std::vector<int> grigi(N_AFFERENTI);
  for (int k = 0; k < N_AFFERENTI; ++k) {
    griglia[k] = valori[(k + k / 28) % 4] / 255.0;
    grigi[k] = toni[(k + k / 28) % 4];
  }
  EXPECT_EQ(componi_oggetto(griglia.data(), LATO_IMMAGINE, LATO_IMMAGINE, 9, 2), vt::celle(grigi));
  // A blank image has no range: every cell takes the lightest grey.
  const std::vector<double> vuota(N_AFFERENTI, 0.0);
  EXPECT_EQ(componi_oggetto(vuota.data(), LATO_IMMAGINE, LATO_IMMAGINE, 9, 2),
            vt::celle(std::vector<int>(N_AFFERENTI, 255)));
}
