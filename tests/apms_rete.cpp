// The training step against the network it trains: its updates follow the
// gradient of the squared error, the tails no weight file can hold stay 0.0,
// and the network written and read back answers to the last bit alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "addestramento.h"
#include "apms.h"
#include "rete_util.h"

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

// ---- The fast step against addestra_riga ---------------------------------------------

namespace {

// Digit-like rows: about three pixels in four are 0, as in scanned digits.
righe_cifre righe_a_caso(generatore& g, int quante, bool fuori_scala = false) {
  righe_cifre r;
  for (int n = 0; n < quante; ++n) {
    for (int p = 0; p < N_AFFERENTI; ++p) {
      const uint32_t t = sotto(g, 100);
      r.pixel.push_back(t < 75 ? 0 : fuori_scala && t > 95 ? static_cast<int32_t>(prossimo(g)) : sotto(g, 256));
    }
    r.etichette.push_back(static_cast<int32_t>(sotto(g, 10)));
  }
  r.quante = quante;
  return r;
}

// Rows that light the top and the bottom half of the image in turn, and
// with lampi one lit pixel in forty at 5000: at the largest rates a row
// drives some weights of its half to infinity while the rest stay finite,
// and the next row meets them as zero inputs (0.0 times infinity is not a
// number).
righe_cifre righe_alterne(generatore& g, int quante, bool lampi) {
  righe_cifre r = righe_a_caso(g, quante);
  for (int n = 0; n < quante; ++n)
    for (int p = 0; p < N_AFFERENTI; ++p) {
      int32_t& v = r.pixel[static_cast<size_t>(n) * N_AFFERENTI + p];
      if ((p < N_AFFERENTI / 2) == (n % 2 == 1)) v = 0;
      else if (lampi && v != 0 && sotto(g, 40) == 0) v = 5000;
    }
  return r;
}

// Bit for bit, one not-a-number matching another: where two meet, which one
// an operation passes on is the compiler's choice of operand order, in the
// straightforward code as much as in the fast one.
::testing::AssertionResult stessi_bit(const double* a, const double* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0)
      return ::testing::AssertionFailure() << "element " << i << ": expected " << a[i] << ", got " << b[i];
  }
  return ::testing::AssertionSuccess();
}

// Trains copies of inizio on every row with both steps side by side, on
// every vector unit: each row's class and hidden sums must agree, and every
// weight after each row of a short run, or at the end of a long one.
void stesso_addestramento(const rete_cifre& inizio, const righe_cifre& righe, double tasso, const std::string& caso) {
  for (livello_simd l : vt::livelli()) {
    const std::string dove = caso + ", level " + std::to_string(static_cast<int>(l));
    auto attesa = crea_rete(), ottenuta = crea_rete();
    *attesa = *ottenuta = inizio;
    auto stato = prepara_addestramento(*ottenuta);
    for (int r = 0; r < righe.quante; ++r) {
      prendi_riga(*attesa, righe, r);
      prendi_riga(*ottenuta, righe, r);
      ASSERT_EQ(addestra_riga_veloce(*ottenuta, *stato, ottenuta->etichetta, tasso, l),
                addestra_riga(*attesa, attesa->etichetta, tasso))
          << dove << " row " << r;
      ASSERT_TRUE(stessi_bit(attesa->somma_intercalari, ottenuta->somma_intercalari, N_INTERCALARI))
          << dove << " row " << r;
      if (righe.quante > 40 && r + 1 < righe.quante) continue;
      riporta_pesi(*stato, *ottenuta);
      ASSERT_TRUE(stessi_bit(attesa->pesi_intercalari, ottenuta->pesi_intercalari, std::size(attesa->pesi_intercalari)))
          << dove << " row " << r;
      ASSERT_TRUE(stessi_bit(attesa->pesi_efferenti, ottenuta->pesi_efferenti, std::size(attesa->pesi_efferenti)))
          << dove << " row " << r;
    }
  }
}

}  // namespace

TEST(ApmsFastStep, AnEpochOfSeededRowsGivesTheSameWeightsBitForBit) {
  generatore g{SEME};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  stesso_addestramento(*rete, righe_a_caso(g, 300), TASSO_PREDEFINITO, "epoch");
  stesso_addestramento(*rete, righe_a_caso(g, 40, true), 0.01, "pixels beyond 0 ... 255");
}

TEST(ApmsFastStep, HugeRatesThatOverflowTheWeightsGiveTheSameBits) {
  generatore g{5};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  const righe_cifre righe = righe_alterne(g, 6, true);
  for (double tasso : {1e3, 1e308, 1.7976931348623157e308})
    stesso_addestramento(*rete, righe, tasso, "rate " + std::to_string(tasso));

  // The first row makes some weights infinite and leaves the rest finite.
  auto dopo = crea_rete();
  *dopo = *rete;
  prendi_riga(*dopo, righe, 0);
  addestra_riga(*dopo, dopo->etichetta, 1.7976931348623157e308);
  const auto infiniti = std::count_if(std::begin(dopo->pesi_intercalari), std::end(dopo->pesi_intercalari),
                                      [](double w) { return std::isinf(w); });
  EXPECT_GT(infiniti, 0);
  EXPECT_LT(infiniti, 1000);

  // Pixels in 0 ... 255 overflow weights too, through a large error: hidden
  // neuron 5, nearly off, with large weights into every output.
  auto errore_grande = crea_rete();
  *errore_grande = *rete;
  errore_grande->pesi_intercalari[5 * (N_AFFERENTI + 1)] = -11.5;
  for (int k = 0; k < N_EFFERENTI; ++k) errore_grande->pesi_efferenti[k * (N_INTERCALARI + 1) + 6] = 1000.0;
  stesso_addestramento(*errore_grande, righe_alterne(g, 4, false), 1e307, "large error");

  // A weight that starts infinite must not hide the ones that become so. On
  // a bias it only pins its neuron's output at 1.0, with zero slope.
  rete->pesi_intercalari[7 * (N_AFFERENTI + 1)] = std::numeric_limits<double>::infinity();
  stesso_addestramento(*rete, righe, 1.7976931348623157e308, "infinite start");
  // An output weight that is not a number makes every hidden error one at
  // once, and then even zero inputs change their weights.
  rete->pesi_intercalari[7 * (N_AFFERENTI + 1)] = 0.01;
  rete->pesi_efferenti[3 * (N_INTERCALARI + 1) + 4] = std::numeric_limits<double>::quiet_NaN();
  stesso_addestramento(*rete, righe, 0.3, "output not a number");
}

TEST(ApmsFastStep, StartingZerosOfEitherSignAndTailsKeepTheirBits) {
  generatore g{6};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  // -0.0 stays so only when every correction it receives is -0.0: a zero
  // input must not be skipped. The tails are never trained, whatever they hold.
  for (int i = 0; i < N_INTERCALARI; i += 3)
    for (int j = 0; j <= N_AFFERENTI; j += 2) rete->pesi_intercalari[i * (N_AFFERENTI + 1) + j] = i % 2 ? -0.0 : 0.0;
  rete->pesi_intercalari[VALORI_INTERCALARI + 5] = 0.5;
  rete->pesi_efferenti[VALORI_EFFERENTI + 2] = -0.0;
  stesso_addestramento(*rete, righe_a_caso(g, 20), 0.7, "signed zeros");
}
