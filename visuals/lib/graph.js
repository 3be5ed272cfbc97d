// The graph: the JSON scene description the page renders. One table of members
// drives clamping, the scene description handed to composers and the JSON
// Schema, so the three cannot drift apart. Pure logic; no DOM, no WebGL.
(function (root) {
  'use strict';
  var color = typeof module !== 'undefined' && module.exports ? require('./color.js') : root.Vesmer.color;

  var MAX_LAYERS = 6;
  var MAX_PALETTE = 6;
  var COST_LIMIT = 12;
  var BLANK_LUMINANCE = 0.015;
  var DEFAULT_PALETTE = ['#7b5cff', '#23d5e8', '#ff4fa3', '#ffc857', '#3cf2a0', '#ffffff'];
  var DEFAULT_BACKGROUND = { top: '#0a0f2a', bottom: '#000000' };

  // Layer types, their render cost (relative, per pixel) and meaning.
  var LAYER_TYPES = {
    nebula: { cost: 3, about: 'domain-warped clouds of colour; detail adds octaves of texture' },
    aurora: { cost: 1.5, about: 'curtains of light waving across the upper half; detail adds curtains' },
    rings: { cost: 0.6, about: 'concentric rings flowing outward from (x, y); detail makes them thinner' },
    tunnel: { cost: 1, about: 'a tunnel of lines rushing toward the viewer, centred on (x, y); detail adds segments' },
    grid: { cost: 1, about: 'a retro perspective floor grid with a striped sun above the horizon at y' },
    waves: { cost: 1.5, about: 'glowing oscilloscope lines across the screen; detail adds lines' },
    particles: { cost: 1.5, about: 'drifting stars or bokeh sparks; detail adds depth layers' },
    kaleido: { cost: 2.5, about: 'a kaleidoscope of folded patterns around (x, y); detail adds mirror segments' },
    orb: { cost: 0.8, about: 'a glowing, wobbling sphere at (x, y) that swells with its audio drive' },
    bars: { cost: 0.8, about: 'radial spectrum bars around a circle at (x, y); detail adds bars' }
  };

  var CHANNELS = ['bass', 'mid', 'treble', 'level', 'beat', 'energy', 'flux', 'none'];
  var BLENDS = ['add', 'screen', 'normal'];
  var EFFECTS = ['bloom', 'grayscale', 'pixelate', 'dots', 'scanlines', 'ascii', 'hue', 'chroma', 'radialBlur'];

  function num(min, max, def, about) { return { kind: 'number', min: min, max: max, def: def, about: about }; }
  function pick(values, def, about) { return { kind: 'enum', values: values, def: def, about: about }; }
  function paint(def, about) { return { kind: 'color', def: def, about: about }; }

  var LAYER_FIELDS = {
    color: paint(null, 'main colour: "#rrggbb" or an index into palette (default: the layer\'s position)'),
    color2: paint(null, 'second colour for gradients and highlights (default: the next palette entry)'),
    intensity: num(0, 2, 1, 'brightness of the layer'),
    scale: num(0.25, 4, 1, 'size of its features'),
    speed: num(-3, 3, 1, 'own motion rate; negative runs backwards'),
    detail: num(0, 1, 0.5, 'complexity (octaves, line or segment count)'),
    x: num(-1, 1, 0, 'horizontal centre or offset, in screen heights'),
    y: num(-1, 1, 0, 'vertical centre or offset, in screen heights'),
    react: pick(CHANNELS, 'bass', 'audio feature that drives the layer'),
    amount: num(0, 2, 1, 'how strongly that feature drives it'),
    blend: pick(BLENDS, 'add', 'how the layer combines with what is below it')
  };

  var MOTION_FIELDS = {
    speed: num(0, 3, 1, 'global time scale'),
    rotate: num(-1, 1, 0, 'slow rotation of the whole scene, turns per minute / 10'),
    zoom: num(0, 1, 0.3, 'zoom pulse on each beat'),
    drift: num(0, 1, 0.2, 'slow camera drift'),
    flash: num(0, 1, 0.3, 'brightness flash on each beat'),
    tempoLock: { kind: 'boolean', def: true, about: 'lock pulses to the detected tempo' }
  };

  var POST_FIELDS = {};
  EFFECTS.forEach(function (name) { POST_FIELDS[name] = num(0, 1, 0, 'post effect amount (hue: hue-cycle rate)'); });
  POST_FIELDS.vignette = num(0, 1, 0.4, 'darkening of the corners');
  POST_FIELDS.grain = num(0, 1, 0, 'film grain');

  function clampNumber(value, field) {
    if (typeof value !== 'number' || !isFinite(value)) return field.def;
    return value < field.min ? field.min : value > field.max ? field.max : value;
  }

  // Fills every member of a section from its table; unknown members are dropped.
  function normalizeSection(input, fields) {
    var src = input && typeof input === 'object' && !Array.isArray(input) ? input : {};
    var out = {};
    Object.keys(fields).forEach(function (key) {
      var f = fields[key], v = src[key];
      if (f.kind === 'number') out[key] = clampNumber(v, f);
      else if (f.kind === 'boolean') out[key] = typeof v === 'boolean' ? v : f.def;
      else if (f.kind === 'enum') out[key] = f.values.indexOf(v) >= 0 ? v : f.def;
      else if (f.kind === 'color') {
        if (typeof v === 'number' && isFinite(v)) out[key] = Math.max(0, Math.min(MAX_PALETTE - 1, Math.round(v)));
        else {
          var c = color.parse(v);
          if (c) out[key] = color.toHex(c);
          else if (f.def !== null) out[key] = f.def;
        }
      }
    });
    return out;
  }

  function isObject(v) { return v !== null && typeof v === 'object' && !Array.isArray(v); }

  // Clamps a parsed graph into the form the renderer draws. `dropped` counts
  // layers whose type is unknown, so the caller can tell "nothing drawable".
  function normalize(input) {
    var g = {};
    if (typeof input.name === 'string' && input.name.trim()) g.name = input.name.trim().slice(0, 60);
    if (typeof input.mood === 'string' && input.mood.trim()) g.mood = input.mood.trim().slice(0, 60);
    var bg = isObject(input.background) ? input.background : {};
    var top = color.parse(bg.top), bottom = color.parse(bg.bottom);
    g.background = {
      top: top ? color.toHex(top) : DEFAULT_BACKGROUND.top,
      bottom: bottom ? color.toHex(bottom) : DEFAULT_BACKGROUND.bottom
    };
    if (Array.isArray(input.palette)) {
      var pal = [];
      input.palette.forEach(function (p) {
        var c = color.parse(p);
        if (c && pal.length < MAX_PALETTE) pal.push(color.toHex(c));
      });
      if (pal.length) g.palette = pal;
    }
    g.paletteAmount = clampNumber(input.paletteAmount, num(0, 1, g.palette ? 0.5 : 0));
    g.layers = [];
    var given = Array.isArray(input.layers) ? input.layers : [];
    var dropped = 0;
    given.forEach(function (layer) {
      if (!isObject(layer) || !Object.prototype.hasOwnProperty.call(LAYER_TYPES, layer.type)) { dropped++; return; }
      if (g.layers.length >= MAX_LAYERS) return;
      var l = { type: layer.type };
      var fields = normalizeSection(layer, LAYER_FIELDS);
      Object.keys(fields).forEach(function (k) { l[k] = fields[k]; });
      g.layers.push(l);
    });
    g.motion = normalizeSection(input.motion, MOTION_FIELDS);
    g.post = normalizeSection(input.post, POST_FIELDS);
    return { graph: g, dropped: dropped, given: given.length };
  }

  function paletteOf(g) { return g.palette && g.palette.length ? g.palette : DEFAULT_PALETTE; }

  function colorRef(ref, g, fallbackIndex) {
    var pal = paletteOf(g);
    if (typeof ref === 'number') return color.parse(pal[ref % pal.length]);
    if (typeof ref === 'string') return color.parse(ref);
    return color.parse(pal[fallbackIndex % pal.length]);
  }

  // The colours the renderer uses: explicit layer colours lean toward the
  // graph's palette by paletteAmount; palette indices use it directly.
  function resolveColors(g) {
    var pal = paletteOf(g), amount = g.palette ? g.paletteAmount : 0;
    function lean(c, i) { return amount > 0 ? color.mix(c, color.parse(pal[i % pal.length]), amount) : c; }
    var out = { top: color.parse(g.background.top), bottom: color.parse(g.background.bottom), layers: [] };
    if (amount > 0) {
      // Backgrounds take a dark shade of the palette so covers tint the whole scene.
      var hsl = color.rgbToHsl(color.parse(pal[pal.length - 1]));
      var shade = color.hslToRgb(hsl[0], Math.min(hsl[1], 0.8), Math.min(hsl[2], 0.12));
      out.top = color.mix(out.top, shade, amount);
    }
    g.layers.forEach(function (l, i) {
      var c0 = colorRef(l.color, g, i), c1 = colorRef(l.color2, g, i + 1);
      out.layers.push([typeof l.color === 'string' ? lean(c0, i) : c0, typeof l.color2 === 'string' ? lean(c1, i + 1) : c1]);
    });
    return out;
  }

  // A layer's cost is its type's cost times (COST_BASE + COST_PER_DETAIL * detail).
  var COST_BASE = 0.6;
  var COST_PER_DETAIL = 0.8;

  function cost(g) {
    return g.layers.reduce(function (sum, l) { return sum + LAYER_TYPES[l.type].cost * (COST_BASE + COST_PER_DETAIL * l.detail); }, 0);
  }

  function brightest(g) {
    var colors = resolveColors(g);
    var best = Math.max(color.luminance(colors.top), color.luminance(colors.bottom));
    g.layers.forEach(function (l, i) {
      var pair = colors.layers[i];
      best = Math.max(best, l.intensity * Math.max(color.luminance(pair[0]), color.luminance(pair[1])));
    });
    return best;
  }

  // Reads graph text and decides what the page does with it:
  //   ok       – draw `graph` (normalized);
  //   fallback – nothing drawable, show a substitute built from `graph`;
  //   guard    – refuse, keep the current scene;
  //   error    – not a graph at all.
  function decide(text) {
    if (typeof text !== 'string') return { status: 'error', message: 'graph must be JSON text' };
    var parsed;
    try { parsed = JSON.parse(text); } catch (e) { return { status: 'error', message: 'graph is not valid JSON' }; }
    if (!isObject(parsed)) return { status: 'error', message: 'graph must be a JSON object' };
    var n = normalize(parsed), g = n.graph;
    if (!g.layers.length) {
      var why = n.given ? 'no layer of a known type' : 'no layers';
      return { status: 'fallback', graph: g, message: 'fallback: ' + why };
    }
    var c = cost(g);
    if (c > COST_LIMIT) {
      return { status: 'guard', graph: g, message: 'guard: too heavy to render smoothly (cost ' + c.toFixed(1) + ' > ' + COST_LIMIT + '); kept the current scene' };
    }
    if (brightest(g) < BLANK_LUMINANCE) {
      return { status: 'guard', graph: g, message: 'guard: the scene would be blank; kept the current scene' };
    }
    return { status: 'ok', graph: g, message: 'ok' };
  }

  function fieldSchema(f) {
    if (f.kind === 'number') return { type: 'number', minimum: f.min, maximum: f.max, default: f.def, description: f.about };
    if (f.kind === 'boolean') return { type: 'boolean', default: f.def, description: f.about };
    if (f.kind === 'enum') return { enum: f.values, default: f.def, description: f.about };
    return { oneOf: [{ type: 'string', pattern: '^#[0-9a-fA-F]{6}$' }, { type: 'integer', minimum: 0, maximum: MAX_PALETTE - 1 }], description: f.about };
  }

  function sectionSchema(fields, extra) {
    var props = extra || {};
    Object.keys(fields).forEach(function (k) { props[k] = fieldSchema(fields[k]); });
    return { type: 'object', properties: props };
  }

  function schema() {
    var hex = { type: 'string', pattern: '^#[0-9a-fA-F]{6}$' };
    var layer = sectionSchema(LAYER_FIELDS, { type: { enum: Object.keys(LAYER_TYPES) } });
    layer.required = ['type'];
    return {
      $schema: 'http://json-schema.org/draft-07/schema#',
      title: 'Vesmer scene graph',
      type: 'object',
      required: ['layers'],
      properties: {
        version: { const: 1 },
        name: { type: 'string', maxLength: 60 },
        mood: { type: 'string', maxLength: 60 },
        background: { type: 'object', properties: { top: hex, bottom: hex } },
        palette: { type: 'array', items: hex, minItems: 1, maxItems: MAX_PALETTE },
        paletteAmount: { type: 'number', minimum: 0, maximum: 1 },
        layers: { type: 'array', items: layer, minItems: 1, maxItems: MAX_LAYERS },
        motion: sectionSchema(MOTION_FIELDS),
        post: sectionSchema(POST_FIELDS)
      }
    };
  }

  function rangeText(fields) {
    var out = {};
    Object.keys(fields).forEach(function (k) {
      var f = fields[k];
      if (f.kind === 'number') out[k] = f.min + '..' + f.max + ' (default ' + f.def + '): ' + f.about;
      else if (f.kind === 'enum') out[k] = f.values.join('|') + ' (default ' + f.def + '): ' + f.about;
      else if (f.kind === 'boolean') out[k] = 'true|false (default ' + f.def + '): ' + f.about;
      else out[k] = f.about;
    });
    return out;
  }

  // The compact description a composer reads before writing a graph.
  // The cost note in words, from the same table: types of equal cost share a
  // group, heaviest first ("nebula 3, kaleido 2.5, aurora/waves/particles 1.5, …").
  function costProse() {
    var groups = [];
    Object.keys(LAYER_TYPES).forEach(function (k) {
      var c = LAYER_TYPES[k].cost, group = groups.filter(function (g) { return g.cost === c; })[0];
      if (group) group.types.push(k);
      else groups.push({ cost: c, types: [k] });
    });
    groups.sort(function (a, b) { return b.cost - a.cost; });
    return groups.map(function (g) { return g.types.join('/') + ' ' + g.cost; }).join(', ');
  }

  function describe() {
    var types = {}, costs = {};
    Object.keys(LAYER_TYPES).forEach(function (k) { types[k] = LAYER_TYPES[k].about; costs[k] = LAYER_TYPES[k].cost; });
    return {
      format: 'A scene is a stack of up to ' + MAX_LAYERS + ' layers drawn bottom to top over a vertical background gradient, then motion and post effects. Colours are "#rrggbb". Out-of-range numbers are clamped; unknown members are ignored.',
      top: {
        name: 'short title', mood: 'free words, e.g. "calm night"',
        background: '{top, bottom}: gradient colours, keep them dark',
        palette: '1..' + MAX_PALETTE + ' colours the scene leans toward',
        paletteAmount: '0..1: how far layer colours lean toward the palette',
        layers: 'array of layer objects, bottom first',
        motion: 'object, see motion', post: 'object, see post'
      },
      layerTypes: types,
      layer: rangeText(LAYER_FIELDS),
      motion: rangeText(MOTION_FIELDS),
      post: rangeText(POST_FIELDS),
      limits: 'Total layer cost must stay within ' + COST_LIMIT + ' (' + costProse() + ', each times ' + COST_BASE + ' + ' + COST_PER_DETAIL + ' * detail); heavier graphs and graphs that would be blank are refused.',
      // The same rule for programs: the sum over layers of
      // costs[type] * (costDetail.base + costDetail.perDetail * detail) must not exceed costLimit.
      costs: costs,
      costDetail: { base: COST_BASE, perDetail: COST_PER_DETAIL },
      costLimit: COST_LIMIT,
      example: {
        name: 'Midnight tide', palette: ['#1b3a8a', '#36d6e7', '#f5f1c8'], paletteAmount: 0.6,
        background: { top: '#050a24', bottom: '#000000' },
        layers: [
          { type: 'nebula', color: 0, color2: 1, intensity: 0.7, scale: 1.2, speed: 0.4, detail: 0.5, react: 'energy' },
          { type: 'waves', color: 1, color2: 2, intensity: 1.1, detail: 0.6, react: 'bass', amount: 1.4 }
        ],
        motion: { speed: 0.8, zoom: 0.3, flash: 0.2 },
        post: { bloom: 0.5, vignette: 0.5 }
      }
    };
  }

  var api = {
    LAYER_TYPES: LAYER_TYPES, EFFECTS: EFFECTS, CHANNELS: CHANNELS, BLENDS: BLENDS,
    MAX_LAYERS: MAX_LAYERS, COST_LIMIT: COST_LIMIT, DEFAULT_PALETTE: DEFAULT_PALETTE,
    normalize: normalize, decide: decide, resolveColors: resolveColors, cost: cost,
    schema: schema, describe: describe
  };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).graph = api;
})(this);
