// Dominant colours of an image, from its RGBA pixels: a weighted k-means over
// a 15-bit colour histogram, deterministic so the same cover always gives the
// same palette. Pure logic; the page decodes the image into a canvas first.
(function (root) {
  'use strict';
  var color = typeof module !== 'undefined' && module.exports ? require('./color.js') : root.Vesmer.color;

  var BITS = 5, LEVELS = 1 << BITS, SHIFT = 8 - BITS;
  var MERGE_DISTANCE = 0.1;   // clusters closer than this (RGB 0..1) are one colour
  var ITERATIONS = 12;

  function histogram(rgba) {
    var bins = new Map();
    for (var i = 0; i + 3 < rgba.length; i += 4) {
      if (rgba[i + 3] < 128) continue;   // transparent pixels carry no colour
      var key = (rgba[i] >> SHIFT) << (2 * BITS) | (rgba[i + 1] >> SHIFT) << BITS | (rgba[i + 2] >> SHIFT);
      var b = bins.get(key);
      if (!b) { b = [0, 0, 0, 0]; bins.set(key, b); }
      b[0] += rgba[i]; b[1] += rgba[i + 1]; b[2] += rgba[i + 2]; b[3]++;
    }
    var points = [];
    bins.forEach(function (b) { points.push({ c: [b[0] / b[3] / 255, b[1] / b[3] / 255, b[2] / b[3] / 255], w: b[3] }); });
    // Map order follows the pixels; sort so results do not depend on it.
    points.sort(function (a, b) { return b.w - a.w || a.c[0] - b.c[0] || a.c[1] - b.c[1] || a.c[2] - b.c[2]; });
    return points;
  }

  function dist2(a, b) {
    var r = a[0] - b[0], g = a[1] - b[1], bl = a[2] - b[2];
    return r * r + g * g + bl * bl;
  }

  // Seeds: the heaviest colour, then repeatedly the one that is both common
  // and far from every seed so far.
  function seeds(points, k) {
    var out = [points[0].c.slice()];
    while (out.length < k) {
      var best = -1, score = 0;
      points.forEach(function (p, i) {
        var d = Infinity;
        out.forEach(function (s) { d = Math.min(d, dist2(p.c, s)); });
        if (p.w * d > score) { score = p.w * d; best = i; }
      });
      if (best < 0) break;
      out.push(points[best].c.slice());
    }
    return out;
  }

  function cluster(points, centres) {
    var weights = [];
    for (var it = 0; it < ITERATIONS; it++) {
      var sums = centres.map(function () { return [0, 0, 0, 0]; });
      points.forEach(function (p) {
        var best = 0, d = Infinity;
        centres.forEach(function (c, j) { var e = dist2(p.c, c); if (e < d) { d = e; best = j; } });
        var s = sums[best];
        s[0] += p.c[0] * p.w; s[1] += p.c[1] * p.w; s[2] += p.c[2] * p.w; s[3] += p.w;
      });
      weights = sums.map(function (s) { return s[3]; });
      centres = centres.map(function (c, j) { var s = sums[j]; return s[3] ? [s[0] / s[3], s[1] / s[3], s[2] / s[3]] : c; });
    }
    return centres.map(function (c, j) { return { c: c, w: weights[j] }; }).filter(function (x) { return x.w > 0; });
  }

  function merge(clusters) {
    clusters.sort(function (a, b) { return b.w - a.w; });
    var out = [];
    clusters.forEach(function (x) {
      var near = out.find(function (o) { return dist2(o.c, x.c) < MERGE_DISTANCE * MERGE_DISTANCE; });
      if (near) near.w += x.w;
      else out.push({ c: x.c, w: x.w });
    });
    return out.sort(function (a, b) { return b.w - a.w; });
  }

  // Lighter and darker shades of the main colour when an image has too few
  // colours of its own.
  function pad(hexes, min) {
    var hsl = color.rgbToHsl(color.parse(hexes[0]));
    var steps = [0.25, -0.25, 0.45, -0.45, 0.12, -0.12];
    for (var i = 0; i < steps.length && hexes.length < min; i++) {
      var l = Math.max(0.04, Math.min(0.96, hsl[2] + steps[i]));
      var hex = color.toHex(color.hslToRgb(hsl[0], hsl[1], l));
      if (hexes.indexOf(hex) < 0) hexes.push(hex);
    }
    return hexes;
  }

  // rgba: any array-like of bytes, 4 per pixel. Returns 3..max "#rrggbb",
  // most prominent first, or [] when no pixel is opaque.
  function dominantColors(rgba, max) {
    max = Math.max(3, Math.min(6, max || 6));
    var points = histogram(rgba);
    if (!points.length) return [];
    var clusters = merge(cluster(points, seeds(points, Math.min(max, points.length))));
    var hexes = [];
    clusters.forEach(function (x) {
      var hex = color.toHex(x.c);
      if (hexes.indexOf(hex) < 0 && hexes.length < max) hexes.push(hex);
    });
    return pad(hexes, 3);
  }

  var api = { dominantColors: dominantColors };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).palette = api;
})(this);
