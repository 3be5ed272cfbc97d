// Reading the host's settings calls: effects JSON, look values, render size
// and frame cap, lyric mode, and the wrapping of lyric lines. Pure logic.
(function (root) {
  'use strict';
  var graph = typeof module !== 'undefined' && module.exports ? require('./graph.js') : root.Vesmer.graph;
  var EFFECTS = graph.EFFECTS;
  var DEFAULT_FPS = 60;
  var LOOK_MAX = 3;

  function clamp(v, lo, hi) { return v < lo ? lo : v > hi ? hi : v; }

  function noEffects() {
    var out = {};
    EFFECTS.forEach(function (k) { out[k] = 0; });
    return out;
  }

  // Merges an effects JSON object into `current`: known names with finite
  // numbers are clamped to 0..1, anything else is ignored. Returns null when
  // the text is not a JSON object, so the caller keeps what it had.
  function parseFx(text, current) {
    var parsed;
    try { parsed = JSON.parse(text); } catch (e) { return null; }
    if (parsed === null || typeof parsed !== 'object' || Array.isArray(parsed)) return null;
    var out = {};
    EFFECTS.forEach(function (k) {
      var v = parsed[k];
      out[k] = typeof v === 'number' && isFinite(v) ? clamp(v, 0, 1) : current ? current[k] : 0;
    });
    return out;
  }

  function lookValue(v) { return typeof v === 'number' && isFinite(v) ? clamp(v, 0, LOOK_MAX) : 1; }

  function look(reactivity, speed, exposure, grain) {
    return { reactivity: lookValue(reactivity), speed: lookValue(speed), exposure: lookValue(exposure), grain: lookValue(grain) };
  }

  function fpsCap(fps) {
    return typeof fps === 'number' && isFinite(fps) && fps >= 1 ? Math.min(240, Math.round(fps)) : DEFAULT_FPS;
  }

  // Drawing-buffer size. The scale is read against a 2x screen: the page draws
  // devicePixelRatio * scale / 2 pixels per CSS pixel, so Balanced (1.5) and
  // Performance (1) draw fewer pixels than Native (scale 0, or anything
  // unusable: the device's pixel ratio) on every screen. `dynamic` (0..1, the
  // dynamic resolution's factor) shrinks both sides; never above the GPU limit.
  function renderSize(cssWidth, cssHeight, scale, devicePixelRatio, maxSize, dynamic) {
    var dpr = devicePixelRatio > 0 ? devicePixelRatio : 1;
    var ratio = typeof scale === 'number' && isFinite(scale) && scale > 0 ? dpr * Math.min(scale, 4) / 2 : dpr;
    if (dynamic > 0 && dynamic < 1) ratio *= dynamic;
    var w = Math.max(1, Math.round(cssWidth * ratio)), h = Math.max(1, Math.round(cssHeight * ratio));
    var limit = maxSize > 0 ? maxSize : 16384;
    if (w > limit || h > limit) {
      var k = limit / Math.max(w, h);
      w = Math.max(1, Math.floor(w * k)); h = Math.max(1, Math.floor(h * k));
    }
    return { width: w, height: h, ratio: ratio };
  }

  function qualityReport(width, height, fps, note) { return width + '\u00d7' + height + ' @ ' + fps + ' fps' + (note ? ' (' + note + ')' : ''); }

  function lyricMode(mode) { return mode === 'visuals' || mode === 'overlay' || mode === 'off' ? mode : 'overlay'; }

  // Greedy word wrap into at most maxLines lines of at most maxWidth, as
  // measured by `measure`; the last line gets an ellipsis if text is left.
  function wrap(text, measure, maxWidth, maxLines) {
    var words = String(text).replace(/\s+/g, ' ').trim().split(' ').filter(Boolean);
    var lines = [], line = '';
    for (var i = 0; i < words.length; i++) {
      var next = line ? line + ' ' + words[i] : words[i];
      if (!line || measure(next) <= maxWidth) { line = next; continue; }
      lines.push(line);
      line = words[i];
      if (lines.length === maxLines) { line = ''; break; }
    }
    if (line) lines.push(line);
    if (lines.length > maxLines || (lines.length === maxLines && i < words.length)) {
      lines.length = maxLines;
      var last = lines[maxLines - 1];
      while (last && measure(last + '\u2026') > maxWidth) last = last.slice(0, -1);
      lines[maxLines - 1] = last + '\u2026';
    }
    return lines;
  }

  var api = {
    EFFECTS: EFFECTS, noEffects: noEffects, parseFx: parseFx, look: look, fpsCap: fpsCap,
    renderSize: renderSize, qualityReport: qualityReport, lyricMode: lyricMode, wrap: wrap
  };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).controls = api;
})(this);
