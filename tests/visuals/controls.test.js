// The host's settings calls: effects JSON, look, render size, lyric text.
const test = require('node:test');
const assert = require('node:assert/strict');
const controls = require('../../visuals/lib/controls.js');

test('parseFx: clamps known effects, ignores the rest, rejects non-objects', () => {
  const current = Object.assign(controls.noEffects(), { bloom: 0.4, hue: 0.2 });
  const all = JSON.stringify({ bloom: 1, grayscale: 0, pixelate: 0.5, dots: 2, scanlines: -1, ascii: 0, hue: 0.3, chroma: 0, radialBlur: 1, glitter: 1 });
  assert.deepEqual(controls.parseFx(all, current), { bloom: 1, grayscale: 0, pixelate: 0.5, dots: 1, scanlines: 0, ascii: 0, hue: 0.3, chroma: 0, radialBlur: 1 });
  // Missing or non-numeric values keep what the page had.
  assert.deepEqual(controls.parseFx('{"bloom":"high","chroma":0.25}', current), Object.assign({}, current, { chroma: 0.25 }));
  for (const bad of ['', 'nope', '[1,2]', 'null', '7', undefined]) assert.equal(controls.parseFx(bad, current), null, String(bad));
});

test('look: clamps to 0..3, unusable values become 1', () => {
  assert.deepEqual(controls.look(2, 0.5, 9, -1), { reactivity: 2, speed: 0.5, exposure: 3, grain: 0 });
  assert.deepEqual(controls.look(NaN, '2', undefined, Infinity), { reactivity: 1, speed: 1, exposure: 1, grain: 1 });
});

test('render size: scale against a 2x screen, so Native > Balanced > Performance on every screen', () => {
  const size = (...args) => { const s = controls.renderSize(...args); return [s.width, s.height]; };
  const pixels = (scale, dpr) => size(1920, 1080, scale, dpr, 16384).reduce((w, h) => w * h);
  for (const dpr of [1, 1.25, 2, 3]) assert.ok(pixels(0, dpr) > pixels(1.5, dpr) && pixels(1.5, dpr) > pixels(1, dpr), `dpr ${dpr}`);
  const rows = [
    ['native uses the pixel ratio', [1920, 1080, 0, 2, 16384], [3840, 2160]],
    ['balanced on a 1x screen', [1920, 1080, 1.5, 1, 16384], [1440, 810]],
    ['performance on a 2x screen', [1920, 1080, 1, 2, 16384], [1920, 1080]],
    ['negative scale is native', [800, 600, -1, 1.25, 16384], [1000, 750]],
    ['dynamic factor', [1920, 1080, 0, 1, 16384, 0.5], [960, 540]],
    ['GPU limit keeps the aspect', [4000, 2000, 4, 1, 4096], [4096, 2048]]
  ];
  for (const [name, args, expected] of rows) assert.deepEqual(size(...args), expected, name);
  assert.deepEqual([0, 30, 120, 1000, NaN, -5, 29.6].map(controls.fpsCap), [60, 30, 120, 240, 60, 60, 30]);
});

test('lyric mode: anything unknown is overlay', () => {
  const rows = [['visuals', 'visuals'], ['overlay', 'overlay'], ['off', 'off'], ['Overlay', 'overlay'], [undefined, 'overlay']];
  for (const [input, mode] of rows) assert.equal(controls.lyricMode(input), mode, String(input));
});

test('wrap: at most two lines, an ellipsis when text is left over', () => {
  const measure = (s) => s.length;
  assert.deepEqual(controls.wrap('  hello   world ', measure, 20, 2), ['hello world']);
  assert.deepEqual(controls.wrap('one two three four', measure, 9, 2), ['one two', 'three\u2026']);
  assert.deepEqual(controls.wrap('aaaa bbbb cccc dddd', measure, 9, 2), ['aaaa bbbb', 'cccc dddd']);
  assert.deepEqual(controls.wrap('', measure, 9, 2), []);
  assert.deepEqual(controls.wrap('unbreakablewordhere', measure, 9, 2), ['unbreakablewordhere']);
});
