// Graph clamping, verdicts, colours and the schema handed to composers.
const test = require('node:test');
const assert = require('node:assert/strict');
const graph = require('../../visuals/lib/graph.js');
const themes = require('../../visuals/lib/themes.js');
const shaders = require('../../visuals/gl/shaders.js');

const layer = (extra) => Object.assign({ type: 'orb', color: '#ffffff' }, extra);
const text = (g) => JSON.stringify(g);
const themeGraphs = Array.from({ length: themes.count }, (_, i) => themes.graph(i));

test('decide: verdict for each kind of input', () => {
  const heavy = { layers: Array.from({ length: 6 }, () => ({ type: 'nebula', detail: 1 })) };
  const rows = [
    ['not text', 42, 'error'],
    ['bad JSON', '{"layers": [', 'error'],
    ['array', '[]', 'error'],
    ['null', 'null', 'error'],
    ['empty layers', text({ layers: [] }), 'fallback'],
    ['only unknown types', text({ layers: [{ type: 'hologram' }, 'orb', null] }), 'fallback'],
    ['too heavy', text(heavy), 'guard'],
    ['all layers dark', text({ background: { top: '#000000', bottom: '#000000' }, layers: [layer({ color: '#000000', color2: '#010101' })] }), 'guard'],
    ['documented example', text(graph.describe().example), 'ok'],
    ['unknown type beside a known one', text({ layers: [{ type: 'hologram' }, layer()] }), 'ok']
  ];
  for (const [name, input, status] of rows) {
    const d = graph.decide(input);
    // The host retries on these words, so only guard and fallback may use them.
    assert.deepEqual([d.status, d.message.includes('guard'), d.message.includes('fallback')],
      [status, status === 'guard', status === 'fallback'], name + ': ' + d.message);
    if (status === 'ok') assert.equal(d.message, 'ok');
  }
});

test('normalize: clamps numbers, drops unknown members, keeps only valid colours', () => {
  const { graph: g } = graph.normalize({
    name: '  Night  ', extra: 1,
    palette: ['#ABC', 'nonsense', 'rgb(255, 0, 0)', 'hsl(120, 100%, 50%)', '#000001', '#000002', '#000003', '#000004'],
    paletteAmount: 7,
    layers: [{ type: 'rings', intensity: 9, scale: -3, speed: 'fast', detail: NaN, react: 'vibes', blend: 'screen', color: 9.6, color2: 'blue?', bogus: true }],
    motion: { speed: -1, rotate: 5, tempoLock: 'yes', warp: 3 },
    post: { bloom: 2, hue: 0.4, sparkle: 1 }
  });
  const l = g.layers[0];
  assert.deepEqual([g.name, g.extra, g.paletteAmount], ['Night', undefined, 1]);
  assert.deepEqual(g.palette, ['#aabbcc', '#ff0000', '#00ff00', '#000001', '#000002', '#000003']);
  assert.deepEqual([l.intensity, l.scale, l.speed, l.detail, l.react, l.blend, l.color, l.color2, l.bogus], [2, 0.25, 1, 0.5, 'bass', 'screen', 5, undefined, undefined]);
  assert.deepEqual([g.motion.speed, g.motion.rotate, g.motion.tempoLock, g.motion.warp], [0, 1, true, undefined]);
  assert.deepEqual([g.post.bloom, g.post.hue, g.post.sparkle], [1, 0.4, undefined]);
});

test('normalize: at most six layers, and the result is stable when applied again', () => {
  const many = { layers: Array.from({ length: 9 }, (_, i) => ({ type: 'rings', x: i / 10 })) };
  assert.equal(graph.normalize(many).graph.layers.length, graph.MAX_LAYERS);
  for (const input of [graph.describe().example, many, ...themeGraphs]) {
    const once = graph.normalize(JSON.parse(text(input))).graph;
    assert.deepEqual(graph.normalize(JSON.parse(text(once))).graph, once);
  }
});

test('resolveColors: palette indices and paletteAmount', () => {
  const resolved = (paletteAmount) => graph.resolveColors(graph.normalize({ palette: ['#ff0000', '#00ff00'], paletteAmount, layers: [{ type: 'orb', color: 1, color2: '#0000ff' }] }).graph).layers[0];
  assert.deepEqual(resolved(0), [[0, 1, 0], [0, 0, 1]]);
  // An explicit colour leans all the way to the palette entry of its slot.
  assert.deepEqual(resolved(1), [[0, 1, 0], [0, 1, 0]]);
});

// A validator for the parts of JSON Schema the graph schema uses (a comparison
// with an absent bound is false, so absent bounds never fail).
function validate(schema, value, path = '$') {
  if (schema.oneOf) return schema.oneOf.filter((s) => validate(s, value, path).length === 0).length === 1 ? [] : [path + ' matches no single alternative'];
  const errors = [];
  const check = (ok, what) => { if (!ok) errors.push(path + ' ' + what); };
  const type = Array.isArray(value) ? 'array' : Number.isInteger(value) && schema.type === 'integer' ? 'integer' : typeof value;
  check(schema.const === undefined || value === schema.const, 'const');
  check(!schema.enum || schema.enum.includes(value), 'enum');
  check(!schema.type || schema.type === type || (schema.type === 'number' && typeof value === 'number'), 'type ' + type);
  if (typeof value === 'number') check(!(value < schema.minimum) && !(value > schema.maximum), 'range');
  if (typeof value === 'string') check((!schema.pattern || new RegExp(schema.pattern).test(value)) && !(value.length > schema.maxLength), 'pattern or length');
  if (Array.isArray(value)) {
    check(!(value.length > schema.maxItems) && !(value.length < schema.minItems), 'items');
    if (schema.items) value.forEach((v, i) => errors.push(...validate(schema.items, v, path + '[' + i + ']')));
  }
  if (type === 'object' && value !== null) {
    for (const r of schema.required || []) check(r in value, 'requires ' + r);
    for (const [k, s] of Object.entries(schema.properties || {})) if (k in value) errors.push(...validate(s, value[k], path + '.' + k));
  }
  return errors;
}

test('schema: every normalized graph fits it, and out-of-range values do not', () => {
  const schema = graph.schema();
  const graphs = [graph.normalize(graph.describe().example).graph, ...themeGraphs];
  for (const g of graphs) assert.deepEqual(validate(schema, g), [], g.name);
  const bad = JSON.parse(text(graphs[0]));
  Object.assign(bad.layers[0], { intensity: 3, type: 'hologram' });
  bad.post.bloom = -1;
  assert.equal(validate(schema, bad).length, 3);
});

test('every layer type has a shader, a cost and a description; the cost table says what cost() and decide() do', () => {
  const d = graph.describe();
  const types = Object.keys(graph.LAYER_TYPES);
  assert.deepEqual(shaders.LAYERS.slice().sort(), types.slice().sort());
  assert.deepEqual([Object.keys(d.layerTypes), Object.keys(d.costs)], [types, types]);
  for (const t of types) {
    assert.match(shaders.sceneFragment([t]), new RegExp('vec4 L_' + t + '\\('));
    assert.ok(d.limits.includes(t + ' ') || d.limits.includes(t + '/'), t + ' missing from the prose');
  }
  assert.ok(d.limits.includes('within ' + d.costLimit));
  // The scene text for a stack calls each layer with its own uniform slot.
  const src = shaders.sceneFragment(['orb', 'orb', 'bars']);
  assert.equal(src.split('vec4 L_orb(').length - 1, 1);
  assert.match(src, /L_bars\(uv, u_lp0\[2\]/);

  const fromTable = (g) => g.layers.reduce((s, l) => s + d.costs[l.type] * (d.costDetail.base + d.costDetail.perDetail * l.detail), 0);
  // Every other stack from the heaviest types, so that some pass the limit and some do not.
  const heaviest = types.slice().sort((a, b) => d.costs[b] - d.costs[a]).slice(0, 4);
  let heavyCount = 0;
  for (let i = 0; i < 60; i++) {
    const pool = i % 2 ? types : heaviest;
    const layers = Array.from({ length: 1 + (i % 6) }, (_, j) => ({ type: pool[(i + j) % pool.length], detail: ((i * 13 + j * 29) % 101) / 100, color: '#ffffff' }));
    const g = graph.normalize({ layers }).graph;
    assert.ok(Math.abs(fromTable(g) - graph.cost(g)) < 1e-9);
    // The table alone predicts whether the page refuses a graph as too heavy.
    const heavy = graph.decide(JSON.stringify(g)).message.startsWith('guard: too heavy');
    assert.equal(heavy, fromTable(g) > d.costLimit, JSON.stringify(layers));
    heavyCount += heavy;
  }
  assert.ok(heavyCount >= 2 && heavyCount <= 58, 'heavy stacks: ' + heavyCount);
});
