// The vectorised forward pass against net_recognize on seeded weights and
// pixels, on every vector unit this processor has: every bit of every input,
// sum and output, and the class, must agree.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "lib.h"
#include "rete_util.h"
#include "veloce.h"

namespace {

// Not-a-numbers of both signs and several payloads. Where two meet, x86
// passes on the first operand's, and the compiled reference itself orders
// operands differently in its vector body and its tail, so a NaN's sign and
// payload are no part of the result: NaN matches any NaN, all else bit for bit.
double nan_a_caso(std::mt19937_64& gen) {
  return std::bit_cast<double>(0x7FF8000000000000ull | (gen() & 0x8000000000000FFFull));
}

double peso_a_caso(std::mt19937_64& gen, int stranezza) {
  std::normal_distribution<double> normale(0.0, 0.1);
  const double w = normale(gen);
  if (gen() % 1000 >= static_cast<unsigned>(stranezza)) return w;
  switch (gen() % 6) {
    case 0: return w * 1e300;  // products and sums overflow
    case 1: return w * 1e-310; // subnormal
    case 2: return gen() % 2 ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
    case 3: return nan_a_caso(gen);
    case 4: return gen() % 2 ? 0.0 : -0.0;
    default: return w * 1e5;   // saturates the logistic function
  }
}

void riempi_a_caso(rete_cifre& rete, std::mt19937_64& gen, int stranezza) {
  for (double& w : rete.pesi_intercalari) w = peso_a_caso(gen, stranezza);
  for (double& w : rete.pesi_efferenti) w = peso_a_caso(gen, stranezza);
}

void pixel_a_caso(rete_cifre& rete, std::mt19937_64& gen) {
  for (int32_t& p : rete.pixel) {
    const unsigned t = gen() % 100;
    p = t < 75 ? 0 : t < 97 ? static_cast<int32_t>(gen() % 256) : static_cast<int32_t>(gen());
  }
}

template <size_t N>
::testing::AssertionResult stessi_bit(const double (&a)[N], const double (&b)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i]))
      return ::testing::AssertionFailure() << "element " << i << ": expected " << a[i] << ", got " << b[i];
  }
  return ::testing::AssertionSuccess();
}

#define STESSI_BIT(campo) \
  EXPECT_TRUE(stessi_bit(attesa->campo, ottenuta->campo)) << caso << ", level " << static_cast<int>(l) << ", " #campo

void confronta(const rete_cifre& rete, const std::string& caso) {
  auto attesa = crea_rete();
  *attesa = rete;
  const int classe = net_recognize(*attesa);
  auto pesi = prepara_pesi(rete);
  for (livello_simd l : vt::livelli()) {
    auto ottenuta = crea_rete();
    *ottenuta = rete;
    std::memset(ottenuta->ingresso, 0x55, sizeof ottenuta->ingresso);  // must be rewritten in full
    EXPECT_EQ(classe, net_recognize_veloce(*ottenuta, *pesi, l)) << caso << ", level " << static_cast<int>(l);
    STESSI_BIT(ingresso);
    STESSI_BIT(somma_intercalari);
    STESSI_BIT(uscita_intercalari);
    STESSI_BIT(ingresso_efferenti);
    STESSI_BIT(somma_efferenti);
    STESSI_BIT(uscita_efferenti);
  }
}

}  // namespace

TEST(LibFastNetwork, MatchesEveryBitOnOrdinaryAndExtremeValues) {
  std::mt19937_64 gen(21);
  auto rete = crea_rete();
  for (int caso = 0; caso < 30; ++caso) {
    // From ordinary weights to one weight in ten extreme.
    riempi_a_caso(*rete, gen, caso < 10 ? 0 : caso < 20 ? 5 : 100);
    for (int riga = 0; riga < 2; ++riga) {
      pixel_a_caso(*rete, gen);
      confronta(*rete, "case " + std::to_string(caso) + " row " + std::to_string(riga));
    }
  }
}

TEST(LibFastNetwork, ZeroPixelsUnderInfiniteOrNanWeightsStillCount) {
  // 0 * inf is not a number: an input of 0.0 may be skipped only where its
  // weights are finite.
  std::mt19937_64 gen(22);
  auto rete = crea_rete();
  riempi_a_caso(*rete, gen, 0);
  rete->pesi_intercalari[5 * (N_AFFERENTI + 1) + 300] = std::numeric_limits<double>::infinity();
  rete->pesi_intercalari[99 * (N_AFFERENTI + 1) + 784] = nan_a_caso(gen);
  for (int32_t& p : rete->pixel) p = 0;
  confronta(*rete, "zero pixels");
  net_recognize(*rete);
  EXPECT_TRUE(std::isnan(rete->somma_intercalari[5]));
  EXPECT_TRUE(std::isnan(rete->somma_intercalari[99]));
}
