// The whole page in a stand-in browser, without WebGL2 or with a stand-in
// software renderer: the host contract must still be there and answer,
// pausing must stop the animation loop, and a software renderer is paced.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const PAGE = path.join(__dirname, '../../visuals');
const FUNCTIONS = ['vesmerFeed', 'vesmerSetBPM', 'vesmerSetPaused', 'vesmerLyricMode', 'vesmerLyric', 'vesmerSetFx', 'vesmerSetLook',
  'vesmerSetQuality', 'vesmerCurrentTheme', 'vesmerStep', 'vesmerSpec', 'vesmerLastGraph', 'vesmerApplyGraph', 'vesmerPaletteFromImage'];

function element() {
  const context = { measureText: (t) => ({ width: t.length * 30 }), clearRect() {}, fillText() {}, save() {}, restore() {}, translate() {}, scale() {} };
  return {
    style: {}, className: '', textContent: '', width: 300, height: 150,
    addEventListener() {},
    getContext: (kind) => (kind === '2d' ? context : null)
  };
}

// Loads the scripts index.html lists, in its order, into a fresh window;
// `makeRenderer(canvas, clock)` stands in for the WebGL2 renderer.
function loadPage(makeRenderer) {
  const frames = [], timers = [];
  const clock = { now: 0 };
  const ids = { scene: element(), overlay: element() };
  const win = {
    innerWidth: 1280, innerHeight: 720, devicePixelRatio: 2,
    performance: { now: () => clock.now },
    document: { getElementById: (id) => ids[id], createElement: element, body: { style: {} } },
    requestAnimationFrame(cb) { frames.push(cb); return frames.length; },
    cancelAnimationFrame(id) { frames[id - 1] = null; },
    // Timers fire at the next runFrames, before its frames.
    setTimeout(cb) { timers.push(cb); return timers.length; },
    clearTimeout(id) { timers[id - 1] = null; },
    addEventListener() {},
    Promise, JSON, Math, Image: class {}
  };
  win.window = win;
  const context = vm.createContext(win);
  const html = fs.readFileSync(path.join(PAGE, 'index.html'), 'utf8');
  const scripts = [...html.matchAll(/<script src="([^"]+)"><\/script>/g)].map((m) => m[1]);
  for (const src of scripts) {
    if (src === 'main.js' && makeRenderer) win.Vesmer.renderer = { create: (canvas) => makeRenderer(canvas, clock) };
    vm.runInContext(fs.readFileSync(path.join(PAGE, src), 'utf8'), context, { filename: src });
  }
  // Runs every pending animation frame once, at time `now`.
  function runFrames(now) {
    clock.now = now;
    timers.splice(0).filter(Boolean).forEach((cb) => cb());
    const pending = frames.splice(0).filter(Boolean);
    pending.forEach((cb) => cb(now));
    return pending.length;
  }
  return { win, ids, runFrames };
}

test('all fourteen functions exist and answer without WebGL2', () => {
  const { win, ids } = loadPage();
  for (const name of FUNCTIONS) assert.equal(typeof win[name], 'function', name);

  const described = JSON.parse(win.vesmerSpec());
  assert.ok(described.spec && described.schema && described.schema.properties.layers);
  // Native scale uses the device pixel ratio (the engine test runs at 1).
  assert.equal(win.vesmerSetQuality(0, 60), '2560\u00d71440 @ 60 fps');

  // Without WebGL2 a good graph is shown as a still gradient: a fallback.
  assert.match(win.vesmerApplyGraph(JSON.stringify(described.spec.example)), /fallback/);
  assert.match(ids.scene.style.background || win.document.body.style.background, /gradient/);
  assert.equal(JSON.parse(win.vesmerLastGraph()).name, 'Midnight tide');
  assert.equal(win.vesmerCurrentTheme(), 'Midnight tide');

  // Stepping returns to the built-in themes and forgets the graph.
  assert.equal(win.vesmerStep(-1), 'Spectrum Halo');
  assert.equal(win.vesmerLastGraph(), 'null');

  // Lyrics fall back to page text; "off" and the empty line hide it.
  const line = 'It\'s "quoted" \\ and\nbroken';
  win.vesmerLyricMode('visuals');
  win.vesmerLyric(line);
  assert.deepEqual([ids.overlay.textContent, ids.overlay.style.opacity], [line, '1']);
  for (const [mode, opacity] of [['off', '0'], ['overlay', '1']]) {
    win.vesmerLyricMode(mode);
    assert.equal(ids.overlay.style.opacity, opacity, mode);
  }
  win.vesmerLyric('');
  assert.equal(ids.overlay.style.opacity, '0');

  // Calls that return nothing must not throw on odd input.
  for (const call of [() => win.vesmerFeed(0.5, 0.2, 0.1, 0.3, 0.88, 0.2, 1, 0.4), () => win.vesmerFeed(), () => win.vesmerSetBPM(128.4),
    () => win.vesmerSetBPM(NaN), () => win.vesmerSetFx('{"bloom":1,"hue":0.5}'), () => win.vesmerSetFx('not json'), () => win.vesmerSetLook(1, 1, 1, 1)]) call();
});

test('pause stops requesting frames, resume starts again; the frame cap skips frames that come too early', () => {
  const { win, runFrames } = loadPage();
  const frames = () => JSON.parse(win.vesmerStats()).frames;
  assert.equal(runFrames(100), 1);
  assert.equal(runFrames(120), 1);
  const before = frames();
  assert.ok(before >= 1);
  win.vesmerSetPaused(true);
  assert.equal(runFrames(140), 0, 'no frame is pending while paused');
  assert.equal(frames(), before);
  win.vesmerSetPaused(false);
  win.vesmerSetPaused(false);
  assert.equal(runFrames(200), 1, 'resuming twice still runs one loop');
  // A low cap waits on a timer between frames; pausing stops that too.
  win.vesmerSetQuality(1, 10);
  runFrames(400);
  win.vesmerSetPaused(true);
  const paused = frames();
  assert.equal(runFrames(600), 0);
  assert.equal(runFrames(800), 0);
  assert.equal(frames(), paused);

  win.vesmerSetPaused(false);
  win.vesmerSetQuality(1, 30);
  let t = 1000;
  runFrames(t);
  const start = frames();
  for (let i = 0; i < 60; i++) runFrames(t += 1000 / 60);
  assert.equal(frames() - start, 30);
  // A cap between two display rates keeps its average.
  win.vesmerSetQuality(1, 50);
  runFrames(t += 1000 / 60);
  const atFifty = frames();
  for (let i = 0; i < 120; i++) runFrames(t += 1000 / 60);
  assert.ok(Math.abs(frames() - atFifty - 100) <= 1, String(frames() - atFifty));
});

test('a software renderer: at most 30 frames a second; Native shrinks each frame to its budget', () => {
  // 4 ms per million pixels: the native 2560x1440 would take 14.7 ms a frame.
  const software = (canvas, clock) => ({
    kind: 'software', name: 'llvmpipe (LLVM 15.0.6, 256 bits)', maxSize: 16384,
    resize(w, h) { canvas.width = w; canvas.height = h; },
    draw() {}, setScene() {}, setPostMask() {}, setText() {},
    finish() { clock.now += canvas.width * canvas.height * 4e-6; }
  });
  const { win, ids, runFrames } = loadPage(software);
  const stats = () => JSON.parse(win.vesmerStats());
  assert.equal(win.vesmerSetQuality(0, 60), '2560\u00d71440 @ 30 fps (software renderer: dynamic resolution and pacing)');
  let t = 1000;
  for (let i = 0; i < 60 * 20; i++) runFrames(t += 1000 / 60);
  const native = stats();
  assert.ok(native.fps >= 29 && native.fps <= 31, String(native.fps));
  assert.ok(native.dynamicScale >= 0.35 && native.dynamicScale < 1, String(native.dynamicScale));
  assert.ok(native.frameMs <= 5, String(native.frameMs));   // 15 % of 33 ms
  assert.equal(ids.scene.width, Math.round(2560 * native.dynamicScale));

  // A fixed scale is drawn as asked, and a lower fps setting is kept.
  assert.equal(win.vesmerSetQuality(1.5, 20), '1920\u00d71080 @ 20 fps (software renderer)');
  const before = stats().frames;
  for (let i = 0; i < 60 * 5; i++) runFrames(t += 1000 / 60);
  assert.ok(Math.abs(stats().frames - before - 100) <= 1, String(stats().frames - before));
  assert.deepEqual([stats().dynamicScale, ids.scene.width, ids.scene.height], [1, 1920, 1080]);
});
