// Keeping a software renderer from taking the machine: what counts as one,
// the dynamic resolution and the pacing, against simulated renderers.
const test = require('node:test');
const assert = require('node:assert/strict');
const pacing = require('../../visuals/lib/pacing.js');

test('renderer kind and its frame cap', () => {
  const rows = [['llvmpipe (LLVM 15.0.6, 256 bits)', 'software'], ['ANGLE (Google, Vulkan 1.3.0 (SwiftShader Device (Subzero)), SwiftShader driver)', 'software'],
    ['softpipe', 'software'], ['Mesa Intel(R) UHD Graphics 620 (KBL GT2)', 'hardware'], [undefined, 'unknown']];
  for (const [name, kind] of rows) assert.equal(pacing.rendererKind(name), kind, String(name));
  assert.deepEqual([pacing.frameCap(60, 'software'), pacing.frameCap(20, 'software'), pacing.frameCap(60, 'hardware')], [30, 20, 60]);
});

// A renderer whose frame costs `perFullFrame` ms at scale 1 and follows the
// pixel count; runs the controller at 30 fps for `seconds`.
function run(s, seconds, perFullFrame, t0 = 0) {
  const scales = [];
  let t = t0;
  for (let i = 0; i < seconds * 30; i++, t += 1000 / 30) {
    s[pacing.START] = t;
    pacing.adaptScale(s, t + perFullFrame(t) * s[pacing.SCALE] ** 2);
    scales.push(s[pacing.SCALE]);
  }
  return { scales, end: t };
}

test('dynamic resolution: settles under the budget, holds still, recovers when frames get cheap', () => {
  const s = pacing.state();
  pacing.reset(s, 30, 0);
  s[pacing.BUDGET] = 5;
  // Twenty times over budget at full size: down at once, to the floor.
  let r = run(s, 3, () => 100);
  assert.equal(r.scales.at(-1), pacing.MIN_SCALE);
  // 20 ms at full size: the budget allows a scale of 0.5; it must get close and then stay put.
  r = run(s, 120, () => 20, r.end);
  const settled = r.scales.slice(-30 * 60);
  assert.ok(settled.every((v) => v === settled[0]), 'no change over the last minute');
  assert.ok(settled[0] >= 0.4 && settled[0] <= 0.5, String(settled[0]));
  // A renderer that looks cheap enough to raise the scale but is over budget
  // once raised: the wait before each new try doubles (up to 30 s).
  const changes = (xs) => xs.filter((v, i) => i > 0 && v !== xs[i - 1]).length;
  r = run(s, 150, () => (s[pacing.SCALE] > 0.5 ? 25 : 12), r.end);
  assert.ok(r.scales.slice(-30 * 60).every((v) => v === 0.5 || v === 0.55));
  assert.ok(changes(r.scales.slice(-30 * 60)) <= 4, String(changes(r.scales.slice(-30 * 60))));
  // Cheap frames: back to full size.
  r = run(s, 60, () => 1, r.end);
  assert.equal(r.scales.at(-1), 1);
});


test('pacing: a quarter of what a saturated machine delivers, measured again by probes', () => {
  const s = pacing.state();
  pacing.reset(s, 30, 0);
  // Frames come at the cap, or at what the machine manages when that is less.
  let t = 0;
  const caps = [];
  function run(seconds, machineFps) {
    for (const end = t + seconds * 1000; t < end;) {
      t += 1000 / Math.min(s[pacing.CAP], machineFps);
      pacing.pace(s, t);
      caps.push([t, s[pacing.CAP]]);
    }
  }
  const capAt = (ms) => caps.findLast(([at]) => at <= ms)[1];
  // It starts by asking for the display's rate; the machine gives 24.
  run(8, 24);
  assert.deepEqual([capAt(1900), capAt(8000)], [60, 6]);
  // The first probe (10 s in) asks for 60 again for one window, then back to a quarter.
  run(10, 24);
  assert.deepEqual([capAt(11000), capAt(18000)], [60, 6]);
  // The machine gets busier: noticed at the next probe, never below 5.
  run(130, 12);
  assert.deepEqual([capAt(120000), capAt(t)], [6, 5]);
  // A window that spans a pause says nothing about the machine.
  t += 60000;
  run(1, 1);
  assert.equal(s[pacing.CAP], 5);
  // A machine that keeps up with the display gets the full cap at the next probe.
  run(130, 60);
  assert.equal(s[pacing.CAP], 30);
});
