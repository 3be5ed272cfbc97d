// Built-in themes (each one a graph, drawn by the same renderer as composed
// scenes), theme stepping and the substitute shown when a graph has nothing
// drawable. Pure logic.
(function (root) {
  'use strict';
  var inNode = typeof module !== 'undefined' && module.exports;
  var graph = inNode ? require('./graph.js') : root.Vesmer.graph;
  var color = inNode ? require('./color.js') : root.Vesmer.color;

  var THEMES = [
    { name: 'Aurora', mood: 'calm night sky northern lights',
      palette: ['#2bffb1', '#7b5cff', '#25c4ff', '#ffffff'],
      background: { top: '#031022', bottom: '#000208' },
      layers: [
        { type: 'particles', color: 3, color2: 2, intensity: 0.5, scale: 1.4, speed: 0.1, detail: 0.3, react: 'treble', amount: 0.6 },
        { type: 'aurora', color: 0, color2: 1, intensity: 1.2, scale: 1, speed: 0.5, detail: 0.6, y: 0.05, react: 'bass', amount: 1.2 }
      ],
      motion: { speed: 0.8, zoom: 0.1, flash: 0.15 }, post: { vignette: 0.5 } },
    { name: 'Nebula', mood: 'dreamy cosmic space clouds',
      palette: ['#ff6a3d', '#8a2be2', '#f9c74f', '#ffffff'],
      background: { top: '#0a0418', bottom: '#000000' },
      layers: [
        { type: 'nebula', color: 1, color2: 0, intensity: 0.8, scale: 1, speed: 0.5, detail: 0.5, react: 'energy', amount: 1 },
        { type: 'particles', color: 3, color2: 2, intensity: 0.7, scale: 1, speed: 0.2, detail: 0.5, react: 'treble', amount: 1 }
      ],
      motion: { speed: 0.7, rotate: 0.1, zoom: 0.25, flash: 0.25 }, post: { vignette: 0.5 } },
    { name: 'Synthwave', mood: 'retro neon energetic drive',
      palette: ['#ff2fd0', '#ffb13b', '#ff4f6d', '#42e8ff'],
      background: { top: '#1a0433', bottom: '#05000f' },
      layers: [
        { type: 'particles', color: 3, color2: 0, intensity: 0.4, scale: 1.5, speed: 0.05, detail: 0.2, y: 0.3, react: 'treble', amount: 0.5 },
        { type: 'grid', color: 0, color2: 1, intensity: 1.1, scale: 1, speed: 1, detail: 0.5, y: -0.1, react: 'bass', amount: 1.2 }
      ],
      motion: { speed: 1, zoom: 0.2, flash: 0.3 }, post: { vignette: 0.6 } },
    { name: 'Hyperspace Tunnel', mood: 'fast intense electronic rush',
      palette: ['#27e0ff', '#5a4bff', '#ff3fa4', '#ffffff'],
      background: { top: '#000010', bottom: '#000000' },
      layers: [
        { type: 'tunnel', color: 0, color2: 1, intensity: 1.1, scale: 1, speed: 1.2, detail: 0.5, react: 'bass', amount: 1.3 },
        { type: 'orb', color: 3, color2: 2, intensity: 0.5, scale: 0.35, speed: 1, detail: 0.3, react: 'beat', amount: 1.5, blend: 'add' }
      ],
      motion: { speed: 1, rotate: 0.2, zoom: 0.35, flash: 0.3 }, post: { vignette: 0.4 } },
    { name: 'Pulse Rings', mood: 'minimal deep bass pulse',
      palette: ['#ff4f6d', '#ffd166', '#06d6a0', '#118ab2'],
      background: { top: '#10061a', bottom: '#000000' },
      layers: [
        { type: 'rings', color: 0, color2: 1, intensity: 1, scale: 1, speed: 0.8, detail: 0.6, react: 'bass', amount: 1.5 },
        { type: 'orb', color: 1, color2: 0, intensity: 0.9, scale: 0.8, speed: 0.8, detail: 0.5, react: 'bass', amount: 1.5 }
      ],
      motion: { speed: 1, zoom: 0.5, flash: 0.35 }, post: { vignette: 0.5 } },
    { name: 'Ocean Waves', mood: 'smooth flowing chill water',
      palette: ['#36d6e7', '#1b62d6', '#a0fff0', '#0b2a6b'],
      background: { top: '#02122b', bottom: '#00040c' },
      layers: [
        { type: 'nebula', color: 3, color2: 1, intensity: 0.55, scale: 0.7, speed: 0.3, detail: 0.2, react: 'energy', amount: 0.6 },
        { type: 'waves', color: 0, color2: 2, intensity: 1.1, scale: 1, speed: 0.8, detail: 0.6, react: 'bass', amount: 1.3 }
      ],
      motion: { speed: 0.9, zoom: 0.15, drift: 0.3, flash: 0.2 }, post: { vignette: 0.5 } },
    { name: 'Kaleidoscope', mood: 'psychedelic colourful trippy',
      palette: ['#ff3d7f', '#ffd23f', '#3bceac', '#6a4cff'],
      background: { top: '#0c0420', bottom: '#000000' },
      layers: [
        { type: 'kaleido', color: 0, color2: 2, intensity: 1, scale: 1, speed: 0.6, detail: 0.4, react: 'mid', amount: 1.2 }
      ],
      motion: { speed: 0.8, rotate: 0.3, zoom: 0.3, flash: 0.2 }, post: { hue: 0.15, vignette: 0.5 } },
    { name: 'Starfield', mood: 'space travel stars warp',
      palette: ['#ffffff', '#9ad1ff', '#ffcf8a', '#4b2a7a'],
      background: { top: '#020414', bottom: '#000000' },
      layers: [
        { type: 'particles', color: 1, color2: 3, intensity: 0.8, scale: 1.3, speed: 1, detail: 0.7, react: 'treble', amount: 0.8 },
        { type: 'particles', color: 0, color2: 2, intensity: 1.2, scale: 0.7, speed: 2, detail: 0.5, react: 'bass', amount: 1.2 }
      ],
      motion: { speed: 1, rotate: 0.05, zoom: 0.3, flash: 0.2 }, post: { vignette: 0.6 } },
    { name: 'Ember Orb', mood: 'warm fiery glowing sun',
      palette: ['#ff7b00', '#ffd000', '#ff2d55', '#ffffff'],
      background: { top: '#1a0500', bottom: '#000000' },
      layers: [
        { type: 'bars', color: 2, color2: 1, intensity: 0.9, scale: 1.1, speed: 1, detail: 0.6, react: 'mid', amount: 1.2 },
        { type: 'orb', color: 2, color2: 0, intensity: 0.95, scale: 1, speed: 0.6, detail: 0.5, react: 'bass', amount: 1.3 }
      ],
      motion: { speed: 0.9, zoom: 0.3, flash: 0.3 }, post: { vignette: 0.6 } },
    { name: 'Spectrum Halo', mood: 'clean modern spectrum equaliser',
      palette: ['#00f5d4', '#9b5de5', '#f15bb5', '#fee440'],
      background: { top: '#07091c', bottom: '#000000' },
      layers: [
        { type: 'rings', color: 1, color2: 2, intensity: 0.5, scale: 1.6, speed: 0.4, detail: 0.8, react: 'energy', amount: 0.8 },
        { type: 'bars', color: 0, color2: 3, intensity: 1.1, scale: 0.9, speed: 1.2, detail: 0.9, react: 'bass', amount: 1.4 }
      ],
      motion: { speed: 1, rotate: 0.15, zoom: 0.3, flash: 0.25 }, post: { vignette: 0.5 } }
  ];

  // Each theme goes through the same clamping as any graph.
  var NORMALIZED = THEMES.map(function (t) { return graph.normalize(t).graph; });

  // Index n steps from `index`, wrapping both ways; a step that is not a
  // finite number moves nowhere.
  function stepIndex(index, n, count) {
    var step = typeof n === 'number' && isFinite(n) ? Math.trunc(n) : 0;
    return (((index + step) % count) + count) % count;
  }

  function hueOf(hex) { return color.rgbToHsl(color.parse(hex))[0]; }

  function hueDistance(a, b) {
    var d = Math.abs(a - b) % 360;
    return d > 180 ? 360 - d : d;
  }

  // The theme that best matches a graph: by mood words first, else by the hue
  // of its first palette colour, else the first theme.
  function closestTheme(g) {
    if (g.mood) {
      var words = g.mood.toLowerCase().split(/[^a-z]+/).filter(function (w) { return w.length > 2; });
      var best = -1, bestHits = 0;
      THEMES.forEach(function (t, i) {
        var hits = words.filter(function (w) { return t.mood.indexOf(w) >= 0 || t.name.toLowerCase().indexOf(w) >= 0; }).length;
        if (hits > bestHits) { best = i; bestHits = hits; }
      });
      if (best >= 0) return best;
    }
    if (g.palette) {
      var h = hueOf(g.palette[0]), pick = 0, dist = 1e9;
      NORMALIZED.forEach(function (t, i) {
        var d = hueDistance(h, hueOf(t.palette[0]));
        if (d < dist) { dist = d; pick = i; }
      });
      return pick;
    }
    return 0;
  }

  // A drawable stand-in for a graph without drawable layers: the closest
  // theme's layers in the graph's own colours, motion and post.
  function substitute(g) {
    var i = closestTheme(g);
    var s = JSON.parse(JSON.stringify(NORMALIZED[i]));
    s.name = (g.name ? g.name + ' (' : '') + THEMES[i].name + (g.name ? ')' : '');
    if (g.mood) s.mood = g.mood;
    if (g.palette) {
      s.palette = g.palette.slice();
      s.paletteAmount = Math.max(g.paletteAmount, 0.8);
      s.layers.forEach(function (l, k) { l.color = k % s.palette.length; l.color2 = (k + 1) % s.palette.length; });
      s.background = g.background;
    }
    s.motion = g.motion;
    s.post = g.post;
    return { graph: s, theme: THEMES[i].name };
  }

  var api = {
    count: THEMES.length,
    names: THEMES.map(function (t) { return t.name; }),
    graph: function (i) { return NORMALIZED[i]; },
    stepIndex: stepIndex, closestTheme: closestTheme, substitute: substitute
  };
  if (inNode) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).themes = api;
})(this);
