// The digits page as its users meet it: velmora_apms and velmora_gpms
// --rapporto (and --curva) on tiny runs, the page opened in headless
// chromium and its DOM read after its script ran; the table and the JSON
// block against the trainer's printed epoch lines; the misread rows' answers,
// recomputed by the page's own forward pass, against velmora_pms.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "browser_util.h"
#include "rete_util.h"

namespace {

const std::string APMS = VELMORA_APMS_BIN;
const std::string GPMS = VELMORA_GPMS_BIN;
const std::string PMS = VELMORA_PMS_BIN;

// The rows file's name is markup: it must show as text and run nothing.
const std::string OSTILE = "<script>document.title='preso'</script>.csv";

// Blocks rows with every seventh label changed: rows any network misreads.
std::string righe_rumorose(int quante, uint32_t seme) {
  std::stringstream s(vt::righe_blocchi(quante, seme));
  std::string tutte;
  int r = 0;
  for (std::string riga; std::getline(s, riga); ++r) {
    if (r % 7 == 3) riga[0] = static_cast<char>('0' + (riga[0] - '0' + 3) % 10);
    tutte += riga + "\n";
  }
  return tutte;
}

// The integer after key in s from position da, or -1.
int intero_dopo(const std::string& s, const std::string& chiave, size_t da = 0) {
  const size_t i = s.find(chiave, da);
  return i == std::string::npos ? -1 : std::stoi(s.substr(i + chiave.size()));
}

struct Cartella : vt::TempDir {
  Cartella() {
    std::filesystem::create_directories(*this / "<script>document.title='preso'<");
    vt::write_file(*this / OSTILE, righe_rumorose(240, 71));
    vt::write_file(*this / "test.csv", righe_rumorose(100, 72));
  }
  vt::RunResult esegui(const std::string& exe, const std::vector<std::string>& args) {
    return vt::run(exe, args, vt::in_dir(*this));
  }
};

std::vector<std::string> tutte(const std::string& testo, const std::string& re) {
  std::vector<std::string> v;
  const std::regex r(re);
  for (auto it = std::sregex_iterator(testo.begin(), testo.end(), r); it != std::sregex_iterator(); ++it)
    v.push_back((*it)[1]);
  return v;
}

std::vector<std::string> campi(const std::string& riga) {
  std::vector<std::string> c;
  std::stringstream s(riga);
  for (std::string x; std::getline(s, x, '\t');) c.push_back(x);
  if (!riga.empty() && riga.back() == '\t') c.push_back("");
  return c;
}

std::string due_decimali(int parte, int tutto) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", 100.0 * parte / tutto);
  return b;
}

// What every page must show after its script ran: 100 neurons, 10
// templates, 100 cells counting every row, the script ended cleanly, the
// hostile name as text; and every misread row drawn answered by the page as
// velmora_pms answers it. The DOM.
std::string controlla_pagina(Cartella& d, const std::string& pagina, int righe) {
  const vt::RunResult r = vt::dom_della_pagina(d / pagina);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string& dom = r.out;
  EXPECT_NE(dom.find("data-pronto=\"1\""), std::string::npos) << pagina;
  EXPECT_EQ(dom.find("data-errore"), std::string::npos) << pagina;
  EXPECT_EQ(vt::occorrenze(dom, "<figure class=\"neurone\""), 100u);
  EXPECT_EQ(vt::occorrenze(dom, "<figure class=\"modello\""), 10u);
  EXPECT_EQ(vt::occorrenze(dom, "class=\"cella"), 100u);
  int somma = 0;
  for (const std::string& n : tutte(dom, "class=\"cella[^\"]*\" data-n=\"([0-9]+)\"")) somma += std::stoi(n);
  EXPECT_EQ(somma, righe);
  EXPECT_EQ(dom.find("<title>preso"), std::string::npos);
  EXPECT_EQ(vt::occorrenze(dom, "<script"), 2u) << "the JSON block and the page's script, no other";
  const std::regex sbagliata("<figure class=\"sbagliata\" id=\"s-[0-9]+\" data-riga=\"([0-9]+)\" data-etichetta=\"[0-9]\" "
                             "data-risposta=\"(-?[0-9])\" data-risposta-pagina=\"(-?[0-9])\"");
  const std::vector<std::string> righe_test = [&] {
    std::vector<std::string> v;
    std::stringstream s(vt::read_file(d / "test.csv"));
    for (std::string x; std::getline(s, x);) v.push_back(x);
    return v;
  }();
  int viste = 0;
  for (auto it = std::sregex_iterator(dom.begin(), dom.end(), sbagliata); it != std::sregex_iterator(); ++it, ++viste) {
    const int riga = std::stoi((*it)[1]);
    EXPECT_EQ((*it)[3], (*it)[2]) << "row " << riga;
    vt::write_file(d / "una.csv", righe_test.at(static_cast<size_t>(riga - 1)) + "\n");
    const vt::RunResult pms = d.esegui(PMS, {"una.csv", "h.w", "o.w"});
    EXPECT_NE(pms.out.find("| Miglior risultato: " + std::string((*it)[3]) + "\n"), std::string::npos) << riga;
  }
  EXPECT_GT(viste, 0) << "a run this short misreads some rows";
  EXPECT_EQ(viste, static_cast<int>(vt::occorrenze(dom, "<figure class=\"sbagliata\"")));
  return dom;
}

}  // namespace

TEST(PagineCifre, TheTrainersPageAndTableAgreeWithItsLinesAndRunInABrowser) {
  ASSERT_FALSE(vt::chromium().empty()) << "chromium is missing: `make test` installs it";
  struct caso {
    std::vector<std::string> impostazioni;
    int epoche;
  };
  const caso casi[] = {
      {{"2", "--verifica", "test.csv", "--validazione", "10", "--riduzione", "0.5"}, 2},
      {{"3", "--lotto", "5", "--costo", "entropia"}, 3},
  };
  for (const caso& c : casi) {
    Cartella d;
    std::vector<std::string> args = {OSTILE, "h.w", "o.w"};
    args.insert(args.end(), c.impostazioni.begin(), c.impostazioni.end());
    const vt::RunResult senza = d.esegui(APMS, args);
    ASSERT_EQ(senza.status, 0) << senza.out;
    const std::string pesi = vt::read_file(d / "h.w") + vt::read_file(d / "o.w");
    args.insert(args.end(), {"--rapporto", "p.html", "--curva", "c.tsv"});
    const vt::RunResult con = d.esegui(APMS, args);
    ASSERT_EQ(con.status, 0) << con.out;
    // The weights and every line as without the options, and two lines more.
    EXPECT_EQ(vt::read_file(d / "h.w") + vt::read_file(d / "o.w"), pesi);
    EXPECT_EQ(con.out, senza.out + "Curva scritta in c.tsv\nPagina scritta in p.html\n");

    // The table and the JSON block hold the figures of the epoch lines.
    const std::regex linea("Epoca ([0-9]+) di [0-9]+: accuratezza ([0-9.]+)%(?: \\(tasso ([^)]+)\\))?"
                           "(?:, validazione ([0-9.]+)%)?(?:, verifica ([0-9.]+)%)?\n");
    std::vector<std::smatch> linee;
    for (auto it = std::sregex_iterator(con.out.begin(), con.out.end(), linea); it != std::sregex_iterator(); ++it)
      linee.push_back(*it);
    ASSERT_EQ(static_cast<int>(linee.size()), c.epoche);
    std::stringstream tsv(vt::read_file(d / "c.tsv"));
    std::string riga;
    std::getline(tsv, riga);
    EXPECT_EQ(campi(riga).size(), 14u) << riga;
    const std::string pagina = vt::read_file(d / "p.html");
    // One object per epoch in the JSON block's curve, each cut at the next.
    std::vector<std::string> json;
    for (size_t i = pagina.find("{\"epoca\":"); i != std::string::npos;) {
      const size_t dopo = pagina.find("{\"epoca\":", i + 1);
      json.push_back(pagina.substr(i, std::min(dopo, pagina.find("]}", i)) - i));
      i = dopo;
    }
    ASSERT_EQ(static_cast<int>(json.size()), c.epoche);
    for (const std::smatch& l : linee) {
      ASSERT_TRUE(std::getline(tsv, riga));
      const std::vector<std::string> t = campi(riga);
      ASSERT_EQ(t.size(), 14u) << riga;
      EXPECT_EQ(t[0], l[1]);
      EXPECT_EQ(t[4], l[2]);
      if (l[3].matched) {
        EXPECT_EQ(t[1], l[3]);
      }
      EXPECT_EQ(t[7], l[4].matched ? l[4].str() : "");
      EXPECT_EQ(t[11], l[5].matched ? l[5].str() : "");
      // A cost on some set, and on the training rows only when none is held out.
      EXPECT_EQ(t[13].empty(), l[4].matched || l[5].matched) << riga;
      const std::string& j = json[static_cast<size_t>(std::stoi(l[1]) - 1)];
      EXPECT_EQ(intero_dopo(j, "{\"epoca\":"), std::stoi(l[1]));
      EXPECT_EQ(due_decimali(intero_dopo(j, "\"giuste\":"), intero_dopo(j, "\"righe\":")), l[2]);
      for (const auto& [nome, gruppo] : {std::pair{"\"validazione\":{", 4}, std::pair{"\"verifica\":{", 5}}) {
        const size_t k = j.find(nome);
        EXPECT_EQ(k != std::string::npos, l[gruppo].matched) << j;
        if (k != std::string::npos) {
          EXPECT_EQ(due_decimali(intero_dopo(j, "\"giuste\":", k), intero_dopo(j, "\"righe\":", k)), l[gruppo]);
        }
      }
    }
    EXPECT_FALSE(std::getline(tsv, riga));

    const bool verifica = c.impostazioni[1] == "--verifica";
    if (!verifica) vt::write_file(d / "test.csv", vt::read_file(d / OSTILE));  // the rows the matrix is on
    const std::string dom = controlla_pagina(d, "p.html", verifica ? 100 : 240);
    EXPECT_EQ(vt::occorrenze(dom, "<circle class=\"punto\" data-serie=\"acc-addestramento\""),
              static_cast<size_t>(c.epoche));
    EXPECT_NE(dom.find("&lt;script&gt;document.title='preso'&lt;/script&gt;.csv"), std::string::npos);

    // "-": the page alone on standard output, the same bytes; the lines on standard error.
    args.erase(args.end() - 4, args.end());
    args.insert(args.end(), {"--rapporto", "-"});
    vt::write_file(d / "test.csv", righe_rumorose(100, 72));
    const vt::RunResult su_stdout = d.esegui(APMS, args);
    ASSERT_EQ(su_stdout.status, 0) << su_stdout.err;
    EXPECT_EQ(su_stdout.out, pagina);
    EXPECT_EQ(su_stdout.err, senza.out);
  }
}

TEST(PagineCifre, TheGalleryWritesThePageOfAnyPairOfWeightFiles) {
  ASSERT_FALSE(vt::chromium().empty()) << "chromium is missing: `make test` installs it";
  Cartella d;
  ASSERT_EQ(d.esegui(APMS, {OSTILE, "h.w", "o.w", "2", "--verifica", "test.csv", "--rapporto", "a.html"}).status, 0);
  const vt::RunResult g = d.esegui(GPMS, {"test.csv", "h.w", "o.w", "--rapporto", "-"});
  ASSERT_EQ(g.status, 0) << g.err;
  ASSERT_EQ(g.out.rfind("<!DOCTYPE html>\n", 0), 0u);
  vt::write_file(d / "g.html", g.out);
  const std::string dom = controlla_pagina(d, "g.html", 100);
  EXPECT_NE(dom.find("Nessuna storia"), std::string::npos);
  EXPECT_EQ(vt::occorrenze(dom, "class=\"punto\""), 0u);
  // The same weights on the same rows: the trainer's page shows the same misread rows.
  const std::string apms = vt::read_file(d / "a.html");
  const std::string re = "<figure class=\"sbagliata\" id=\"s-([0-9]+)\"";
  EXPECT_EQ(tutte(g.out, re), tutte(apms, re));

  // The pad: a slanted stroke drawn with pointer events becomes 28 x 28
  // pixels whose ink is 20 pixels high and whose centre of mass is the centre.
  const std::string tratto = R"(<script>
(function () {
  var t = document.getElementById('lavagna'), b = t.getBoundingClientRect();
  function ev(tipo, x, y) {
    t.dispatchEvent(new PointerEvent(tipo, {clientX: b.left + x * b.width / 280, clientY: b.top + y * b.height / 280,
                                            pointerId: 1, bubbles: true}));
  }
  ev('pointerdown', 150, 40);
  for (var y = 40; y <= 240; y += 10) ev('pointermove', 150 - (y - 40) * 0.1, y);
  ev('pointerup', 130, 240);
  // The pad redraws on the next animation frame: wait for its answer, whatever the load.
  var prove = 0;
  (function leggi() {
    if (document.getElementById('risposta').dataset.classe === undefined && ++prove < 50) {
      setTimeout(leggi, 100);
      return;
    }
    var r = document.getElementById('ridotta').getContext('2d').getImageData(0, 0, 28, 28).data;
    var n = 0, mx = 0, my = 0, y0 = 28, y1 = -1;
    for (var i = 0; i < 784; i++) {
      var v = 255 - r[4 * i], x = i % 28, y = (i / 28) | 0;
      if (v > 0) { n += v; mx += v * (x + 0.5); my += v * (y + 0.5); y0 = Math.min(y0, y); y1 = Math.max(y1, y); }
    }
    document.body.dataset.tratto = [Math.abs(mx / n - 14) <= 0.5, Math.abs(my / n - 14) <= 0.5, y1 - y0 + 1,
                                    document.getElementById('risposta').dataset.classe !== undefined].join(' ');
  })();
})();
</script></body>)";
  std::string con_tratto = g.out;
  con_tratto.replace(con_tratto.rfind("</body>"), 7, tratto);
  vt::write_file(d / "tratto.html", con_tratto);
  const vt::RunResult disegno = vt::dom_della_pagina(d / "tratto.html");
  EXPECT_NE(disegno.out.find("data-tratto=\"true true 20 true\""), std::string::npos) << disegno.out.substr(0, 2000);
}

TEST(PagineCifre, TargetsAreCheckedBeforeAnyTraining) {
  Cartella d;
  vt::write_file(d / "h.w", "vecchi");
  const std::string impossibile = "Impossibile scrivere il file ";
  const std::pair<std::vector<std::string>, std::string> casi[] = {
      {{"--rapporto", "h.w"}, "Il file h.w non puo' ricevere la pagina: e' il file dei pesi h.w\n" + impossibile + "h.w\n"},
      {{"--curva", "test.csv"},
       "Il file test.csv non puo' ricevere la curva: e' il file di righe test.csv\n" + impossibile + "test.csv\n"},
      {{"--rapporto", "manca/p.html"},
       "Il file manca/p.html non puo' ricevere la pagina: la sua cartella non esiste\n" + impossibile + "manca/p.html\n"},
      {{"--rapporto", "x", "--curva", "./x"}, "La pagina e la tabella della curva devono andare in due file diversi: x\n"},
      {{"--rapporto", "-", "--curva", "-"}, "La pagina e la tabella della curva devono andare in due file diversi: -\n"},
  };
  for (const auto& [opzioni, messaggio] : casi) {
    std::vector<std::string> args = {"test.csv", "h.w", "o.w", "2"};
    args.insert(args.end(), opzioni.begin(), opzioni.end());
    const vt::RunResult r = d.esegui(APMS, args);
    EXPECT_EQ(r.status, 1) << messaggio;
    EXPECT_EQ(r.out + r.err, vt::BANNER_APMS + messaggio);
    EXPECT_EQ(vt::read_file(d / "h.w"), "vecchi");
  }
  const vt::RunResult g = d.esegui(GPMS, {"test.csv", "h.w", "o.w", "--rapporto", "-", "--predizioni", "-"});
  EXPECT_EQ(g.status, 1);
  EXPECT_NE((g.out + g.err).find("La pagina e le predizioni non possono andare nello stesso file: -\n"), std::string::npos);
}
