// Keeping a software renderer from taking the machine. Without a GPU every
// pixel costs CPU time twice: once when the page draws its scene, and once
// when the engine composites the page at the full window size, which no
// render scale makes cheaper. So with Native the page adapts two things from
// what it measures: the scale of its drawing buffer (dynamic resolution,
// from the time each frame takes) and its frame rate (pacing, from the frame
// rate the machine actually delivers). Pure logic; the per-frame calls
// allocate nothing: all state is in one Float64Array from state().
(function (root) {
  'use strict';

  // What draws the page, from the unmasked renderer string: a software
  // rasteriser, a GPU, or unknown (no string).
  function rendererKind(name) {
    if (typeof name !== 'string' || !name) return 'unknown';
    return /llvmpipe|softpipe|swiftshader|software rasterizer/i.test(name) ? 'software' : 'hardware';
  }

  // A software renderer draws at most this many frames a second.
  var SOFTWARE_FPS = 30;
  function frameCap(fps, kind) { return kind === 'software' ? Math.min(fps, SOFTWARE_FPS) : fps; }

  // Slots of the state array.
  var SCALE = 0, START = 1, BUDGET = 2, MEAN = 3, CAP = 4,
    NOW = 5, SUM = 6, COUNT = 7, WINDOW_START = 8, CHANGED_AT = 9, RAISED_AT = 10, HOLD = 11, SKIP = 12, CEILING = 13,
    MAX_FPS = 14, PACE_FRAMES = 15, PACE_START = 16, PROBE_AT = 17, PROBING = 18;

  // Dynamic resolution: keeps the measured time of a frame (draw, then wait
  // until it is done) under BUDGET by scaling the drawing buffer between
  // MIN_SCALE and 1 in steps of 1/STEPS. It decides once per window of at
  // least a second. It lowers at once (the time follows the pixel count, the
  // square of the scale) and raises one step at a time, only when the time
  // predicted for the next step leaves headroom and the scale has held for a
  // while. A scale that had to be left soon after it was reached is the
  // ceiling: trying it again waits twice as long each time (up to 30 s),
  // until it holds. So a budget on the edge of a step does not make the size
  // oscillate.
  var MIN_SCALE = 0.35, STEPS = 20, HEADROOM = 0.8, TARGET = 0.9;
  var HOLD_MS = 3000, HOLD_MAX_MS = 30000, PROBATION_MS = 5000, WINDOW_MS = 1000, WINDOW_FRAMES = 3;

  // Pacing: the page measures what the machine can deliver by asking for
  // PROBE_FPS (the display's rate) for a window: if fewer frames come, the
  // machine is saturated, and the page then asks for PACE_SHARE of what came
  // (at least PACE_MIN_FPS, at most the cap). It does so at the start and
  // every PROBE_MS after a first probe FIRST_PROBE_MS in, when the scale has
  // come down. Between probes, a cap that is not met is lowered the same way.
  var PROBE_FPS = 60, PACE_SHARE = 0.25, PACE_MIN_FPS = 5, SATURATED = 0.9;
  var PACE_WINDOW_MS = 2000, PROBE_MS = 120000, FIRST_PROBE_MS = 10000;

  function state() { return new Float64Array(19); }

  // Starts both from the top: full scale, measuring the frame rate; `maxFps`
  // is the cap once measured, `now` in ms.
  function reset(s, maxFps, now) {
    s[SCALE] = 1; s[SUM] = 0; s[COUNT] = 0; s[SKIP] = 2; s[MEAN] = 0; s[NOW] = now;
    s[CHANGED_AT] = now; s[RAISED_AT] = -1e12; s[HOLD] = HOLD_MS; s[CEILING] = 2;
    s[MAX_FPS] = maxFps; s[CAP] = PROBE_FPS; s[PACE_FRAMES] = 0; s[PACE_START] = now; s[PROBE_AT] = now + FIRST_PROBE_MS; s[PROBING] = 0;
  }

  // A new cap for the frame rate (a settings change); keeps the rest.
  function setMaxFps(s, maxFps) {
    s[MAX_FPS] = maxFps;
    if (s[CAP] > maxFps && s[CAP] !== PROBE_FPS) s[CAP] = maxFps;
  }

  // Call with the time a drawn frame was done; the page wrote START when it
  // began. Whether SCALE changed. Not while probing: the waits of a
  // saturated machine are not the frame's own cost.
  function adaptScale(s, end) {
    s[NOW] = end;
    if (s[PROBING]) { s[SKIP] = 1; return false; }
    // The first frames after a change pay for new buffers: not measured.
    if (s[SKIP] > 0) { s[SKIP]--; s[WINDOW_START] = end; s[SUM] = 0; s[COUNT] = 0; return false; }
    s[SUM] += end - s[START];
    s[COUNT]++;
    if (s[COUNT] < WINDOW_FRAMES || end - s[WINDOW_START] < WINDOW_MS) return false;
    var mean = s[SUM] / s[COUNT], scale = s[SCALE], steps = Math.round(scale * STEPS), next = steps;
    var sinceRaise = end - s[RAISED_AT];
    s[MEAN] = mean; s[SUM] = 0; s[COUNT] = 0; s[WINDOW_START] = end;
    if (mean > s[BUDGET] && scale > MIN_SCALE) {
      if (sinceRaise < PROBATION_MS) {
        // The step before held: back to it.
        next = steps - 1;
        s[CEILING] = scale;
        s[HOLD] = Math.min(HOLD_MAX_MS, s[HOLD] * 2);
      } else {
        next = Math.min(steps - 1, Math.floor(scale * Math.sqrt(s[BUDGET] * TARGET / mean) * STEPS));
      }
    } else {
      if (scale >= s[CEILING] && sinceRaise >= PROBATION_MS) { s[CEILING] = 2; s[HOLD] = HOLD_MS; }
      var ratio = (steps + 1) / steps;
      var wait = (steps + 1) / STEPS >= s[CEILING] - 1e-9 ? s[HOLD] : HOLD_MS;
      if (scale < 1 && end - s[CHANGED_AT] >= wait && mean * ratio * ratio < s[BUDGET] * HEADROOM) {
        next = steps + 1;
        s[RAISED_AT] = end;
      }
    }
    if (next === steps) return false;
    s[SCALE] = Math.max(MIN_SCALE, Math.min(1, next / STEPS));
    s[CHANGED_AT] = end;
    s[SKIP] = 2;
    return true;
  }

  // Call once per drawn frame with its time. Whether CAP changed.
  function pace(s, now) {
    s[PACE_FRAMES]++;
    var elapsed = now - s[PACE_START];
    if (elapsed < PACE_WINDOW_MS) return false;
    var delivered = s[PACE_FRAMES] * 1000 / elapsed, cap = s[CAP], next = cap;
    s[PACE_FRAMES] = 0; s[PACE_START] = now;
    // A window much longer than asked spans a pause or a hidden page.
    if (elapsed > 3 * PACE_WINDOW_MS) return false;
    s[PROBING] = 0;
    if (delivered < cap * SATURATED) {
      next = Math.max(PACE_MIN_FPS, Math.min(cap, s[MAX_FPS], Math.round(delivered * PACE_SHARE)));
    } else if (cap === PROBE_FPS) {
      next = s[MAX_FPS];   // the machine keeps up with the display: no need to hold back
    } else if (now >= s[PROBE_AT]) {
      s[PROBE_AT] = now + PROBE_MS;
      next = PROBE_FPS;
      s[PROBING] = 1;
    }
    if (next === cap) return false;
    s[CAP] = next;
    return true;
  }

  var api = {
    rendererKind: rendererKind, frameCap: frameCap, SOFTWARE_FPS: SOFTWARE_FPS, MIN_SCALE: MIN_SCALE,
    state: state, reset: reset, setMaxFps: setMaxFps, adaptScale: adaptScale, pace: pace,
    SCALE: SCALE, START: START, BUDGET: BUDGET, MEAN: MEAN, CAP: CAP
  };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).pacing = api;
})(this);
