// The renderer against a stand-in WebGL2 context that only counts programs.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const vm = require('node:vm');

function loadRenderer() {
  const context = { Vesmer: { shaders: require('../../visuals/gl/shaders.js'), pacing: require('../../visuals/lib/pacing.js') }, Uint8Array, Float32Array, Map };
  vm.createContext(context);
  vm.runInContext(fs.readFileSync(require.resolve('../../visuals/gl/renderer.js'), 'utf8'), context);
  return context.Vesmer.renderer;
}

function countingGl() {
  const programs = { live: new Set(), compiled: 0 };
  const gl = new Proxy({}, {
    get(_, name) {
      if (name === 'createProgram') return () => { const p = {}; programs.live.add(p); programs.compiled++; return p; };
      if (name === 'deleteProgram') return (p) => assert.ok(programs.live.delete(p), 'a program deleted twice');
      if (/^get(Shader|Program)Parameter$|^getParameter$/.test(name)) return () => 1;
      if (name === 'getExtension') return () => null;
      return /^[A-Z0-9_]+$/.test(name) ? 0 : () => ({});
    }
  });
  return { gl, programs };
}

test('scene programs: endless new stacks keep a bounded set, recent ones are reused', () => {
  const { gl, programs } = countingGl();
  const r = loadRenderer().create({ width: 64, height: 36, getContext: () => gl });
  const fixed = programs.live.size;
  const stack = (i) => ['orb', 'rings', 'bars', 'grid', 'waves'].filter((_, bit) => (i + 1) & (1 << bit));
  for (let i = 0; i < 30; i++) r.setScene(stack(i));
  assert.equal(programs.live.size, fixed + 12);
  const compiled = programs.compiled;
  r.setScene(stack(18));  // the oldest still kept
  r.setScene(stack(29));  // the current one
  assert.equal(programs.compiled, compiled);
  r.setScene(stack(17));  // long gone: compiled again, and the bound holds
  assert.deepEqual([programs.compiled, programs.live.size], [compiled + 1, fixed + 12]);
});
