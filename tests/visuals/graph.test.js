// Graph clamping, verdicts, colours and the schema handed to composers.
const test = require('node:test');
const assert = require('node:assert/strict');
const graph = require('../../visuals/lib/graph.js');
const themes = require('../../visuals/lib/themes.js');
const shaders = require('../../visuals/gl/shaders.js');

const layer = (extra) => Object.assign({ type: 'orb', color: '#ffffff' }, extra);
const text = (g) => JSON.stringify(g);

test('decide: verdict for each kind of input', () => {
  const heavy = { layers: Array.from({ length: 6 }, () => ({ type: 'nebula', detail: 1 })) };
  const rows = [
    ['not text', 42, 'error'],
    ['bad JSON', '{"layers": [', 'error'],
    ['array', '[]', 'error'],
    ['null', 'null', 'error'],
    ['no layers member', text({ name: 'x' }), 'fallback'],
    ['empty layers', text({ layers: [] }), 'fallback'],
    ['only unknown types', text({ layers: [{ type: 'hologram' }, 'orb', null] }), 'fallback'],
    ['too heavy', text(heavy), 'guard'],
    ['all layers dark', text({ background: { top: '#000000', bottom: '#000000' }, layers: [layer({ color: '#000000', color2: '#010101' })] }), 'guard'],
    ['zero intensity', text({ background: { top: '#000', bottom: '#000' }, layers: [layer({ intensity: 0 })] }), 'guard'],
    ['documented example', text(graph.describe().example), 'ok'],
    ['unknown type beside a known one', text({ layers: [{ type: 'hologram' }, layer()] }), 'ok']
  ];
  for (const [name, input, status] of rows) {
    const d = graph.decide(input);
    assert.equal(d.status, status, name);
    // The host retries on these words, so only guard and fallback may use them.
    assert.equal(d.message.includes('guard'), status === 'guard', name + ': ' + d.message);
    assert.equal(d.message.includes('fallback'), status === 'fallback', name + ': ' + d.message);
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
  assert.equal(g.name, 'Night');
  assert.equal(g.extra, undefined);
  assert.deepEqual(g.palette, ['#aabbcc', '#ff0000', '#00ff00', '#000001', '#000002', '#000003']);
  assert.equal(g.paletteAmount, 1);
  const l = g.layers[0];
  assert.deepEqual([l.intensity, l.scale, l.speed, l.detail], [2, 0.25, 1, 0.5]);
  assert.equal(l.react, 'bass');
  assert.equal(l.blend, 'screen');
  assert.equal(l.color, 5);
  assert.equal(l.color2, undefined);
  assert.equal(l.bogus, undefined);
  assert.deepEqual([g.motion.speed, g.motion.rotate, g.motion.tempoLock, g.motion.warp], [0, 1, true, undefined]);
  assert.equal(g.post.bloom, 1);
  assert.equal(g.post.hue, 0.4);
  assert.equal(g.post.sparkle, undefined);
});

test('normalize: at most six layers, and the result is stable when applied again', () => {
  const many = { layers: Array.from({ length: 9 }, (_, i) => ({ type: 'rings', x: i / 10 })) };
  assert.equal(graph.normalize(many).graph.layers.length, graph.MAX_LAYERS);
  const inputs = [graph.describe().example, many];
  for (let i = 0; i < themes.count; i++) inputs.push(themes.graph(i));
  for (const input of inputs) {
    const once = graph.normalize(JSON.parse(text(input))).graph;
    const twice = graph.normalize(JSON.parse(text(once))).graph;
    assert.deepEqual(twice, once);
  }
});

test('resolveColors: palette indices and paletteAmount', () => {
  const base = { palette: ['#ff0000', '#00ff00'], layers: [{ type: 'orb', color: 1, color2: '#0000ff' }] };
  const none = graph.resolveColors(graph.normalize(Object.assign({}, base, { paletteAmount: 0 })).graph);
  assert.deepEqual(none.layers[0], [[0, 1, 0], [0, 0, 1]]);
  const full = graph.resolveColors(graph.normalize(Object.assign({}, base, { paletteAmount: 1 })).graph);
  // An explicit colour leans all the way to the palette entry of its slot.
  assert.deepEqual(full.layers[0][1], [0, 1, 0]);
  assert.deepEqual(full.layers[0][0], [0, 1, 0]);
});

// A validator for the parts of JSON Schema the graph schema uses.
function validate(schema, value, path = '$') {
  const errors = [];
  if (schema.oneOf) {
    const ok = schema.oneOf.filter((s) => validate(s, value, path).length === 0).length === 1;
    if (!ok) errors.push(path + ' matches no single alternative');
    return errors;
  }
  if (schema.const !== undefined && value !== schema.const) errors.push(path + ' const');
  if (schema.enum && !schema.enum.includes(value)) errors.push(path + ' enum');
  const type = Array.isArray(value) ? 'array' : Number.isInteger(value) && schema.type === 'integer' ? 'integer' : typeof value;
  if (schema.type && schema.type !== type && !(schema.type === 'number' && typeof value === 'number')) errors.push(path + ' type ' + type);
  if (typeof value === 'number') {
    if (schema.minimum !== undefined && value < schema.minimum) errors.push(path + ' minimum');
    if (schema.maximum !== undefined && value > schema.maximum) errors.push(path + ' maximum');
  }
  if (typeof value === 'string') {
    if (schema.pattern && !new RegExp(schema.pattern).test(value)) errors.push(path + ' pattern');
    if (schema.maxLength !== undefined && value.length > schema.maxLength) errors.push(path + ' maxLength');
  }
  if (Array.isArray(value)) {
    if (schema.maxItems !== undefined && value.length > schema.maxItems) errors.push(path + ' maxItems');
    if (schema.minItems !== undefined && value.length < schema.minItems) errors.push(path + ' minItems');
    if (schema.items) value.forEach((v, i) => errors.push(...validate(schema.items, v, path + '[' + i + ']')));
  }
  if (type === 'object' && value !== null) {
    for (const r of schema.required || []) if (!(r in value)) errors.push(path + ' requires ' + r);
    for (const [k, s] of Object.entries(schema.properties || {})) if (k in value) errors.push(...validate(s, value[k], path + '.' + k));
  }
  return errors;
}

test('schema: every normalized graph fits it, and out-of-range values do not', () => {
  const schema = graph.schema();
  const graphs = [graph.normalize(graph.describe().example).graph];
  for (let i = 0; i < themes.count; i++) graphs.push(themes.graph(i));
  for (const g of graphs) assert.deepEqual(validate(schema, g), [], g.name);
  const bad = JSON.parse(text(graphs[0]));
  bad.layers[0].intensity = 3;
  bad.layers[0].type = 'hologram';
  bad.post.bloom = -1;
  assert.equal(validate(schema, bad).length, 3);
});

test('every layer type has a shader, a cost and a description', () => {
  const types = Object.keys(graph.LAYER_TYPES);
  assert.deepEqual(shaders.LAYERS.slice().sort(), types.slice().sort());
  const described = graph.describe();
  assert.deepEqual(Object.keys(described.layerTypes), types);
  for (const t of types) {
    assert.match(shaders.sceneFragment([t]), new RegExp('vec4 L_' + t + '\\('));
  }
  // The scene text for a stack calls each layer with its own uniform slot.
  const src = shaders.sceneFragment(['orb', 'orb', 'bars']);
  assert.equal(src.split('vec4 L_orb(').length - 1, 1);
  assert.match(src, /L_bars\(uv, u_lp0\[2\]/);
});

test('describe: the machine-readable cost table says what cost() and decide() do', () => {
  const d = graph.describe();
  assert.deepEqual(Object.keys(d.costs), Object.keys(graph.LAYER_TYPES));
  for (const t of Object.keys(d.costs)) assert.ok(d.limits.includes(t + ' ') || d.limits.includes(t + '/'), t + ' missing from the prose');
  assert.ok(d.limits.includes('within ' + d.costLimit));
  const fromTable = (g) => g.layers.reduce((s, l) => s + d.costs[l.type] * (d.costDetail.base + d.costDetail.perDetail * l.detail), 0);
  const types = Object.keys(d.costs);
  let heavyCount = 0;
  for (let i = 0; i < 60; i++) {
    // Heavy types first, so that some stacks pass the limit and some do not.
    const heaviest = types.slice().sort((a, b) => d.costs[b] - d.costs[a]);
    const pool = i % 2 ? types : heaviest.slice(0, 4);
    const layers = Array.from({ length: 1 + (i % 6) }, (_, j) => ({ type: pool[(i + j) % pool.length], detail: ((i * 13 + j * 29) % 101) / 100, color: '#ffffff' }));
    const g = graph.normalize({ layers }).graph;
    assert.ok(Math.abs(fromTable(g) - graph.cost(g)) < 1e-9);
    // The table alone predicts whether the page refuses a graph as too heavy.
    const heavy = graph.decide(JSON.stringify(g)).message.startsWith('guard: too heavy');
    assert.equal(heavy, fromTable(g) > d.costLimit, JSON.stringify(layers));
    if (heavy) heavyCount++;
  }
  assert.ok(heavyCount >= 2 && heavyCount <= 58, 'heavy stacks: ' + heavyCount);
});
