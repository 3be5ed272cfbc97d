// Colour notation shared by graphs, themes and the palette extractor.
// Colours are [r, g, b] arrays with components 0..1; parse returns null for
// anything it does not understand so callers can fall back to a default.
(function (root) {
  'use strict';

  function clamp01(v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

  function hslToRgb(h, s, l) {
    h = ((h % 360) + 360) % 360 / 360;
    if (s === 0) return [l, l, l];
    var q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    var p = 2 * l - q;
    function channel(t) {
      if (t < 0) t += 1;
      if (t > 1) t -= 1;
      if (t < 1 / 6) return p + (q - p) * 6 * t;
      if (t < 1 / 2) return q;
      if (t < 2 / 3) return p + (q - p) * (2 / 3 - t) * 6;
      return p;
    }
    return [channel(h + 1 / 3), channel(h), channel(h - 1 / 3)];
  }

  function rgbToHsl(c) {
    var r = c[0], g = c[1], b = c[2];
    var max = Math.max(r, g, b), min = Math.min(r, g, b);
    var l = (max + min) / 2, d = max - min, h = 0, s = 0;
    if (d > 1e-9) {
      s = l > 0.5 ? d / (2 - max - min) : d / (max + min);
      if (max === r) h = (g - b) / d + (g < b ? 6 : 0);
      else if (max === g) h = (b - r) / d + 2;
      else h = (r - g) / d + 4;
      h *= 60;
    }
    return [h, s, l];
  }

  var HEX = /^#([0-9a-f]{3}|[0-9a-f]{6})$/i;
  var FUNC = /^(rgb|hsl)a?\(\s*([-\d.]+)(deg)?\s*,\s*([-\d.]+)(%?)\s*,\s*([-\d.]+)(%?)\s*(,\s*[-\d.]+%?\s*)?\)$/i;

  // "#rgb", "#rrggbb", "rgb(r, g, b)" (0..255) or "hsl(h, s%, l%)".
  function parse(text) {
    if (typeof text !== 'string') return null;
    var s = text.trim();
    var m = HEX.exec(s);
    if (m) {
      var h = m[1];
      if (h.length === 3) h = h[0] + h[0] + h[1] + h[1] + h[2] + h[2];
      var n = parseInt(h, 16);
      return [(n >> 16 & 255) / 255, (n >> 8 & 255) / 255, (n & 255) / 255];
    }
    m = FUNC.exec(s);
    if (!m) return null;
    var a = parseFloat(m[2]), b = parseFloat(m[4]), c = parseFloat(m[6]);
    if (!isFinite(a) || !isFinite(b) || !isFinite(c)) return null;
    if (m[1].toLowerCase() === 'rgb') return [clamp01(a / 255), clamp01(b / 255), clamp01(c / 255)];
    return hslToRgb(a, clamp01(b / 100), clamp01(c / 100));
  }

  function hex2(v) {
    var n = Math.round(clamp01(v) * 255);
    return (n < 16 ? '0' : '') + n.toString(16);
  }

  function toHex(c) { return '#' + hex2(c[0]) + hex2(c[1]) + hex2(c[2]); }

  // Relative luminance, good enough to tell a dark colour from a visible one.
  function luminance(c) { return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]; }

  function mix(a, b, t) {
    return [a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t];
  }

  var api = {
    parse: parse, toHex: toHex, luminance: luminance, mix: mix,
    hslToRgb: hslToRgb, rgbToHsl: rgbToHsl, clamp01: clamp01
  };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).color = api;
})(this);
