// The script of the digits page: the network's forward pass on the run's
// own weights (the same sums, in the same order, as the library's
// net_recognize), the draw pad with the MNIST centring and scaling, and the
// check of each misread row drawn, whose answer the page computes again and
// writes into its data-risposta-pagina. The page reads without it.
#include "pagina_cifre.h"

const char* const SCRIPT_PAGINA_CIFRE = R"JS(
(function () {
  'use strict';
  var D = JSON.parse(document.getElementById('dati').textContent);
  var N_IN = 784, N_H = 100, N_OUT = 10;

  function reali(b64) {
    var s = atob(b64), n = s.length, u = new Uint8Array(n);
    for (var i = 0; i < n; i++) u[i] = s.charCodeAt(i);
    var v = new DataView(u.buffer), out = new Float64Array(n / 8);
    for (var k = 0; k < out.length; k++) out[k] = v.getFloat64(8 * k, true);
    return out;
  }
  function byte(b64) {
    var s = atob(b64), u = new Uint8Array(s.length);
    for (var i = 0; i < s.length; i++) u[i] = s.charCodeAt(i);
    return u;
  }
  var WH = reali(D.rete.intercalari), WO = reali(D.rete.efferenti);

  // The forward pass of the library: x = (1, pixel / 255), each sum
  // (x[j] * w[j]) + sum in index order, the logistic 1 / (1 + exp(-s)); the
  // answer is the largest output above 0, the lower digit on a tie.
  function avanti(pixel) {
    var x = new Float64Array(N_IN + 1), y = new Float64Array(N_H + 1), u = new Float64Array(N_OUT);
    x[0] = 1.0;
    for (var j = 0; j < N_IN; j++) x[j + 1] = pixel[j] / 255.0;
    y[0] = 1.0;
    for (var h = 0; h < N_H; h++) {
      var s = 0.0, o = h * (N_IN + 1);
      for (var i = 0; i <= N_IN; i++) s = (x[i] * WH[o + i]) + s;
      y[h + 1] = 1.0 / (1.0 + Math.exp(-s));
    }
    var migliore = 0.0, classe = -1;
    for (var k = 0; k < N_OUT; k++) {
      var t = 0.0, q = k * (N_H + 1);
      for (var m = 0; m <= N_H; m++) t = (y[m] * WO[q + m]) + t;
      u[k] = 1.0 / (1.0 + Math.exp(-t));
      if (u[k] > migliore) { migliore = u[k]; classe = k; }
    }
    return { uscite: u, classe: classe };
  }

  // Every misread row drawn, recomputed here.
  var righe = (D.sbagliate && D.sbagliate.righe) || [];
  righe.forEach(function (r) {
    var el = document.getElementById('s-' + r.riga);
    if (el) el.dataset.rispostaPagina = String(avanti(byte(r.pixel)).classe);
  });

  // ---- The pad ----
  var tela = document.getElementById('lavagna');
  var ridotta = document.getElementById('ridotta');
  var barre = document.getElementById('barre-lavagna');
  var risposta = document.getElementById('risposta');
  var normalizza = document.getElementById('normalizza');
  if (!tela || !tela.getContext) { document.body.dataset.pronto = '1'; return; }
  var ctx = tela.getContext('2d', { willReadFrequently: true });
  var L = tela.width;
  function pulisci() {
    ctx.fillStyle = '#fff';
    ctx.fillRect(0, 0, L, L);
  }
  pulisci();

  // The MNIST preparation: the ink's bounding box scaled (area average) so
  // that its longer side is 20 pixels, then placed in 28 x 28 with its centre
  // of mass at the centre.
  function prepara() {
    var img = ctx.getImageData(0, 0, L, L).data, ink = new Float64Array(L * L);
    var x0 = L, y0 = L, x1 = -1, y1 = -1;
    for (var y = 0; y < L; y++)
      for (var x = 0; x < L; x++) {
        var v = 255 - img[4 * (y * L + x)];
        ink[y * L + x] = v;
        if (v > 0) { if (x < x0) x0 = x; if (x > x1) x1 = x; if (y < y0) y0 = y; if (y > y1) y1 = y; }
      }
    if (x1 < 0) return null;
    var bw = x1 - x0 + 1, bh = y1 - y0 + 1, s = 20 / Math.max(bw, bh);
    var tw = Math.max(1, Math.round(bw * s)), th = Math.max(1, Math.round(bh * s));
    var piccola = new Float64Array(tw * th);
    for (var ty = 0; ty < th; ty++)
      for (var tx = 0; tx < tw; tx++) {
        var sx0 = x0 + tx / s, sx1 = x0 + (tx + 1) / s, sy0 = y0 + ty / s, sy1 = y0 + (ty + 1) / s;
        var somma = 0, area = 0;
        for (var yy = Math.floor(sy0); yy < Math.ceil(sy1); yy++)
          for (var xx = Math.floor(sx0); xx < Math.ceil(sx1); xx++) {
            var a = (Math.min(xx + 1, sx1) - Math.max(xx, sx0)) * (Math.min(yy + 1, sy1) - Math.max(yy, sy0));
            if (a <= 0 || xx < 0 || yy < 0 || xx >= L || yy >= L) continue;
            somma += a * ink[yy * L + xx];
            area += a;
          }
        piccola[ty * tw + tx] = area > 0 ? somma / area : 0;
      }
    var mx = 0, my = 0, massa = 0;
    for (var py = 0; py < th; py++)
      for (var px = 0; px < tw; px++) {
        var w = piccola[py * tw + px];
        mx += w * (px + 0.5); my += w * (py + 0.5); massa += w;
      }
    var ox = Math.round(14 - mx / massa), oy = Math.round(14 - my / massa);
    var pixel = new Uint8Array(N_IN);
    for (var qy = 0; qy < th; qy++)
      for (var qx = 0; qx < tw; qx++) {
        var X = qx + ox, Y = qy + oy;
        if (X < 0 || Y < 0 || X >= 28 || Y >= 28) continue;
        pixel[Y * 28 + X] = Math.min(255, Math.round(piccola[qy * tw + qx]));
      }
    return pixel;
  }

  function mostra(pixel) {
    var r = ridotta.getContext('2d'), im = r.createImageData(28, 28);
    for (var i = 0; i < N_IN; i++) {
      var g = 255 - (pixel ? pixel[i] : 0);
      im.data[4 * i] = im.data[4 * i + 1] = im.data[4 * i + 2] = g;
      im.data[4 * i + 3] = 255;
    }
    r.putImageData(im, 0, 0);
    barre.textContent = '';
    if (!pixel) { risposta.innerHTML = '<b>Risposta:</b> &mdash;'; return; }
    var e = avanti(pixel), somma = 0;
    for (var k = 0; k < N_OUT; k++) somma += e.uscite[k];
    risposta.innerHTML = '<b>Risposta:</b> ' + (e.classe < 0 ? 'nessuna' : String(e.classe));
    risposta.dataset.classe = String(e.classe);
    for (var c = 0; c < N_OUT; c++) {
      var v = normalizza.checked ? e.uscite[c] / somma : e.uscite[c];
      var riga = document.createElement('div');
      riga.className = 'barra-uscita' + (c === e.classe ? ' scelta' : '');
      var nome = document.createElement('span'); nome.textContent = String(c);
      var fondo = document.createElement('span'); fondo.className = 'fondo';
      var pieno = document.createElement('span'); pieno.className = 'pieno';
      pieno.style.display = 'block';
      pieno.style.width = (100 * Math.max(0, Math.min(1, v))).toFixed(1) + '%';
      fondo.appendChild(pieno);
      var valore = document.createElement('span'); valore.textContent = v.toFixed(3);
      riga.appendChild(nome); riga.appendChild(fondo); riga.appendChild(valore);
      barre.appendChild(riga);
    }
  }

  var giu = false, ultimo = null, attesa = 0;
  function punto(ev) {
    var b = tela.getBoundingClientRect();
    return [(ev.clientX - b.left) * L / b.width, (ev.clientY - b.top) * L / b.height];
  }
  function aggiorna() {
    if (attesa) return;
    attesa = requestAnimationFrame(function () { attesa = 0; mostra(prepara()); });
  }
  function traccia(a, b) {
    ctx.strokeStyle = '#000'; ctx.lineWidth = 20; ctx.lineCap = 'round'; ctx.lineJoin = 'round';
    ctx.beginPath(); ctx.moveTo(a[0], a[1]); ctx.lineTo(b[0], b[1]); ctx.stroke();
  }
  tela.addEventListener('pointerdown', function (ev) {
    giu = true; ultimo = punto(ev);
    if (tela.setPointerCapture) tela.setPointerCapture(ev.pointerId);
    traccia(ultimo, ultimo); aggiorna(); ev.preventDefault();
  });
  tela.addEventListener('pointermove', function (ev) {
    if (!giu) return;
    var p = punto(ev); traccia(ultimo, p); ultimo = p; aggiorna(); ev.preventDefault();
  });
  function fine() { giu = false; ultimo = null; }
  tela.addEventListener('pointerup', fine);
  tela.addEventListener('pointercancel', fine);
  document.getElementById('cancella').addEventListener('click', function () { pulisci(); mostra(null); });
  normalizza.addEventListener('change', function () { mostra(prepara()); });
  mostra(null);
  document.body.dataset.pronto = '1';
})();
)JS";
