// The one command-line scanner, as every program that uses it meets the
// user: each line below is typed in a folder of small valid inputs, and
// must give its message (the first words of the output after any banner)
// and its status, touching nothing.
#include <gtest/gtest.h>

#include "bow_reference.h"
#include "rete_util.h"
#include "run_util.h"

namespace {

struct riga {
  std::string bin;
  std::vector<std::string> args;
  std::string messaggio;  // a line the output must hold, whole
  int status;
};

}  // namespace

TEST(SuiteCommandLine, OneScannerOneSetOfRulesEverywhere) {
  vt::TempDir d;
  vt::Pesi().scrivi(d);
  vt::write_file(d / "r.csv", vt::riga(1, vt::immagine(1)));
  vt::write_file(d / "t.txt", "alfa beta");
  vt::write_file(d / "Bow.txt", ref::record("alfa", {2}) + ref::record("beta", {0, 1}));
  std::filesystem::create_directories(d.path / "c/1");
  vt::write_file(d / "c/1/x", "beta");
  const std::string bow = VELMORA_BOW_BIN, gpms = VELMORA_GPMS_BIN, apms = VELMORA_APMS_BIN, idx = VELMORA_IDX_BIN;
  const std::string versione = " (velmora) ";
  const std::vector<riga> righe = {
      // Unknown options are refused everywhere, also after classifica's
      // text, where plain words stay ignored.
      {bow, {"classifica", "t.txt", "--punteggio", "bayes", "--boh"}, "Opzione sconosciuta: --boh", 1},
      {bow, {"aggiungi", "t.txt", "1", "--lineare"}, "Opzione sconosciuta: --lineare", 1},
      {bow, {"classifica", "t.txt", "altro", "--punteggio=complemento"}, "Punteggio: complemento, alfa 1", 0},
      // Options also before the text of classifica and aggiungi.
      {bow, {"classifica", "--punteggio", "bayes", "t.txt"}, "Punteggio: bayes, alfa 0.1", 0},
      {bow, {"classifica", "--alfa=2", "--punteggio", "bayes"}, "Manca l'argomento FILE", 1},
      {bow, {"valuta", "c", "--boh=3"}, "Opzione sconosciuta: --boh=3", 1},
      {gpms, {"r.csv", "h.w", "o.w", "--tutte", "--nuova"}, "Opzione sconosciuta: --nuova", 1},
      {apms, {"r.csv", "h2.w", "o2.w", "--lottto", "10"}, "Opzione sconosciuta: --lottto", 1},
      // --opt=value and --opt value; a flag takes no value.
      {bow, {"mostra", "--primi=1", "0"}, "alfa;2", 0},
      {bow, {"valuta", "--errori=si", "c"}, "L'opzione --errori non prende valori: --errori=si", 1},
      {gpms, {"r.csv", "h.w", "o.w", "--massimo"}, "Manca il valore dell'opzione --massimo", 1},
      // A file that begins with -- is refused where an option expects one.
      {gpms, {"r.csv", "h.w", "o.w", "--png", "--elenco"},
       "Il file dell'opzione --png non puo' cominciare con --: --elenco (un file con quel nome si scrive ./--elenco)",
       1},
      {gpms, {"r.csv", "h.w", "o.w", "--predizioni=--x"},
       "Il file dell'opzione --predizioni non puo' cominciare con --: --x (un file con quel nome si scrive ./--x)", 1},
      {apms, {"r.csv", "h2.w", "o2.w", "--da", "h.w", "--o.w"},
       "Il file dell'opzione --da non puo' cominciare con --: --o.w (un file con quel nome si scrive ./--o.w)", 1},
      // -- ends the options; extra words are refused where nothing ignores them.
      {bow, {"valuta", "--", "--c"}, "La cartella --c non esiste", 1},
      {bow, {"valuta", "c", "altra"}, "Argomento in piu': altra", 1},
      {idx, {"img", "lab", "out.csv", "altro"}, "Argomento in piu': altro", 1},
      {apms, {"r.csv", "h2.w", "o2.w", "1", "0.3", "r.csv", "altro"}, "Argomento in piu': altro", 1},
      // "-" is standard output for a stream, never for a file replaced whole.
      {apms, {"r.csv", "-", "o2.w"}, "Il file - non puo' ricevere i pesi: i pesi si scrivono solo in un file, non su "
                                     "standard output", 1},
      // --help and --version, on standard output with status 0.
      {apms, {"--help"}, "--ricetta                    la combinazione migliore trovata: 90 epoche, tasso 0.5, "
                         "costo entropia,", 0},
      {gpms, {"r.csv", "--help"}, "--massimo N  mostra al massimo N cifre, le prime (predefinito: nessun limite)", 0},
      {idx, {"--version"}, "velmora_idx" + versione + VELMORA_VERSIONE, 0},
      {bow, {"predici", "--help"}, "Uso: velmora_bow predici [FILE | CARTELLA | -]... [--punteggio NOME] [--alfa A]", 0},
      {bow, {"spiega", "--version"}, "velmora_bow" + versione + VELMORA_VERSIONE, 0},
  };
  const auto prima = vt::istantanea(d.path);
  for (const riga& c : righe) {
    auto r = vt::run(c.bin, c.args, vt::in_dir(d));
    EXPECT_NE(("\n" + r.out).find("\n" + c.messaggio + "\n"), std::string::npos)
        << c.args[0] << " ...: " << r.out.substr(0, 600);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.messaggio;
    if (c.messaggio.find("(velmora)") != std::string::npos || c.args.back() == "--help") {
      EXPECT_EQ(r.out.find("velmora_: "), std::string::npos) << "no banner before help or version";
    }
  }
  vt::write_file(d / "t.txt.clean", vt::read_file(d / "t.txt.clean"));  // left by classifica, as it always is
  auto dopo = vt::istantanea(d.path);
  dopo.erase("t.txt.clean");
  EXPECT_EQ(dopo, prima);
}
