// The page's side of the host contract: the fourteen vesmer* globals, the
// audio state they feed and the animation loop. vesmerFeed and the loop only
// write into arrays made here once, so a running page allocates nothing per
// frame; everything that allocates happens on a settings or scene change.
(function (root) {
  'use strict';
  var V = root.Vesmer;
  var graphLib = V.graph, themes = V.themes, controls = V.controls, pacing = V.pacing, shaders = V.shaders;

  var canvas = document.getElementById('scene');
  var overlay = document.getElementById('overlay');
  var renderer = null;
  try { renderer = V.renderer.create(canvas); } catch (e) { renderer = null; }

  // Indices of the fed values; 8 is the tempo-locked pulse, -1 nothing.
  var CHANNEL = { bass: 0, mid: 1, treble: 2, level: 3, beat: 8, energy: 7, flux: 6, none: -1 };
  var MAX_LAYERS = graphLib.MAX_LAYERS;

  var audioTarget = new Float32Array(8);
  var audio = new Float32Array(9);
  var frame = {
    scalars: new Float32Array(3),   // scene time, beat pulse, bass
    cam: new Float32Array([0, 1, 0]), camOffset: new Float32Array(2),
    bgTop: new Float32Array(3), bgBottom: new Float32Array(3),
    finish: new Float32Array(4), hue: new Float32Array([1, 0, 0, 0, 1, 0, 0, 0, 1]),
    lp0: new Float32Array(4 * MAX_LAYERS), lp1: new Float32Array(4 * MAX_LAYERS),
    lc0: new Float32Array(3 * MAX_LAYERS), lc1: new Float32Array(3 * MAX_LAYERS),
    post: new Float32Array(shaders.POST_EFFECTS.length),
    lyricAlpha: new Float32Array(3), lyricSlot: 0,
    lyricTint: new Float32Array([1, 1, 1]), lyricTint2: new Float32Array([1, 1, 1]),
    lyricRect: new Float32Array([0, -0.42, 0.8, 0.2])
  };
  var layerCount = 0;
  var layerChannel = new Int8Array(MAX_LAYERS);
  var layerAmount = new Float32Array(MAX_LAYERS);

  var themeIndex = 0;
  var shownGraph = null;      // the normalized graph on screen
  var composed = false;       // true while a graph from outside is shown
  var motion = null, graphPost = null;
  var fx = controls.noEffects();
  var look = controls.look(1, 1, 1, 1);
  var quality = { scale: 0, fps: 60 };
  var frameCap = 60;          // what the loop draws at most: quality.fps, less on a software renderer
  // On a software renderer with Native, the page times each frame (draw,
  // then wait until it is done) and scales its drawing buffer so a frame
  // takes at most this share of the 30 fps interval; and it paces its frame
  // rate to what the machine can spare (lib/pacing.js).
  var SOFTWARE_BUDGET_SHARE = 0.15;
  var adaptive = false;
  var soft = pacing.state();
  var paused = false;
  var rafId = 0, timerId = 0, sizeDirty = true;
  // Numbers the loop changes every frame live in a typed array: a plain
  // variable holding a fractional number would box it anew on each write.
  var BPM = 0, BEAT_PHASE = 1, LAST_BEAT = 2, HUE = 3, CAM = 4, LAST_FRAME = 5, TIME = 6,
    FRAMES = 7, WINDOW_START = 8, WINDOW_FRAMES = 9, FPS = 10, DT = 11, NOW = 12, LAST_DRAWN = 13;
  var st = new Float64Array(14);
  var SCENE_TIME_WRAP = 10000;

  var lyricMode = 'overlay', lyricLine = '';
  var textCanvas = document.createElement('canvas');
  textCanvas.width = 1024; textCanvas.height = 256;
  var textContext = textCanvas.getContext('2d');

  function setVec3(out, offset, rgb) { out[offset] = rgb[0]; out[offset + 1] = rgb[1]; out[offset + 2] = rgb[2]; }

  function brighten(rgb) {
    var hsl = V.color.rgbToHsl(rgb);
    return V.color.hslToRgb(hsl[0], Math.min(1, hsl[1] * 1.1), Math.max(0.55, hsl[2]));
  }

  function updatePost() {
    var mask = 0;
    shaders.POST_EFFECTS.forEach(function (name, i) {
      var v = Math.max(fx[name], graphPost ? graphPost[name] : 0);
      frame.post[i] = v;
      if (v > 0) mask |= 1 << i;
    });
    if (renderer) renderer.setPostMask(mask);
  }

  function cssBackground(colors) {
    var c = colors.layers.length ? colors.layers[0][0] : colors.top;
    document.body.style.background = 'radial-gradient(circle at 50% 60%, ' + V.color.toHex(c) + ' 0%, transparent 65%), linear-gradient(' +
      V.color.toHex(colors.top) + ', ' + V.color.toHex(colors.bottom) + ')';
  }

  // Puts a normalized graph on screen. Throws (before changing anything)
  // when its program does not compile.
  function show(g) {
    if (renderer) renderer.setScene(g.layers.map(function (l) { return l.type; }));
    var colors = graphLib.resolveColors(g);
    setVec3(frame.bgTop, 0, colors.top);
    setVec3(frame.bgBottom, 0, colors.bottom);
    layerCount = g.layers.length;
    g.layers.forEach(function (l, i) {
      frame.lp0[i * 4] = l.intensity; frame.lp0[i * 4 + 1] = l.scale;
      frame.lp0[i * 4 + 2] = l.speed; frame.lp0[i * 4 + 3] = l.detail;
      frame.lp1[i * 4] = l.x; frame.lp1[i * 4 + 1] = l.y;
      frame.lp1[i * 4 + 3] = graphLib.BLENDS.indexOf(l.blend);
      setVec3(frame.lc0, i * 3, colors.layers[i][0]);
      setVec3(frame.lc1, i * 3, colors.layers[i][1]);
      layerChannel[i] = CHANNEL[l.react];
      layerAmount[i] = l.amount;
    });
    var first = colors.layers[0], last = colors.layers[colors.layers.length - 1];
    setVec3(frame.lyricTint, 0, brighten(first[0]));
    setVec3(frame.lyricTint2, 0, brighten(last[1]));
    motion = g.motion;
    graphPost = g.post;
    st[CAM] = 0;   // each scene starts upright; its own rotate turns it from there
    shownGraph = g;
    updatePost();
    if (!renderer) cssBackground(colors);
  }

  function showTheme(i) {
    themeIndex = i;
    composed = false;
    show(themes.graph(i));
  }

  function rendererKind() { return renderer ? renderer.kind : 'none'; }

  // Follows the quality setting and the renderer (which a lost context can
  // change): the frame cap, and whether the page adapts scale and pace.
  function applyQuality() {
    var kind = rendererKind(), cap = pacing.frameCap(quality.fps, kind), was = adaptive;
    adaptive = kind === 'software' && !(quality.scale > 0);
    // Re-applying the same setting keeps what the page has found so far.
    if (adaptive && !was) pacing.reset(soft, cap, root.performance.now());
    else pacing.setMaxFps(soft, cap);
    soft[pacing.BUDGET] = SOFTWARE_BUDGET_SHARE * 1000 / pacing.SOFTWARE_FPS;
    frameCap = adaptive ? soft[pacing.CAP] : cap;
    sizeDirty = true;
  }

  function resize() {
    sizeDirty = false;
    var size = controls.renderSize(root.innerWidth || 1, root.innerHeight || 1, quality.scale, root.devicePixelRatio || 1,
      renderer ? renderer.maxSize : 0, adaptive ? soft[pacing.SCALE] : 1);
    if (renderer) renderer.resize(size.width, size.height);
    else { canvas.width = size.width; canvas.height = size.height; }
    // Keep the lyric quad's text aspect (4:1) whatever the screen shape.
    frame.lyricRect[3] = frame.lyricRect[2] * 0.25 * size.width / size.height;
  }

  // One frame's arithmetic, all in here: this function has loops, so the
  // engine optimizes it early, and its fractional numbers then stay unboxed
  // (in tick, or in an argument or return value, each would be a new
  // object). Easing is written out inline for the same reason. Returns
  // false when the frame cap says to skip this frame.
  function advance() {
    // Frames are due on a fixed grid of the cap's interval, so a cap between
    // two display rates (50 on a 60 Hz screen) still averages out right.
    var interval = 1000 / frameCap;
    if (st[NOW] - st[LAST_FRAME] < interval * 0.92) return false;
    st[LAST_FRAME] = st[NOW] - st[LAST_FRAME] > 2 * interval ? st[NOW] : st[LAST_FRAME] + interval;
    st[DT] = Math.min(st[NOW] - st[LAST_DRAWN], 250) / 1000;
    st[LAST_DRAWN] = st[NOW];
    st[FRAMES]++;
    st[WINDOW_FRAMES]++;
    if (st[NOW] - st[WINDOW_START] >= 1000) {
      st[FPS] = st[WINDOW_FRAMES] * 1000 / (st[NOW] - st[WINDOW_START]);
      st[WINDOW_START] = st[NOW];
      st[WINDOW_FRAMES] = 0;
    }
    var dt = st[DT], react = look.reactivity, i;
    var rise = 1 - Math.exp(-18 * dt), fall = 1 - Math.exp(-5 * dt);
    for (i = 0; i < 8; i++) audio[i] += (audioTarget[i] - audio[i]) * (audioTarget[i] > audio[i] ? rise : fall);
    var beatNow = audioTarget[4], pulse;
    if (st[BPM] > 0 && motion.tempoLock) {
      st[BEAT_PHASE] += dt * st[BPM] / 60;
      // A fed beat onset pulls the phase toward the nearest whole beat.
      if (beatNow > 0.5 && st[LAST_BEAT] <= 0.5) st[BEAT_PHASE] += (Math.round(st[BEAT_PHASE]) - st[BEAT_PHASE]) * 0.35;
      var gate = Math.min(1, audio[3] * 3 + audio[7] * 3);
      st[BEAT_PHASE] -= Math.floor(st[BEAT_PHASE]);
      pulse = Math.exp(-st[BEAT_PHASE] * 5) * gate;
    } else {
      pulse = Math.min(1, audio[4] / 0.88);
    }
    st[LAST_BEAT] = beatNow;
    audio[8] = pulse;
    frame.scalars[1] = pulse;
    frame.scalars[2] = audio[0] * react;

    var tempoFactor = st[BPM] > 0 ? Math.min(1.5, Math.max(0.6, st[BPM] / 120)) : 1;
    var energy = Math.min(1, audio[7] * 2 * react);
    st[TIME] = (st[TIME] + dt * look.speed * motion.speed * tempoFactor * (0.85 + 0.3 * energy)) % SCENE_TIME_WRAP;
    frame.scalars[0] = st[TIME];
    st[CAM] = (st[CAM] + dt * motion.rotate * 0.6 * look.speed) % 6.2831853;
    frame.cam[0] = st[CAM] + motion.drift * 0.08 * Math.sin(st[TIME] * 0.21);
    frame.cam[1] = 1 + motion.zoom * 0.09 * pulse * react + 0.03 * audio[0] * react;
    frame.camOffset[0] = motion.drift * 0.06 * Math.sin(st[TIME] * 0.13);
    frame.camOffset[1] = motion.drift * 0.05 * Math.cos(st[TIME] * 0.17);

    for (i = 0; i < layerCount; i++) {
      var ch = layerChannel[i];
      frame.lp1[i * 4 + 2] = ch < 0 ? 0 : Math.min(3, audio[ch] * layerAmount[i] * react);
    }

    frame.finish[0] = look.exposure * (0.75 + 0.5 * energy);
    frame.finish[1] = look.grain * 0.35 + graphPost.grain;
    frame.finish[2] = graphPost.vignette;
    frame.finish[3] = motion.flash * pulse * 0.35 * react;

    // Hue: the cycle effect turns it steadily; the centroid leans it.
    var hueRate = Math.max(fx.hue, graphPost.hue);
    if (hueRate > 0) st[HUE] = (st[HUE] + dt * hueRate * 1.5) % 6.2831853;
    else st[HUE] += (Math.round(st[HUE] / 6.2831853) * 6.2831853 - st[HUE]) * (1 - Math.exp(-1.5 * dt));
    var lean = Math.max(-0.35, Math.min(0.35, (audio[5] - 0.12) * 1.5 * react));
    var a = st[HUE] + lean, c = Math.cos(a), s = Math.sin(a) * 0.57735027, k = (1 - c) / 3;
    var h = frame.hue;
    h[0] = c + k; h[1] = k + s; h[2] = k - s;
    h[3] = k - s; h[4] = c + k; h[5] = k + s;
    h[6] = k + s; h[7] = k - s; h[8] = c + k;

    var visuals = lyricMode === 'visuals' && lyricLine !== '';
    frame.lyricAlpha[0] -= frame.lyricAlpha[0] * fall;
    frame.lyricAlpha[1] += ((visuals ? 1 : 0) - frame.lyricAlpha[1]) * (1 - Math.exp(-3.5 * dt));
    frame.lyricAlpha[2] = pulse * react;
    frame.lyricRect[1] = -0.42 + 0.01 * pulse * react;
    return true;
  }

  function tick(now) {
    rafId = 0;
    if (paused) return;
    st[NOW] = now;
    var due = advance();
    // The next frame is asked for before this one is drawn, so a throw in
    // drawing does not end the loop. When it is due much later than the
    // next display frame (a low cap), a timer wakes the loop shortly before,
    // instead of every display frame waking the page for nothing.
    var wait = Math.floor(st[LAST_FRAME] + 1000 / frameCap - now) - 24;
    if (wait > 16) timerId = root.setTimeout(wake, wait);
    else rafId = root.requestAnimationFrame(tick);
    if (!due) return;
    if (sizeDirty) resize();
    if (!renderer) return;
    if (!adaptive) { renderer.draw(frame); return; }
    soft[pacing.START] = root.performance.now();
    renderer.draw(frame);
    renderer.finish();
    if (pacing.adaptScale(soft, root.performance.now())) sizeDirty = true;
    if (pacing.pace(soft, now)) frameCap = soft[pacing.CAP];
  }

  function wake() {
    timerId = 0;
    if (!paused && !rafId) rafId = root.requestAnimationFrame(tick);
  }

  function start() {
    if (rafId || timerId || paused) return;
    st[LAST_FRAME] = root.performance.now();
    st[LAST_DRAWN] = st[LAST_FRAME];
    st[WINDOW_START] = st[LAST_FRAME];
    st[WINDOW_FRAMES] = 0;
    rafId = root.requestAnimationFrame(tick);
  }

  function drawText(text) {
    var ctx = textContext, w = textCanvas.width, hgt = textCanvas.height;
    ctx.clearRect(0, 0, w, hgt);
    if (!text) return;
    var size = 72;
    ctx.font = '600 ' + size + 'px "DejaVu Sans", sans-serif';
    var lines = controls.wrap(text, function (t) { return ctx.measureText(t).width; }, w - 120, 2);
    if (lines.length > 1) { size = 56; ctx.font = '600 ' + size + 'px "DejaVu Sans", sans-serif'; }
    var widest = 0;
    lines.forEach(function (l) { widest = Math.max(widest, ctx.measureText(l).width); });
    var fit = Math.min(1, (w - 80) / Math.max(widest, 1));
    ctx.save();
    ctx.translate(w / 2, hgt / 2);
    ctx.scale(fit, fit);
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    ctx.fillStyle = '#ffffff';
    ctx.shadowColor = 'rgba(255,255,255,0.75)';
    ctx.shadowBlur = 22;
    var lineHeight = size * 1.15, top = -(lines.length - 1) * lineHeight / 2;
    lines.forEach(function (l, i) { ctx.fillText(l, 0, top + i * lineHeight); });
    ctx.shadowBlur = 0;
    lines.forEach(function (l, i) { ctx.fillText(l, 0, top + i * lineHeight); });
    ctx.restore();
  }

  function refreshOverlay() {
    var domShows = lyricMode === 'overlay' || (lyricMode === 'visuals' && !renderer);
    overlay.className = lyricMode === 'visuals' ? 'visuals' : '';
    overlay.style.opacity = domShows && lyricLine ? '1' : '0';
  }

  // ---- the host contract ----

  root.vesmerFeed = function (b, m, t, l, beat, cen, flux, en) {
    audioTarget[0] = +b || 0; audioTarget[1] = +m || 0; audioTarget[2] = +t || 0; audioTarget[3] = +l || 0;
    audioTarget[4] = +beat || 0; audioTarget[5] = +cen || 0; audioTarget[6] = +flux || 0; audioTarget[7] = +en || 0;
  };

  root.vesmerSetBPM = function (value) {
    var v = +value;
    st[BPM] = isFinite(v) && v > 0 ? Math.min(v, 300) : 0;
  };

  root.vesmerSetPaused = function (value) {
    paused = !!value;
    if (paused) {
      if (rafId) root.cancelAnimationFrame(rafId);
      if (timerId) root.clearTimeout(timerId);
      rafId = 0;
      timerId = 0;
    } else {
      start();
    }
  };

  root.vesmerLyricMode = function (mode) {
    lyricMode = controls.lyricMode(mode);
    refreshOverlay();
  };

  root.vesmerLyric = function (line) {
    var text = typeof line === 'string' ? line : line === null || line === undefined ? '' : String(line);
    if (text === lyricLine) return;
    lyricLine = text;
    overlay.textContent = text;
    refreshOverlay();
    if (renderer) {
      // The new line goes into the other texture; the old one fades out.
      drawText(text);
      frame.lyricSlot ^= 1;
      renderer.setText(frame.lyricSlot, textCanvas);
      frame.lyricAlpha[0] = frame.lyricAlpha[1];
      frame.lyricAlpha[1] = 0;
    }
  };

  root.vesmerSetFx = function (json) {
    var parsed = controls.parseFx(json, fx);
    if (!parsed) return;
    fx = parsed;
    updatePost();
  };

  root.vesmerSetLook = function (reactivity, speed, exposure, grain) {
    look = controls.look(reactivity, speed, exposure, grain);
  };

  root.vesmerSetQuality = function (scale, fps) {
    quality = { scale: typeof scale === 'number' ? scale : 0, fps: controls.fpsCap(fps) };
    applyQuality();
    resize();
    // The size the setting asks for, before any dynamic scaling.
    var full = controls.renderSize(root.innerWidth || 1, root.innerHeight || 1, quality.scale, root.devicePixelRatio || 1, renderer ? renderer.maxSize : 0, 1);
    var note = rendererKind() !== 'software' ? '' : adaptive ? 'software renderer: dynamic resolution and pacing' : 'software renderer';
    return controls.qualityReport(full.width, full.height, pacing.frameCap(quality.fps, rendererKind()), note);
  };

  root.vesmerCurrentTheme = function () {
    if (!composed) return themes.names[themeIndex];
    return shownGraph && shownGraph.name ? shownGraph.name : 'Composed scene';
  };

  root.vesmerStep = function (n) {
    showTheme(themes.stepIndex(themeIndex, n, themes.count));
    return themes.names[themeIndex];
  };

  var specText = JSON.stringify({ "spec": graphLib.describe(), "schema": graphLib.schema() });
  root.vesmerSpec = function () { return specText; };

  root.vesmerLastGraph = function () { return composed ? JSON.stringify(shownGraph) : 'null'; };

  // Shows the closest theme in the graph's colours instead of `g`; a stand-in
  // that does not compile either leaves the current scene.
  function showStandIn(g, why) {
    var sub = themes.substitute(g);
    try {
      show(sub.graph);
    } catch (e) {
      return 'guard: ' + why + ' and no stand-in could be drawn; kept the current scene';
    }
    composed = true;
    return 'fallback: ' + why + '; showing ' + sub.theme + (g.palette ? ' in the graph\'s palette' : '');
  }

  root.vesmerApplyGraph = function (text) {
    var d = graphLib.decide(text);
    if (d.status === 'error' || d.status === 'guard') return d.message;
    if (d.status === 'fallback') return showStandIn(d.graph, d.message.replace(/^fallback: /, ''));
    try {
      show(d.graph);
    } catch (e) {
      return showStandIn(d.graph, 'the scene did not compile');
    }
    composed = true;
    return renderer ? 'ok' : 'fallback: WebGL2 is unavailable; showing a still gradient';
  };

  root.vesmerPaletteFromImage = function (dataUrl) {
    return new Promise(function (resolve, reject) {
      if (typeof dataUrl !== 'string' || !dataUrl) { reject(new Error('no image')); return; }
      var img = new Image();
      img.onload = function () {
        var scale = Math.min(1, 96 / Math.max(img.naturalWidth, img.naturalHeight, 1));
        var w = Math.max(1, Math.round(img.naturalWidth * scale)), h = Math.max(1, Math.round(img.naturalHeight * scale));
        var c = document.createElement('canvas');
        c.width = w; c.height = h;
        var ctx = c.getContext('2d');
        ctx.drawImage(img, 0, 0, w, h);
        var colors = V.palette.dominantColors(ctx.getImageData(0, 0, w, h).data, 6);
        if (colors.length < 3) reject(new Error('image has no opaque pixels'));
        else resolve(JSON.stringify(colors));
      };
      img.onerror = function () { reject(new Error('image could not be decoded')); };
      img.src = dataUrl;
    });
  };

  // Not part of the host contract: frame counters for tests and tuning.
  root.vesmerStats = function () {
    return JSON.stringify({
      frames: st[FRAMES], fps: Math.round(st[FPS] * 10) / 10, webgl2: !!renderer, paused: paused, width: canvas.width, height: canvas.height,
      renderer: rendererKind(), rendererName: renderer ? renderer.name : '', frameCap: frameCap,
      dynamicScale: adaptive ? soft[pacing.SCALE] : 1, frameMs: adaptive ? Math.round(soft[pacing.MEAN] * 100) / 100 : null
    });
  };

  root.addEventListener('resize', function () { sizeDirty = true; });
  canvas.addEventListener('webglcontextlost', function (e) { e.preventDefault(); });
  canvas.addEventListener('webglcontextrestored', function () {
    renderer = V.renderer.create(canvas);
    if (renderer) {
      renderer.setText(frame.lyricSlot, textCanvas);
      show(shownGraph);
    }
    applyQuality();
  });

  showTheme(0);
  applyQuality();
  resize();
  refreshOverlay();
  start();
})(this);
