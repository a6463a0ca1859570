// The training step against the network it trains: its updates follow the
// gradient of the squared error, the tails no weight file can hold stay 0.0,
// and the network written and read back answers to the last bit alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <sched.h>

#include "dati.h"
#include "fili.h"
#include "passo_fili.h"
#include "passo.h"
#include "passo_veloce.h"
#include "pesi.h"
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

// The cost of one row: the squared error halved, or the cross-entropy.
double errore(rete_cifre& rete, int etichetta, costo funzione = costo::quadratico) {
  net_recognize(rete);
  double e = 0.0;
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double t = k == etichetta ? 1.0 : 0.0, s = rete.uscita_efferenti[k];
    e += funzione == costo::quadratico ? 0.5 * (t - s) * (t - s) : -(t * std::log(s) + (1 - t) * std::log(1 - s));
  }
  return e;
}

// The cost of a step on several rows: the mean of the rows' costs plus L / 2
// times the sum of the squared weights, biases left out.
double errore_lotto(rete_cifre& rete, const righe_cifre& lotto, const passo& p) {
  double e = 0.0;
  for (int r = 0; r < lotto.quante; ++r) {
    prendi_riga(rete, lotto, r);
    e += errore(rete, rete.etichetta, p.funzione);
  }
  double quadrati = 0.0;
  for (int i = 0; i < N_INTERCALARI; ++i)
    for (int j = 1; j <= N_AFFERENTI; ++j) quadrati += std::pow(rete.pesi_intercalari[i * (N_AFFERENTI + 1) + j], 2);
  for (int k = 0; k < N_EFFERENTI; ++k)
    for (int j = 1; j <= N_INTERCALARI; ++j) quadrati += std::pow(rete.pesi_efferenti[k * (N_INTERCALARI + 1) + j], 2);
  return e / lotto.quante + p.decadimento / 2 * quadrati;
}

// Central difference of a cost in one weight.
template <typename Costo>
double pendenza(double* w, Costo costo_ora) {
  const double h = 1e-5, vecchio = *w;
  *w = vecchio + h;
  const double su = costo_ora();
  *w = vecchio - h;
  const double giu = costo_ora();
  *w = vecchio;
  return (su - giu) / (2 * h);
}

// Every sampled weight moved by the rate times the downhill slope of the
// cost, the biases among them (column 0), the last weight a file holds too.
template <typename Costo>
void segue_la_pendenza(rete_cifre& prima, const rete_cifre& dopo, double tasso, Costo costo_ora) {
  auto controlla = [&](double* w_prima, const double* w_dopo, const char* dove, int indice) {
    const double atteso = -tasso * pendenza(w_prima, costo_ora);
    const double cambio = *w_dopo - *w_prima;
    EXPECT_NEAR(cambio, atteso, 1e-6 * std::fabs(atteso) + 1e-12) << dove << " " << indice;
    EXPECT_NE(cambio, 0.0) << dove << " " << indice;
  };
  for (int k = 0; k < N_EFFERENTI; ++k)
    for (int j : {0, 1, 50, 90}) {
      const int e = k * (N_INTERCALARI + 1) + j;
      controlla(prima.pesi_efferenti + e, dopo.pesi_efferenti + e, "efferenti", e);
    }
  for (int i : {0, 1, 37, 98, 99})
    for (int j : {0, 1, 400, 684}) {
      const int e = i * (N_AFFERENTI + 1) + j;
      controlla(prima.pesi_intercalari + e, dopo.pesi_intercalari + e, "intercalari", e);
    }
}

}  // namespace

TEST(ApmsStep, EveryUpdateIsTheRateTimesTheDownhillSlope) {
  const int etichetta = 3;
  const double tasso = 1.0;  // large on purpose: reading output weights already updated would show
  for (costo funzione : {costo::quadratico, costo::entropia}) {
    SCOPED_TRACE(funzione == costo::entropia ? "cross-entropy" : "quadratic");
    generatore g{42};
    auto prima = rete_di_prova(g);
    auto dopo = crea_rete();
    *dopo = *prima;
    addestra_riga(*dopo, etichetta, tasso, funzione);
    segue_la_pendenza(*prima, *dopo, tasso, [&] { return errore(*prima, etichetta, funzione); });
  }
}

TEST(ApmsStep, AStepOnSeveralRowsFollowsTheMeanCostWithL2LeavingBiasesAlone) {
  generatore g{43};
  righe_cifre lotto;
  for (int r = 0; r < 3; ++r) {
    for (int p = 0; p < N_AFFERENTI; ++p) lotto.pixel.push_back(static_cast<int32_t>(sotto(g, 256)));
    lotto.etichette.push_back(2 * r + 1);
  }
  lotto.quante = 3;
  for (const passo p : {passo{1.0, costo::quadratico, 0.0}, passo{1.0, costo::entropia, 0.02},
                        passo{0.5, costo::quadratico, 0.05}}) {
    SCOPED_TRACE("decay " + std::to_string(p.decadimento));
    generatore gp{44};
    auto prima = rete_di_prova(gp);
    auto dopo = crea_rete();
    *dopo = *prima;
    addestra_lotto(*dopo, lotto, p);
    segue_la_pendenza(*prima, *dopo, p.tasso, [&] { return errore_lotto(*prima, lotto, p); });
  }
  // One row without decay is the online step, to the last bit.
  generatore gp{45};
  auto online = rete_di_prova(gp);
  auto uno = crea_rete();
  *uno = *online;
  righe_cifre riga = lotto;
  riga.quante = 1;
  prendi_riga(*online, riga, 0);
  addestra_riga(*online, online->etichetta, 0.7, costo::entropia);
  addestra_lotto(*uno, riga, passo{0.7, costo::entropia, 0.0});
  EXPECT_EQ(std::memcmp(online->pesi_intercalari, uno->pesi_intercalari, sizeof online->pesi_intercalari), 0);
  EXPECT_EQ(std::memcmp(online->pesi_efferenti, uno->pesi_efferenti, sizeof online->pesi_efferenti), 0);
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

// The rows first ... first + quante - 1 of a set, as a step takes them.
righe_cifre parte(const righe_cifre& righe, int primo, int quante) {
  righe_cifre r;
  r.pixel.assign(righe.pixel.begin() + primo * N_AFFERENTI, righe.pixel.begin() + (primo + quante) * N_AFFERENTI);
  r.etichette.assign(righe.etichette.begin() + primo, righe.etichette.begin() + primo + quante);
  r.quante = quante;
  return r;
}

// Thread counts the threaded step is run with: one and two, always
// together; and three, which leave the 13 blocks of hidden neurons unevenly
// shared, comparing every row whether thread 0 alone is faster, so that both
// ways alternate. (More threads than cores, always together, wait a time
// slice at every meeting: the command-line tests run 3 and 8.)
struct fili_provati {
  int fili, finestra;
};
constexpr fili_provati FILI_PROVATI[] = {{1, 0}, {2, 0}, {3, 1}};

// The threaded step and the network its forward passes go to.
struct passo_a_fili {
  int fili;
  std::unique_ptr<addestramento_veloce> stato;
  motore_fili_ptr motore;
  std::unique_ptr<rete_cifre> rete = crea_rete();
};

// Trains copies of inizio on every row with the straightforward step, the
// fast one and the threaded one with each of FILI_PROVATI threads side by
// side, on every vector unit, online or `lotto` rows a step (with
// p.decadimento the step on several rows even for one): each step's count
// and hidden sums must agree, and every weight after each step of a short
// run (the threads stopped and started again each time), or at the end of a
// long one.
void stesso_addestramento(const rete_cifre& inizio, const righe_cifre& righe, const passo& p, const std::string& caso,
                          int lotto = 1) {
  const bool online = lotto == 1 && p.decadimento == 0.0;
  for (livello_simd l : vt::livelli()) {
    const std::string dove = caso + ", level " + std::to_string(static_cast<int>(l));
    auto attesa = crea_rete(), ottenuta = crea_rete();
    *attesa = *ottenuta = inizio;
    auto stato = prepara_addestramento(*ottenuta);
    std::vector<passo_a_fili> a_fili;
    for (const fili_provati& fp : FILI_PROVATI) {
      passo_a_fili f{fp.fili, prepara_addestramento(inizio), nullptr};
      f.motore = prepara_fili(*f.stato, fp.fili, l, fp.finestra);
      a_fili.push_back(std::move(f));
    }
    for (int r = 0; r < righe.quante; r += lotto) {
      const int quante = std::min(lotto, righe.quante - r);
      if (online) {
        prendi_riga(*attesa, righe, r);
        prendi_riga(*ottenuta, righe, r);
        const int attesa_classe = addestra_riga(*attesa, attesa->etichetta, p.tasso, p.funzione);
        ASSERT_EQ(addestra_riga_veloce(*ottenuta, *stato, ottenuta->etichetta, p.tasso, p.funzione, l), attesa_classe)
            << dove << " row " << r;
        for (passo_a_fili& f : a_fili) {
          prendi_riga(*f.rete, righe, r);
          ASSERT_EQ(addestra_riga_fili(*f.motore, *f.rete, f.rete->etichetta, p.tasso, p.funzione), attesa_classe)
              << dove << ", " << f.fili << " threads, row " << r;
        }
      } else {
        const righe_cifre passo_righe = parte(righe, r, quante);
        const int giuste = addestra_lotto(*attesa, passo_righe, p);
        ASSERT_EQ(addestra_lotto_veloce(*ottenuta, *stato, passo_righe, p, l), giuste) << dove << " row " << r;
        for (passo_a_fili& f : a_fili)
          ASSERT_EQ(addestra_lotto_fili(*f.motore, *f.rete, passo_righe, p), giuste)
              << dove << ", " << f.fili << " threads, row " << r;
      }
      ASSERT_TRUE(stessi_bit(attesa->somma_intercalari, ottenuta->somma_intercalari, N_INTERCALARI))
          << dove << " row " << r;
      for (passo_a_fili& f : a_fili) {
        ASSERT_TRUE(stessi_bit(attesa->somma_intercalari, f.rete->somma_intercalari, N_INTERCALARI))
            << dove << ", " << f.fili << " threads, row " << r;
        ASSERT_TRUE(stessi_bit(attesa->somma_efferenti, f.rete->somma_efferenti, N_EFFERENTI))
            << dove << ", " << f.fili << " threads, row " << r;
      }
      if (righe.quante > 40 && r + quante < righe.quante) continue;
      riporta_pesi(*stato, *ottenuta);
      ASSERT_TRUE(stessi_bit(attesa->pesi_intercalari, ottenuta->pesi_intercalari, std::size(attesa->pesi_intercalari)))
          << dove << " row " << r;
      ASSERT_TRUE(stessi_bit(attesa->pesi_efferenti, ottenuta->pesi_efferenti, std::size(attesa->pesi_efferenti)))
          << dove << " row " << r;
      for (passo_a_fili& f : a_fili) {
        attendi_fili(*f.motore);
        riporta_pesi(*f.stato, *f.rete);
        ASSERT_TRUE(stessi_bit(attesa->pesi_intercalari, f.rete->pesi_intercalari, std::size(attesa->pesi_intercalari)))
            << dove << ", " << f.fili << " threads, row " << r;
        ASSERT_TRUE(stessi_bit(attesa->pesi_efferenti, f.rete->pesi_efferenti, std::size(attesa->pesi_efferenti)))
            << dove << ", " << f.fili << " threads, row " << r;
      }
    }
  }
}
void stesso_addestramento(const rete_cifre& inizio, const righe_cifre& righe, double tasso, const std::string& caso) {
  stesso_addestramento(inizio, righe, passo{tasso, costo::quadratico, 0.0}, caso);
}

}  // namespace

TEST(ApmsFastStep, AnEpochOfSeededRowsGivesTheSameWeightsBitForBit) {
  generatore g{SEME};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  stesso_addestramento(*rete, righe_a_caso(g, 300), TASSO_PREDEFINITO, "epoch");
  stesso_addestramento(*rete, righe_a_caso(g, 40, true), 0.01, "pixels beyond 0 ... 255");
}

TEST(ApmsFastStep, EveryOptionOfTheStepGivesTheSameWeightsBitForBit) {
  generatore g{SEME};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g, inizio_pesi::scalato);
  const righe_cifre righe = righe_a_caso(g, 300);
  stesso_addestramento(*rete, righe, passo{0.1, costo::entropia, 0.0}, "cross-entropy online");
  stesso_addestramento(*rete, righe, passo{0.5, costo::entropia, 1e-3}, "batches of 10 with decay", 10);
  stesso_addestramento(*rete, righe, passo{0.3, costo::quadratico, 0.0}, "batches of 7, the last of 6", 7);
  stesso_addestramento(*rete, righe_a_caso(g, 30), passo{0.2, costo::entropia, 1e-2}, "decay online");
  stesso_addestramento(*rete, righe_a_caso(g, 40, true), passo{0.01, costo::entropia, 1e-3},
                       "pixels beyond 0 ... 255", 4);
}

TEST(ApmsFastStep, HugeRatesThatOverflowTheWeightsGiveTheSameBits) {
  generatore g{5};
  auto rete = crea_rete();
  inizializza_pesi(*rete, g);
  const righe_cifre righe = righe_alterne(g, 6, true);
  for (double tasso : {1e3, 1e308, 1.7976931348623157e308}) {
    stesso_addestramento(*rete, righe, tasso, "rate " + std::to_string(tasso));
    stesso_addestramento(*rete, righe, passo{tasso, costo::entropia, 0.0}, "batches, rate " + std::to_string(tasso), 2);
  }
  // A decay whose factor 1 - b * L is below -1 makes the weights grow.
  stesso_addestramento(*rete, righe_alterne(g, 12, false), passo{30.0, costo::entropia, 0.5}, "decay beyond 2 / b", 3);

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
  stesso_addestramento(*rete, righe_a_caso(g, 20), passo{0.7, costo::entropia, 0.0}, "signed zeros, batches", 5);
}

// ---- Shifted copies and the validation share -------------------------------------------

TEST(ApmsCopies, EachCopyMovesAHandMadeImageAndFillsWithZeros) {
  // Ink in two corners and an L of three pixels in the middle:
  // (row, column) -> value.
  std::vector<int32_t> immagine(N_AFFERENTI, 0);
  auto a = [](std::vector<int32_t>& im, int r, int c) -> int32_t& { return im[static_cast<size_t>(r * 28 + c)]; };
  a(immagine, 0, 0) = 11;
  a(immagine, 27, 27) = 22;
  a(immagine, 10, 10) = 101;
  a(immagine, 11, 10) = 102;
  a(immagine, 11, 11) = 103;
  struct atteso {
    int copia;
    std::vector<std::array<int, 3>> inchiostro;  // row, column, value; every other pixel 0
  } casi[] = {
      {0, {{0, 0, 11}, {27, 27, 22}, {10, 10, 101}, {11, 10, 102}, {11, 11, 103}}},
      {1, {{0, 1, 11}, {10, 11, 101}, {11, 11, 102}, {11, 12, 103}}},   // right 1
      {2, {{27, 26, 22}, {10, 9, 101}, {11, 9, 102}, {11, 10, 103}}},   // left 1
      {3, {{1, 0, 11}, {11, 10, 101}, {12, 10, 102}, {12, 11, 103}}},   // down 1
      {4, {{26, 27, 22}, {9, 10, 101}, {10, 10, 102}, {10, 11, 103}}},  // up 1
      {5, {{0, 2, 11}, {10, 12, 101}, {11, 12, 102}, {11, 13, 103}}},   // right 2
      {6, {{27, 25, 22}, {10, 8, 101}, {11, 8, 102}, {11, 9, 103}}},    // left 2
      {7, {{2, 0, 11}, {12, 10, 101}, {13, 10, 102}, {13, 11, 103}}},   // down 2
      {8, {{25, 27, 22}, {8, 10, 101}, {9, 10, 102}, {9, 11, 103}}},    // up 2
  };
  for (const auto& c : casi) {
    std::vector<int32_t> atteso(N_AFFERENTI, 0), spostata(N_AFFERENTI, -1);
    for (const auto& [r, col, v] : c.inchiostro) a(atteso, r, col) = v;
    sposta_riga(immagine.data(), spostata.data(), c.copia);
    EXPECT_EQ(spostata, atteso) << "copy " << c.copia;
  }
}

TEST(ApmsValidation, TheShareIsDrawnFromTheSeedAndLeavesEveryOtherRowToTraining) {
  generatore g{7}, stesso{7}, altro{8};
  const auto scelte = righe_di_validazione(8000, 12.5, g);
  ASSERT_EQ(scelte.size(), 1000u);
  EXPECT_TRUE(std::is_sorted(scelte.begin(), scelte.end()));
  EXPECT_EQ(std::adjacent_find(scelte.begin(), scelte.end()), scelte.end()) << "a row chosen twice";
  EXPECT_GE(scelte.front(), 0);
  EXPECT_LT(scelte.back(), 8000);
  EXPECT_EQ(righe_di_validazione(8000, 12.5, stesso), scelte);
  EXPECT_NE(righe_di_validazione(8000, 12.5, altro), scelte);
  // Spread over the file, not its first rows: about an eighth of each half.
  const auto prima_meta = std::count_if(scelte.begin(), scelte.end(), [](int r) { return r < 4000; });
  EXPECT_GT(prima_meta, 400);
  EXPECT_LT(prima_meta, 600);
  generatore h{1};
  EXPECT_EQ(righe_di_validazione(19, 10.0, h).size(), 1u) << "floor(19 x 10 / 100)";
}

// ---- The trainer's threads ---------------------------------------------------------------

TEST(ApmsThreads, NoThreadLeavesTheBarrierBeforeEveryOtherReachedItAndTheTeamRunsJobAfterJob) {
  // Each thread writes its round before the barrier and checks after it
  // that every other thread wrote that round: a barrier that lets one
  // through early, or loses a round, fails here. Rounds go by with no work
  // between them (the spin path) and with a sleep on one thread (the futex
  // path), in two jobs one after the other.
  for (int fili : {2, 3}) {
    struct contesto {
      squadra* team;
      std::vector<std::atomic<int>>* giri;
      std::atomic<int> errori{0};
      int fili;
    };
    squadra team(fili);
    EXPECT_EQ(team.fili(), fili);
    std::vector<std::atomic<int>> giri(static_cast<size_t>(fili));
    contesto c{&team, &giri, {}, fili};
    const auto lavoro = [](void* p, int filo) {
      auto& c = *static_cast<contesto*>(p);
      for (int giro = 1; giro <= 120; ++giro) {
        if (filo == c.fili - 1 && giro % 40 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        (*c.giri)[static_cast<size_t>(filo)].store(giro);
        c.team->attendi(filo);
        for (int g = 0; g < c.fili; ++g)
          if ((*c.giri)[static_cast<size_t>(g)].load() < giro) ++c.errori;
        c.team->attendi(filo);  // nobody writes the next round before all have checked this one
      }
    };
    for (int lavori = 0; lavori < 2; ++lavori) {
      for (auto& g : giri) g.store(0);
      team.avvia(lavoro, &c);
      lavoro(&c, 0);
      team.concludi();
    }
    EXPECT_EQ(c.errori.load(), 0) << fili << " threads";
  }
  EXPECT_GE(fili_disponibili(), 1);
}

TEST(ApmsThreads, BatchesReadWhereTheRowsWereLoadedWithTheirShiftedCopiesTrainAlike) {
  // The batch step velmora_apms takes: rows chosen in the epoch's order and
  // a shifted copy of each, read by every thread where the rows were
  // loaded, against addestra_lotto on the copies laid out one after the
  // other; the recipe's batches, batches that do not divide the rows, and
  // single rows with decay; always together, and switching every row
  // between the threads and thread 0 alone.
  generatore g{8};
  auto inizio = crea_rete();
  inizializza_pesi(*inizio, g, inizio_pesi::scalato);
  const righe_cifre righe = righe_a_caso(g, 120);
  struct caso {
    int lotto, copie;
    passo p;
  } casi[] = {{10, 9, {0.5, costo::entropia, 1e-4}}, {7, 5, {0.3, costo::quadratico, 0.0}},
              {1, 9, {0.2, costo::entropia, 1e-2}}};
  for (const caso& c : casi) {
    std::vector<int> scelte(static_cast<size_t>(righe.quante)), copie(scelte.size());
    for (size_t r = 0; r < scelte.size(); ++r) {
      scelte[r] = static_cast<int>(sotto(g, static_cast<uint32_t>(righe.quante)));
      copie[r] = static_cast<int>(sotto(g, static_cast<uint32_t>(c.copie)));
    }
    auto attesa = crea_rete();
    *attesa = *inizio;
    std::vector<int> giuste;
    for (int r = 0; r < righe.quante; r += c.lotto) {
      righe_cifre lotto;
      lotto.quante = std::min(c.lotto, righe.quante - r);
      lotto.pixel.resize(static_cast<size_t>(lotto.quante) * N_AFFERENTI);
      for (int t = 0; t < lotto.quante; ++t) {
        const auto k = static_cast<size_t>(r + t);
        sposta_riga(righe.pixel.data() + static_cast<size_t>(scelte[k]) * N_AFFERENTI,
                    lotto.pixel.data() + static_cast<size_t>(t) * N_AFFERENTI, copie[k]);
        lotto.etichette.push_back(righe.etichette[static_cast<size_t>(scelte[k])]);
      }
      giuste.push_back(addestra_lotto(*attesa, lotto, c.p));
    }
    for (const fili_provati& fp : {fili_provati{1, 0}, fili_provati{2, 0}, fili_provati{3, 1}}) {
      const std::string dove = "batches of " + std::to_string(c.lotto) + ", " + std::to_string(fp.fili) + " threads";
      auto ottenuta = crea_rete();
      *ottenuta = *inizio;
      auto stato = prepara_addestramento(*ottenuta);
      auto motore = prepara_fili(*stato, fp.fili, livello_disponibile(), fp.finestra);
      for (int r = 0, passo = 0; r < righe.quante; r += c.lotto, ++passo)
        ASSERT_EQ(addestra_lotto_fili(*motore, *ottenuta, righe, scelte.data() + r, copie.data() + r,
                                      std::min(c.lotto, righe.quante - r), c.p),
                  giuste[static_cast<size_t>(passo)])
            << dove << " row " << r;
      attendi_fili(*motore);
      riporta_pesi(*stato, *ottenuta);
      EXPECT_TRUE(stessi_bit(attesa->pesi_intercalari, ottenuta->pesi_intercalari, std::size(attesa->pesi_intercalari)))
          << dove;
      EXPECT_TRUE(stessi_bit(attesa->pesi_efferenti, ottenuta->pesi_efferenti, std::size(attesa->pesi_efferenti)))
          << dove;
    }
  }
}

TEST(ApmsThreads, TheDefaultCountIsTheCoresTheProcessMayRunOn) {
  cpu_set_t prima;
  CPU_ZERO(&prima);
  ASSERT_EQ(sched_getaffinity(0, sizeof prima, &prima), 0);
  EXPECT_EQ(fili_disponibili(), CPU_COUNT(&prima));
  int primo = 0;
  while (!CPU_ISSET(primo, &prima)) ++primo;
  cpu_set_t uno;
  CPU_ZERO(&uno);
  CPU_SET(primo, &uno);
  ASSERT_EQ(sched_setaffinity(0, sizeof uno, &uno), 0);
  EXPECT_EQ(fili_disponibili(), 1);
  ASSERT_EQ(sched_setaffinity(0, sizeof prima, &prima), 0);
}

TEST(ApmsThreads, RowsEvaluatedOnTheThreadsCountAsOnOne) {
  // Shares of 300 rows, some beyond 0 ... 255, on a network that answers and
  // one whose outputs are not numbers (no answer): the same counts and matrix.
  generatore g{12};
  auto rete = rete_di_prova(g);
  auto muta = crea_rete();
  std::fill(std::begin(muta->pesi_efferenti), std::end(muta->pesi_efferenti), std::numeric_limits<double>::quiet_NaN());
  const righe_cifre righe = righe_a_caso(g, 300, true);
  for (rete_cifre* r : {rete.get(), muta.get()}) {
    auto stato = prepara_addestramento(*r);
    const risultato atteso = valuta_righe(*r, righe);
    for (int fili : {1, 2, 3}) {
      auto motore = prepara_fili(*stato, fili, livello_disponibile());
      const risultato v = valuta_righe_fili(*motore, *r, righe);
      EXPECT_EQ(v.riconosciute, atteso.riconosciute) << fili;
      EXPECT_EQ(v.senza_risposta, atteso.senza_risposta) << fili;
      EXPECT_EQ(v.confusione, atteso.confusione) << fili;
    }
    EXPECT_EQ(atteso.senza_risposta, r == muta.get() ? 300 : 0);
  }
}
