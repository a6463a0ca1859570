// The pieces of the suite's HTML pages: what comes from the input enters as
// text and nothing else, in the HTML and in the JSON block, and a page built
// from them runs in a real browser with its hostile names shown, not run.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "browser_util.h"
#include "pagina.h"

namespace {

TEST(ComunePagina, InputEntersAsTextInTheHtmlAndInTheJson) {
  struct caso {
    std::string in, html, json;
  };
  const caso casi[] = {
      {"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&#39;", "\"a\\u003cb\\u003e\\u0026\\\"'\""},
      {"</script><script>x()</script>", "&lt;/script&gt;&lt;script&gt;x()&lt;/script&gt;",
       "\"\\u003c/script\\u003e\\u003cscript\\u003ex()\\u003c/script\\u003e\""},
      {"citt\xC3\xA0\tb\\c\n", "citt\xC3\xA0\tb\\c\n", "\"citt\xC3\xA0\\tb\\\\c\\n\""},
      // A byte that is not UTF-8, an overlong '/', a surrogate and a control byte.
      {"\xFF" "a\xC0\xAF" "\xED\xA0\x80\x01", "\xEF\xBF\xBD" "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
       "\"\\ufffda\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\u0001\""},
  };
  for (const caso& c : casi) {
    EXPECT_EQ(testo_html(c.in), c.html) << c.in;
    EXPECT_EQ(testo_json(c.in), c.json) << c.in;
  }
  EXPECT_EQ(base64("", 0), "");
  EXPECT_EQ(base64("f", 1), "Zg==");
  EXPECT_EQ(base64("foob", 4), "Zm9vYg==");
  EXPECT_EQ(base64("fooba", 5), "Zm9vYmE=");
  for (const double x : {0.1, 1.0 / 3.0, -2.5e-300, 1e300, 0.0})
    EXPECT_EQ(std::strtod(numero_json(x).c_str(), nullptr), x) << numero_json(x);
  EXPECT_EQ(numero_json(0.1), "0.1");
  EXPECT_EQ(numero_json(std::nan("")), "null");
  EXPECT_EQ(numero_json(-std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(colore_divergente(-1), "#2166ac");
  EXPECT_EQ(colore_divergente(0), "#f7f7f7");
  EXPECT_EQ(colore_divergente(7), "#b2182b");
}

TEST(ComunePagina, AHostileNameShowsAsTextAndThePageScriptRuns) {
  ASSERT_FALSE(vt::chromium().empty()) << "chromium is missing: `make test` installs it";
  vt::TempDir d;
  const std::string ostile = "<script>document.body.dataset.preso='1'</script><img src=x onerror=\"this.id='preso'\">";
  const std::vector<std::vector<int64_t>> m = {{5, 1}, {0, 4}};
  const std::vector<std::string> nomi = {ostile, "b"};
  std::string p = inizio_pagina(ostile) + "<p id=\"nome\">" + testo_html(ostile) + "</p>\n" +
                  matrice_confusione_html(m, nomi, "c");
  p += fine_pagina("{\"nome\":" + testo_json(ostile) + ",\"confusione\":" + matrice_confusione_json(m, nomi) + "}",
                   "var d=JSON.parse(document.getElementById('dati').textContent);"
                   "document.getElementById('nome').dataset.letto=String(d.nome===document.getElementById('nome').textContent);"
                   "document.body.dataset.pronto='1';");
  ASSERT_TRUE(scrivi_pagina((d / "p.html").c_str(), p, nullptr));
  const vt::RunResult r = vt::dom_della_pagina(d / "p.html");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("data-pronto=\"1\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("data-errore"), std::string::npos);
  EXPECT_EQ(r.out.find("preso"), r.out.find("preso='1'"));  // only inside the escaped text
  EXPECT_NE(r.out.find("data-letto=\"true\""), std::string::npos);
  EXPECT_EQ(vt::occorrenze(r.out, "class=\"cella"), 4u);
  EXPECT_EQ(misure_confusione(m)[0].precisione, 1.0);
  EXPECT_EQ(misure_confusione(m)[1].richiamo, 1.0);
  EXPECT_DOUBLE_EQ(misure_confusione(m)[0].f1, 2.0 * (5.0 / 6.0) / (1.0 + 5.0 / 6.0));
}

}  // namespace
