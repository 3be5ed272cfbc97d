// Dominant colours from pixel arrays, as the page gets them from a canvas.
const test = require('node:test');
const assert = require('node:assert/strict');
const { dominantColors } = require('../../visuals/lib/palette.js');

// Pixels from [count, [r, g, b, a]] parts.
const image = (parts) => Uint8ClampedArray.from(parts.flatMap(([count, rgba]) => Array.from({ length: count }, () => rgba).flat()));

test('colours come out most prominent first, transparent pixels ignored, whatever the pixel order', () => {
  const px = [[300, [20, 20, 180, 255]], [600, [200, 30, 30, 255]], [100, [250, 250, 250, 255]], [900, [0, 255, 0, 0]]];
  assert.deepEqual(dominantColors(image(px)), ['#c81e1e', '#1414b4', '#fafafa']);
  const parts = [[50, [10, 200, 90, 255]], [70, [90, 10, 200, 255]], [30, [200, 200, 10, 255]], [20, [5, 5, 5, 255]]];
  assert.deepEqual(dominantColors(image(parts.slice().reverse())), dominantColors(image(parts)));
});

test('noisy colours cluster around their centres', () => {
  let seed = 7;
  const rand = () => { seed = (seed * 1103515245 + 12345) % 2147483648; return seed / 2147483648; };
  const centres = [[230, 120, 20], [30, 60, 140], [240, 230, 200], [15, 15, 20]];
  const px = centres.flatMap((c, k) => Array.from({ length: [400, 300, 200, 100][k] },
    () => [...c.map((v) => Math.max(0, Math.min(255, v + Math.round((rand() - 0.5) * 24)))), 255]).flat());
  const colors = dominantColors(Uint8ClampedArray.from(px));
  assert.ok(colors.length >= 4 && colors.length <= 6, colors.join());
  const distance = (hex, rgb) => { const n = parseInt(hex.slice(1), 16); return Math.hypot((n >> 16) - rgb[0], ((n >> 8) & 255) - rgb[1], (n & 255) - rgb[2]); };
  centres.forEach((c, k) => assert.ok(distance(colors[k], c) < 20, colors[k] + ' far from centre ' + k));
});

test('few colours are padded to three distinct shades, none gives an empty list, many at most six #rrggbb', () => {
  const one = dominantColors(image([[64, [40, 160, 220, 255]]]));
  assert.deepEqual([one.length, new Set(one).size, one[0]], [3, 3, '#28a0dc']);
  assert.equal(new Set(dominantColors(image([[64, [0, 0, 0, 255]]]))).size, 3);
  assert.deepEqual(dominantColors(image([[10, [255, 0, 0, 0]]])), []);
  assert.deepEqual(dominantColors(new Uint8ClampedArray(0)), []);
  const parts = Array.from({ length: 12 }, (_, i) => [10 + i, [(i * 97) % 256, (i * 53) % 256, (i * 151) % 256, 255]]);
  const colors = dominantColors(image(parts));
  assert.ok(colors.length >= 3 && colors.length <= 6);
  for (const c of colors) assert.match(c, /^#[0-9a-f]{6}$/);
  assert.ok(dominantColors(image(parts), 4).length <= 4);
});
