// The suite's command-line scanner on hostile words, alone and as velmora_apms,
// velmora_gpms and the actions of velmora_bow use it, with the values they
// read (a scoring rule, a class). Whatever the words, the scanner either
// refuses them or hands over what it promises: each option with exactly its
// values, no file value that looks like an option, no more positional words
// than the command takes; and every setting stays inside its documented range.
//
// Input: byte 0 picks the scanner; the remaining bytes, split at each NUL,
// are the words after the program's name (at most 16).
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "opzioni.h"
#include "opzioni_gpms.h"
#include "punteggi.h"
#include "riga_comando.h"
#include "valori.h"

namespace {

// The class as the rule says: blanks, a sign, digits and nothing else, from 0 to 9.
int classe_attesa(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  const bool meno = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  if (i == s.size()) return -1;
  long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = std::min(v * 10 + (s[i] - '0'), 100L);
  }
  return v <= 9 && (v == 0 || !meno) ? static_cast<int>(v) : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<std::string> parole{"velmora"};
  std::string corrente;
  for (size_t i = 1; i < size && parole.size() <= 16; ++i) {
    if (data[i] == 0) {
      parole.push_back(corrente);
      corrente.clear();
    } else {
      corrente += static_cast<char>(data[i]);
    }
  }
  if (!corrente.empty() && parole.size() <= 16) parole.push_back(corrente);
  std::vector<char*> argv;
  for (std::string& p : parole) argv.push_back(p.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(parole.size());

  fz::muto muto;
  switch (data[0] % 4) {
    case 0: {
      opzioni o;
      if (leggi_opzioni(argc, argv.data(), o) != esito_comando::valida) break;
      FZ_CHECK(o.epoche >= 1 && o.epoche <= 100000, "epoche %d", o.epoche);
      FZ_CHECK(std::isfinite(o.tasso) && o.tasso > 0.0, "tasso %g", o.tasso);
      FZ_CHECK(o.lotto >= 1 && o.lotto <= LOTTO_MASSIMO, "lotto %d", o.lotto);
      FZ_CHECK(o.spostamenti >= 0 && o.spostamenti <= SPOSTAMENTO_MASSIMO, "spostamenti %d", o.spostamenti);
      FZ_CHECK(o.media >= 0 && o.media <= MEDIA_MASSIMA, "media %d", o.media);
      FZ_CHECK(o.validazione >= 0.0 && o.validazione <= 50.0, "validazione %g", o.validazione);
      FZ_CHECK(std::isfinite(o.decadimento) && o.decadimento >= 0.0, "decadimento %g", o.decadimento);
      FZ_CHECK(o.riduzione > 0.0 && o.riduzione <= 1.0 && o.ogni >= 1, "riduzione %g,%d", o.riduzione, o.ogni);
      FZ_CHECK(o.posizionali < 3 || (o.path_addestramento && o.path_intercalari && o.path_efferenti), "percorsi");
      FZ_CHECK(!o.da_intercalari == !o.da_efferenti, "--da a meta'");
      FZ_CHECK(o.fili >= 0 && o.fili <= FILI_PERMESSI, "fili %d", o.fili);
      break;
    }
    case 1: {
      opzioni_galleria o;
      if (leggi_opzioni_galleria(argc, argv.data(), o) != esito_comando::valida) break;
      FZ_CHECK(o.quanti >= 0 && o.quanti <= 3, "posizionali %d", o.quanti);
      FZ_CHECK(o.massimo >= 1, "massimo %d", o.massimo);
      for (int i = 0; i < o.quanti; ++i) FZ_CHECK(o.posizionali[i] != nullptr, "posizionale %d", i);
      break;
    }
    case 2: {
      static const std::vector<opzione> accettate = {
          {"--errori"}, OPZIONE_PUNTEGGIO, OPZIONE_ALFA, {"--coppia", 2, true}, {"--file", 1, true}};
      riga_comando r;
      punteggio p;
      if (leggi_riga_comando(argc, argv.data(), 1, accettate, {{"CARTELLA"}, 1}, r) != esito_comando::valida) break;
      FZ_CHECK(r.posizionali.size() == 1 || r.posizionali.size() == 2, "posizionali %zu", r.posizionali.size());
      for (const voce_riga& v : r.voci) {
        FZ_CHECK(!v.posizionale() ? static_cast<int>(v.valori.size()) == v.o.valori : v.valori.size() == 1, "valori");
        if (!v.posizionale() && v.o.file)
          for (const char* f : v.valori) FZ_CHECK(std::strncmp(f, "--", 2) != 0, "file %s accettato", f);
      }
      if (!leggi_punteggio(r, p)) break;
      // Only the Bayes rules have a smoothing; the others keep none.
      const bool bayesiana = p.tipo == regola::bayes || p.tipo == regola::complemento;
      FZ_CHECK(bayesiana ? alfa_accettata(p.alfa) : p.alfa == 0.0, "alfa %g", p.alfa);
      break;
    }
    default:
      for (int i = 1; i < argc; ++i) {
        const int classe = leggi_classe(argv[static_cast<size_t>(i)]);
        FZ_CHECK(classe == classe_attesa(parole[static_cast<size_t>(i)]), "classe '%s': %d, attesa %d",
                 parole[static_cast<size_t>(i)].c_str(), classe, classe_attesa(parole[static_cast<size_t>(i)]));
      }
  }
  return 0;
}

void scrivi_semi(const std::string& dir) {
  auto seme = [&](const std::string& nome, char scanner, const std::vector<std::string>& parole) {
    std::string s(1, scanner);
    for (const std::string& p : parole) s += p + std::string(1, '\0');
    fz::scrivi_seme(dir, nome, s);
  };
  seme("apms_ricetta", 0, {"t.csv", "h.w", "o.w", "--ricetta", "--epoche", "3", "--riduzione", "0.5,2"});
  seme("apms_numeri", 0, {"t.csv", "h.w", "o.w", "20", "0.1", "v.csv", "--lotto", "10", "--da", "a", "b"});
  seme("apms_sbagliati", 0, {"--tasso", "nan", "--validazione", "51", "--media"});
  seme("apms_ripresa", 0, {"t.csv", "--ripresa", "r.bin", "h.w", "o.w", "--ripresa=-", "--fili", "2", "--"});
  seme("gpms", 1, {"r.csv", "--png", "s.png", "h.w", "--massimo", "7", "o.w", "--tutte"});
  seme("bow_valuta", 2, {"c", "--punteggio", "bayes", "--alfa", "1e308", "--errori"});
  seme("bow_valuta_bene", 2, {"--punteggio", "complemento", "c", "--alfa", "0.5"});
  seme("classi", 3, {"3", " +3", "03", "-0", "-1", "1x", "", "\t9", "00000000000000000000009", "1.5"});
}
