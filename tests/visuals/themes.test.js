// Built-in themes, stepping through them and the fallback stand-in.
const test = require('node:test');
const assert = require('node:assert/strict');
const themes = require('../../visuals/lib/themes.js');
const graph = require('../../visuals/lib/graph.js');

test('at least eight distinct themes, each a graph the page accepts as is', () => {
  assert.ok(themes.count >= 8);
  assert.equal(new Set(themes.names).size, themes.count);
  const looks = new Set();
  for (let i = 0; i < themes.count; i++) {
    const g = themes.graph(i);
    assert.equal(graph.decide(JSON.stringify(g)).status, 'ok', g.name);
    assert.ok(graph.cost(g) <= graph.COST_LIMIT / 2, g.name + ' should leave room for effects');
    looks.add(g.layers.map((l) => l.type).join('+'));
  }
  assert.equal(looks.size, themes.count, 'every theme has its own layer stack');
});

test('stepIndex wraps both ways and ignores unusable steps', () => {
  const n = themes.count;
  const rows = [
    [0, -1, n - 1], [n - 1, 1, 0], [3, n * 2 + 1, 4], [2, -3 * n, 2], [5, NaN, 5], [5, 2.9, 7 % n], [5, -1.5, 4]
  ];
  for (const [from, step, to] of rows) assert.equal(themes.stepIndex(from, step, n), to, `${from} + ${step}`);
});

test('substitute: picks a theme by mood, else by palette hue, in the graph\'s colours', () => {
  const substitute = (g) => themes.substitute(graph.normalize(g).graph);
  assert.equal(substitute({ mood: 'warm glowing evening', layers: [] }).theme, 'Ember Orb');
  assert.equal(substitute({}).theme, themes.names[0]);
  const sub = substitute({ palette: ['#ff3cd2', '#202020'], layers: [{ type: 'hologram' }] });
  assert.deepEqual([sub.theme, sub.graph.palette, graph.decide(JSON.stringify(sub.graph)).status], ['Synthwave', ['#ff3cd2', '#202020'], 'ok']);
  assert.ok(sub.graph.paletteAmount >= 0.8);
  // The built-in theme itself is not changed by substituting.
  assert.notDeepEqual(themes.graph(2).palette, sub.graph.palette);
});
