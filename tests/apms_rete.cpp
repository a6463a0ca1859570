// The training step against the network it trains: its updates follow the
// gradient of the squared error, the tails no weight file can hold stay 0.0,
// and the network written and read back answers to the last bit alike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "apms.h"
#include "run_util.h"

namespace {

// A network with the program's starting weights, pushed away from them by a
// few steps so every weight matters, and a row of mostly non-zero pixels.
std::unique_ptr<rete_cifre> rete_di_prova(generatore& g) {
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  for (int passo = 0; passo < 5; ++passo) {
    for (int p = 0; p < N_AFFERENTI; ++p) rete->pixel[p] = static_cast<int32_t>(sotto(g, 256));
    addestra_riga(*rete, static_cast<int32_t>(passo), 0.5);
  }
  for (int p = 0; p < N_AFFERENTI; ++p) rete->pixel[p] = static_cast<int32_t>(sotto(g, 256));
  return rete;
}

double errore(rete_cifre& rete, int etichetta) {
  net_recognize(rete);
  double e = 0.0;
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double c = (k == etichetta ? 1.0 : 0.0) - rete.uscita_efferenti[k];
    e += 0.5 * c * c;
  }
  return e;
}

// Central difference of the squared error in one weight.
double pendenza(rete_cifre& rete, double* w, int etichetta) {
  const double h = 1e-5, vecchio = *w;
  *w = vecchio + h;
  const double su = errore(rete, etichetta);
  *w = vecchio - h;
  const double giu = errore(rete, etichetta);
  *w = vecchio;
  return (su - giu) / (2 * h);
}

}  // namespace

TEST(ApmsStep, EveryUpdateIsTheRateTimesTheDownhillSlope) {
  generatore g{42};
  auto prima = rete_di_prova(g);
  const int etichetta = 3;
  const double tasso = 1.0;  // large on purpose: reading output weights already updated would show
  auto dopo = crea_rete();
  std::memcpy(dopo.get(), prima.get(), sizeof(rete_cifre));
  addestra_riga(*dopo, etichetta, tasso);

  auto controlla = [&](double* w_prima, const double* w_dopo, const char* dove, int indice) {
    const double atteso = -tasso * pendenza(*prima, w_prima, etichetta);
    const double cambio = *w_dopo - *w_prima;
    EXPECT_NEAR(cambio, atteso, 1e-6 * std::fabs(atteso) + 1e-12) << dove << " " << indice;
    EXPECT_NE(cambio, 0.0) << dove << " " << indice;
  };
  for (int k = 0; k < N_EFFERENTI; ++k)
    for (int j : {0, 1, 50, 90}) {
      const int e = k * (N_INTERCALARI + 1) + j;
      controlla(prima->pesi_efferenti + e, dopo->pesi_efferenti + e, "efferenti", e);
    }
  for (int i : {0, 1, 37, 98, 99})
    for (int j : {0, 1, 400, 684}) {
      const int e = i * (N_AFFERENTI + 1) + j;
      controlla(prima->pesi_intercalari + e, dopo->pesi_intercalari + e, "intercalari", e);
    }
}

TEST(ApmsStep, TailsStayZeroAndTheReloadedNetworkAnswersBitForBit) {
  generatore g{7};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  for (int passo = 0; passo < 40; ++passo) {
    for (int p = 0; p < N_AFFERENTI; ++p) rete->pixel[p] = static_cast<int32_t>(sotto(g, 256));
    addestra_riga(*rete, static_cast<int32_t>(passo % 10), 0.8);
  }
  for (long e = VALORI_INTERCALARI; e < N_INTERCALARI * (N_AFFERENTI + 1); ++e)
    ASSERT_EQ(rete->pesi_intercalari[e], 0.0) << e;
  for (long e = VALORI_EFFERENTI; e < N_EFFERENTI * (N_INTERCALARI + 1); ++e) ASSERT_EQ(rete->pesi_efferenti[e], 0.0) << e;
  EXPECT_NE(rete->pesi_intercalari[VALORI_INTERCALARI - 1], 0.0) << "the last weight a file holds is trained";

  vt::TempDir d;
  ASSERT_TRUE(scrivi_pesi(*rete, (d / "h.w").c_str(), (d / "o.w").c_str()));
  vt::write_file(d / "r.csv", "0");
  auto letta = crea_rete();
  file_ptr righe = net_load(*letta, (d / "r.csv").c_str(), (d / "h.w").c_str(), (d / "o.w").c_str());
  for (int prova = 0; prova < 20; ++prova) {
    for (int p = 0; p < N_AFFERENTI; ++p) rete->pixel[p] = letta->pixel[p] = static_cast<int32_t>(sotto(g, 256));
    EXPECT_EQ(net_recognize(*rete), net_recognize(*letta));
    EXPECT_EQ(std::memcmp(rete->uscita_efferenti, letta->uscita_efferenti, sizeof rete->uscita_efferenti), 0);
  }
}
