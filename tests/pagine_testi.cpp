// velmora_bow valuta --rapporto: the page, opened in headless chromium after
// its script ran, against the report valuta prints and the terms spiega
// prints; hostile names and texts stay text; the target is checked first.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "browser_util.h"

namespace {

vt::RunResult bow(const vt::TempDir& dir, const std::vector<std::string>& args) {
  return vt::run(VELMORA_BOW_BIN, args, vt::in_dir(dir));
}

// A JSON value, read just far enough to check the page's data block.
struct json {
  enum { nulla, numero, testo, lista, oggetto, logico } tipo = nulla;
  double n = 0;
  std::string s;
  std::vector<json> v;
  std::map<std::string, json> o;
  const json& operator[](const std::string& k) const { return o.at(k); }
  const json& operator[](size_t i) const { return v.at(i); }
};

struct lettore_json {
  const std::string& t;
  size_t i = 0;
  void spazi() { while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i; }
  char prendi(char c) {
    spazi();
    if (i >= t.size() || t[i] != c) throw std::runtime_error("JSON: atteso " + std::string(1, c) + " a " + std::to_string(i));
    return t[i++];
  }
  std::string stringa() {
    prendi('"');
    std::string s;
    while (t.at(i) != '"') {
      if (t[i] != '\\') { s += t[i++]; continue; }
      const char e = t.at(++i);
      ++i;
      if (e == 'u') {
        const unsigned cp = static_cast<unsigned>(std::stoul(t.substr(i, 4), nullptr, 16));
        i += 4;
        if (cp < 0x80) s += static_cast<char>(cp);
        else if (cp < 0x800) s += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        else s += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
      } else {
        s += e == 'n' ? '\n' : e == 't' ? '\t' : e;
      }
    }
    ++i;
    return s;
  }
  json valore() {
    spazi();
    json j;
    const char c = t.at(i);
    if (c == '{') {
      j.tipo = json::oggetto;
      ++i;
      spazi();
      if (t.at(i) == '}') return ++i, j;
      do { std::string k = stringa(); prendi(':'); j.o[k] = valore(); spazi(); } while (t.at(i++) == ',');
      if (t[i - 1] != '}') throw std::runtime_error("JSON: oggetto");
    } else if (c == '[') {
      j.tipo = json::lista;
      ++i;
      spazi();
      if (t.at(i) == ']') return ++i, j;
      do { j.v.push_back(valore()); spazi(); } while (t.at(i++) == ',');
      if (t[i - 1] != ']') throw std::runtime_error("JSON: lista");
    } else if (c == '"') {
      j.tipo = json::testo;
      j.s = stringa();
    } else if (t.compare(i, 4, "null") == 0) {
      i += 4;
    } else if (t.compare(i, 4, "true") == 0 || t.compare(i, 5, "false") == 0) {
      j.tipo = json::logico;
      j.n = t[i] == 't';
      i += t[i] == 't' ? 4 : 5;
    } else {
      j.tipo = json::numero;
      size_t letti = 0;
      j.n = std::stod(t.substr(i, 40), &letti);
      i += letti;
    }
    return j;
  }
};

// The page's data block, as the DOM holds it once the script ran.
json dati_della_pagina(const std::string& dom) {
  const std::string a = "<script type=\"application/json\" id=\"dati\">";
  const size_t da = dom.find(a);
  if (da == std::string::npos) throw std::runtime_error("no data block");
  const std::string testo = dom.substr(da + a.size(), dom.find("</script>", da) - da - a.size());
  lettore_json l{testo};
  json j = l.valore();
  l.spazi();
  if (l.i != testo.size()) throw std::runtime_error("JSON: trailing bytes");
  return j;
}

std::vector<std::string> righe(const std::string& s) {
  std::vector<std::string> r;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) r.push_back(l);
  return r;
}

// "%.1f%%" of x as valuta prints a share, right-aligned in 11, or "-".
std::string quota(double x, bool definita) {
  char s[32];
  if (!definita) std::snprintf(s, sizeof s, "%11s", "-");
  else std::snprintf(s, sizeof s, "%10.1f%%", 100.0 * x);
  return s;
}

constexpr const char* NOME_OSTILE = "<img src=x onerror=\"document.body.dataset.preso='nome'\">";

// Ten classes, each with six words of its own; test texts mix in the next
// class's words, so some go astray. Class 2 holds a file with a hostile
// name and markup in its text.
void scrivi_corpus(const vt::TempDir& d) {
  std::mt19937 rng(29);
  auto parola = [](int k, int j) { return std::string("cls") + static_cast<char>('a' + k) + static_cast<char>('a' + j); };
  auto testo = [&](int k, int estranee) {
    std::string t;
    for (int w = 0; w < 8; ++w) t += parola(w < estranee ? (k + 1) % 10 : k, static_cast<int>(rng() % 6)) + " ";
    return t + "\n";
  };
  for (int k = 0; k < 10; ++k) {
    for (const char* cartella : {"tr", "c"}) std::filesystem::create_directories(d / (std::string(cartella) + "/" + std::to_string(k)));
    for (int i = 0; i < 3; ++i) vt::write_file(d / ("tr/" + std::to_string(k) + "/t" + std::to_string(i)), testo(k, 1));
    for (int i = 0; i < 4; ++i)
      vt::write_file(d / ("c/" + std::to_string(k) + "/v" + std::to_string(i)), testo(k, static_cast<int>(rng() % 7)));
  }
  vt::write_file(d / (std::string("c/2/") + NOME_OSTILE),
                 "<script>document.body.dataset.preso='testo'</script> <b>" + parola(3, 0) + " " + parola(3, 1) +
                     "</b> & " + parola(2, 2) + "\n");
  vt::write_file(d / "c/5/lunga", std::string(40, 'z'));
}

TEST(BowPagina, ThePageAgreesWithTheReportAndSpiegaUnderEveryRule) {
  ASSERT_FALSE(vt::chromium().empty()) << "chromium is missing: `make test` installs it";
  vt::TempDir d;
  scrivi_corpus(d);
  ASSERT_EQ(bow(d, {"addestra", "tr", "--lineare"}).status, 0);
  for (const char* regola : {"velmora", "bayes", "complemento", "lineare"}) {
    SCOPED_TRACE(regola);
    const vt::RunResult solo = bow(d, {"valuta", "c", "--punteggio", regola});
    const vt::RunResult r = bow(d, {"valuta", "c", "--rapporto", "p.html", "--punteggio", regola});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, solo.out + "Pagina scritta in p.html\n");  // the report itself is unchanged
    const std::string pagina = vt::read_file(d / "p.html");
    // With "-", the page alone on standard output, the report on standard error.
    const vt::RunResult su_stdout = bow(d, {"valuta", "c", "--rapporto", "-", "--punteggio", regola});
    EXPECT_EQ(su_stdout.status, 0);
    EXPECT_TRUE(su_stdout.out == pagina) << "the page on standard output differs from the file";
    EXPECT_EQ(su_stdout.err, solo.out);

    const vt::RunResult dom = vt::dom_della_pagina(d / "p.html");
    ASSERT_EQ(dom.status, 0) << dom.err;
    const std::string& h = dom.out;
    EXPECT_NE(h.find("<body data-pronto=\"1\">"), std::string::npos) << "the script did not finish";
    EXPECT_EQ(h.find("data-errore"), std::string::npos);
    EXPECT_EQ(h.find("data-preso"), std::string::npos) << "a script of the corpus ran";
    EXPECT_NE(h.find("&lt;b&gt;"), std::string::npos) << "markup of a text became markup";
    EXPECT_NE(h.find("&lt;img src=x onerror=\"document.body.dataset.preso='nome'\"&gt;"), std::string::npos);
    EXPECT_NE(h.find("&lt;script&gt;document.body.dataset.preso='testo'&lt;/script&gt;"), std::string::npos);

    const json j = dati_della_pagina(h);
    // The matrix: 100 cells whose counts are the printed matrix and add up to the texts.
    const std::vector<std::string> out = righe(solo.out);
    long giusti = 0, totale = 0;
    ASSERT_EQ(std::sscanf(out.back().c_str(), "Corretti %ld di %ld", &giusti, &totale), 2);
    EXPECT_EQ(vt::occorrenze(h, "class=\"cella"), 100u);
    long celle = 0;
    for (size_t p = h.find("data-n=\""); p != std::string::npos; p = h.find("data-n=\"", p + 1)) celle += std::stol(h.substr(p + 8));
    EXPECT_EQ(celle, totale);
    EXPECT_EQ(j["testi"].n, totale);
    EXPECT_EQ(j["corretti"].n, giusti);
    size_t classi = 0, riga_matrice = 0;
    while (!out[classi].starts_with("Classe       File")) ++classi;
    while (!out[riga_matrice].starts_with(" 0 |")) ++riga_matrice;
    for (size_t i = 0; i < 10; ++i) {
      std::istringstream in(out[riga_matrice + i].substr(4));
      for (size_t k = 0; k < 10; ++k) {
        long n;
        in >> n;
        EXPECT_EQ(j["confusione"]["matrice"][i][k].n, n) << i << " " << k;
      }
      // Per class: files, precision, recall and F1 as valuta prints them.
      const json& c = j["confusione"]["classi"][i];
      double scelti = 0;
      for (size_t v = 0; v < 10; ++v) scelti += j["confusione"]["matrice"][v][i].n;
      char attesa[64];
      std::snprintf(attesa, sizeof attesa, "%6zu %10.0f %10.0f", i, c["supporto"].n, j["confusione"]["matrice"][i][i].n);
      EXPECT_EQ(out[classi + 1 + i], attesa + quota(c["precisione"].n, scelti > 0) + quota(c["richiamo"].n, c["supporto"].n > 0) +
                                quota(c["f1"].n, scelti > 0 && c["supporto"].n > 0));
    }
    // The misclassified texts: all counted, at most 200 drawn, each push the
    // difference spiega prints when the true class is the runner-up.
    const long sbagliati = totale - giusti;
    EXPECT_EQ(j["sbagliati"]["totale"].n, sbagliati);
    EXPECT_EQ(vt::occorrenze(h, "<article class=\"sbagliato\""), std::min<size_t>(200, static_cast<size_t>(sbagliati)));
    size_t confrontati = 0;
    for (const json& s : j["sbagliati"]["mostrati"].v) {
      const std::string sp = bow(d, {"spiega", s["path"].s, "--punteggio", regola, "--parole", "1000"}).out;
      const std::string titolo = "(termine in " + std::to_string(static_cast<int>(s["scelta"].n)) + " meno termine in " +
                                 std::to_string(static_cast<int>(s["vera"].n)) + "):";
      if (sp.find(titolo) == std::string::npos) continue;
      ++confrontati;
      const std::string differenze = sp.substr(sp.find(titolo));
      for (const json& w : s["parole"].v) {
        char riga[64];
        std::snprintf(riga, sizeof riga, " %16.6f\n", w["spinta"].n);
        const std::string inizio = "\n" + w["parola"].s + std::string(31 - w["parola"].s.size(), ' ');
        const size_t p = differenze.find(inizio);
        ASSERT_NE(p, std::string::npos) << w["parola"].s;
        EXPECT_EQ(differenze.substr(p, differenze.find('\n', p + 1) - p + 1).substr(1 + 31 + 11 + 13 + 13), riga)
            << w["parola"].s;
      }
    }
    EXPECT_GT(confrontati, 0u);
    // Every text classified is listed with its cell, the page's links reach them.
    ASSERT_EQ(j["file"].v.size(), static_cast<size_t>(totale));
    for (const json& f : j["file"].v) {
      const std::string ancora = "id=\"t-" + std::to_string(static_cast<int>(f["vera"].n)) + "-" +
                                 std::to_string(static_cast<int>(f["scelta"].n)) + "\"";
      EXPECT_NE(h.find(ancora), std::string::npos) << ancora;
    }
    EXPECT_EQ(j["scartati"][0]["path"].s, "c/5/lunga");
    // Every link of the page reaches its anchor: cells, lists and drawings.
    for (size_t p = h.find("href=\"#"); p != std::string::npos; p = h.find("href=\"#", p + 1)) {
      const std::string ancora = h.substr(p + 7, h.find('"', p + 7) - p - 7);
      EXPECT_NE(h.find("id=\"" + ancora + "\""), std::string::npos) << ancora;
    }
  }
  // At desktop and at phone width.
  for (const int larghezza : {1280, 390}) {
    const std::string png = d / ("p" + std::to_string(larghezza) + ".png");
    ASSERT_EQ(vt::foto_della_pagina(d / "p.html", png, larghezza, 900).status, 0);
    EXPECT_EQ(vt::read_file(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
  }
}

TEST(BowPagina, TheTargetIsCheckedBeforeAnyWork) {
  vt::TempDir d;
  scrivi_corpus(d);
  ASSERT_EQ(bow(d, {"addestra", "tr"}).status, 0);
  std::filesystem::create_directory(d / "cartella");
  const auto prima = vt::istantanea(d.path);
  struct caso {
    std::string path, motivo;
  };
  const caso casi[] = {
      {"cartella", "e' una cartella"},
      {"manca/p.html", "la sua cartella non esiste"},
      {"Bow.txt", "e' il modello"},
      {"./Bow.lineare", "e' il modello"},
      {"c/0/v0", "e' uno dei testi del corpus"},
  };
  for (const caso& c : casi) {
    const vt::RunResult r = bow(d, {"valuta", "c", "--rapporto", c.path});
    EXPECT_EQ(r.status, 1) << c.path;
    EXPECT_EQ(r.out, "Il file " + c.path + " non puo' ricevere la pagina: " + c.motivo + "\n");
    EXPECT_EQ(vt::istantanea(d.path), prima) << c.path;
  }
  // A page that cannot be written whole is not written at all.
  const vt::RunResult piena = vt::run(VELMORA_BOW_BIN, {"valuta", "c", "--rapporto", "p.html"}, vt::in_dir(d, 4096));
  EXPECT_EQ(piena.status, 1);
  EXPECT_TRUE(piena.out.ends_with("Impossibile scrivere la pagina p.html: File too large\n")) << piena.out;
  EXPECT_EQ(vt::istantanea(d.path), prima);
  // With "-", a refusal too goes to standard error.
  const vt::RunResult r = bow(d, {"valuta", "manca", "--rapporto", "-"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "La cartella manca non esiste\n");
}

}  // namespace
