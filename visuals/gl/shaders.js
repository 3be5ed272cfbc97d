// GLSL sources. The scene shader is generated per stack of layer types (each
// layer a function call with constant uniform indices, no branching on type);
// the post shader per set of enabled effects, so an effect at 0 is not in it.
(function (root) {
  'use strict';

  var HEADER = '#version 300 es\nprecision highp float;\nprecision highp int;\n';

  // a_zero (always 0) only keeps attribute 0 in use; see renderer.js.
  var VERTEX_FULL = HEADER +
    'layout(location = 0) in float a_zero;\n' +
    'void main() {\n' +
    '  vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));\n' +
    '  gl_Position = vec4(p * 2.0 - 1.0, a_zero, 1.0);\n' +
    '}\n';

  var NOISE = [
    'float hash12(vec2 p) { vec3 p3 = fract(vec3(p.xyx) * 0.1031); p3 += dot(p3, p3.yzx + 33.33); return fract((p3.x + p3.y) * p3.z); }',
    'vec2 hash22(vec2 p) { vec3 p3 = fract(vec3(p.xyx) * vec3(0.1031, 0.1030, 0.0973)); p3 += dot(p3, p3.yzx + 33.33); return fract((p3.xx + p3.yz) * p3.zy); }',
    'float noise(vec2 p) {',
    '  vec2 i = floor(p), f = fract(p); vec2 u = f * f * (3.0 - 2.0 * f);',
    '  return mix(mix(hash12(i), hash12(i + vec2(1.0, 0.0)), u.x), mix(hash12(i + vec2(0.0, 1.0)), hash12(i + vec2(1.0, 1.0)), u.x), u.y);',
    '}',
    'float fbm(vec2 p, int octaves) {',
    '  float v = 0.0, a = 0.5, total = 0.0;',
    '  for (int i = 0; i < 6; i++) {',
    '    if (i >= octaves) break;',
    '    v += a * noise(p); total += a; p = mat2(1.6, 1.2, -1.2, 1.6) * p + 7.3; a *= 0.5;',
    '  }',
    '  return v / total;',
    '}'
  ].join('\n') + '\n';

  var SCENE_UNIFORMS = [
    'uniform vec2 u_res;',
    'uniform float u_time;',
    'uniform float u_pulse;',
    'uniform vec3 u_cam;',         // rotation, zoom, unused
    'uniform vec2 u_camOffset;',
    'uniform vec3 u_bgTop;',
    'uniform vec3 u_bgBottom;',
    'uniform vec4 u_finish;',      // exposure, grain, vignette, flash
    'uniform mat3 u_hue;',
    'uniform vec4 u_lp0[6];',      // intensity, scale, speed, detail
    'uniform vec4 u_lp1[6];',      // x, y, audio drive, blend
    'uniform vec3 u_lc0[6];',
    'uniform vec3 u_lc1[6];',
    'out vec4 outColor;'
  ].join('\n') + '\n';

  // Each layer: (uv, p0, p1, c0, c1) -> (light, coverage).
  var LAYERS = {
    nebula: [
      'vec4 L_nebula(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  float t = u_time * p0.z * 0.15;',
      '  int oct = 2 + int(p0.w * 3.0 + 0.5);',
      '  vec2 q = (uv - p1.xy) * (1.8 / p0.y);',
      '  vec2 w = vec2(fbm(q + vec2(0.0, t), oct - 1), fbm(q + vec2(5.2, 1.3) - t, oct - 1));',
      '  float n = fbm(q + 2.5 * w + vec2(0.7 * t, -0.3 * t), oct);',
      '  float d = clamp(n * n * 1.9 - 0.1 + 0.15 * p1.z, 0.0, 1.6);',
      '  vec3 c = mix(c0, c1, smoothstep(0.25, 0.85, w.x));',
      '  c = mix(c, vec3(1.0), smoothstep(0.8, 1.4, d) * 0.4);',
      '  return vec4(c * d * (0.9 + 0.5 * p1.z), clamp(d, 0.0, 1.0));',
      '}'],
    aurora: [
      'vec4 L_aurora(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  float t = u_time * p0.z * 0.3;',
      '  int n = 2 + int(p0.w * 3.0 + 0.5);',
      '  vec3 acc = vec3(0.0); float cov = 0.0;',
      '  for (int k = 0; k < 5; k++) {',
      '    if (k >= n) break;',
      '    float fk = float(k);',
      '    float x = (uv.x - p1.x) / p0.y + fk * 1.7;',
      '    float base = p1.y - 0.05 + fk * 0.08 + 0.12 * sin(x * 1.3 + t + fk) + 0.05 * sin(x * 3.1 - t * 1.3 + fk * 2.0);',
      '    float d = uv.y - base;',
      '    float curtain = smoothstep(-0.015, 0.01, d) * exp(-max(d, 0.0) * 5.0 / (1.0 + 0.6 * p1.z));',
      '    float streak = 0.4 + 0.6 * noise(vec2(x * 11.0, t * 0.8 + fk * 3.0));',
      '    float a = curtain * streak * (0.55 + 0.45 * sin(x * 0.7 + t * 0.5 + fk * 1.9));',
      '    acc += mix(c0, c1, clamp(d * 2.5, 0.0, 1.0)) * a * (0.55 + 0.35 * p1.z);',
      '    cov = max(cov, a);',
      '  }',
      '  return vec4(acc, clamp(cov, 0.0, 1.0));',
      '}'],
    rings: [
      'vec4 L_rings(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  vec2 d = uv - p1.xy; float r = length(d); float a = atan(d.y, d.x);',
      '  float t = u_time * p0.z;',
      '  r += 0.02 * sin(a * 6.0 + t * 1.5) * p1.z;',
      '  float f = r * 8.0 / p0.y - t * 0.8 - u_pulse * 0.4;',
      '  float ring = pow(0.5 + 0.5 * cos(f * 6.2831853), 4.0 + p0.w * 40.0);',
      '  float fade = exp(-r * 1.3) * smoothstep(0.0, 0.06, r);',
      '  vec3 c = mix(c0, c1, 0.5 + 0.5 * sin(floor(f + 0.5) * 1.7));',
      '  float e = ring * fade * (0.8 + 0.8 * p1.z);',
      '  return vec4(c * e * 1.5, clamp(e, 0.0, 1.0));',
      '}'],
    tunnel: [
      'vec4 L_tunnel(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  vec2 d = uv - p1.xy; float r = max(length(d), 1e-3); float a = atan(d.y, d.x);',
      '  float t = u_time * p0.z;',
      '  float z = 0.35 * p0.y / r + t * 0.8;',
      '  float segs = floor(6.0 + p0.w * 18.0);',
      '  vec2 g = vec2(z, a * segs / 6.2831853 + z * 0.15);',
      '  vec2 f = 0.5 - abs(fract(g) - 0.5);',
      // The angle jumps by a whole turn on the left; its screen-space width
      // comes from the radius instead of fwidth so the seam stays invisible.
      '  float wx = fwidth(g.x) + 1e-4;',
      '  vec2 w = vec2(wx, segs / (6.2831853 * r * u_res.y * u_cam.y) + 0.15 * wx);',
      '  float line = 1.0 - smoothstep(0.0, 1.5 + 2.0 * p1.z, min(f.x / w.x, f.y / w.y));',
      '  float band = pow(0.5 + 0.5 * cos((z - t * 0.4) * 1.3), 10.0) * (0.3 + p1.z);',
      '  float fog = smoothstep(0.0, 0.45, r);',
      '  vec3 c = mix(c0, c1, 0.5 + 0.5 * sin(z * 0.6));',
      '  float e = (line * (0.8 + 0.6 * p1.z) + band * 0.5 + 0.06) * fog;',
      '  return vec4(c * e, clamp(e, 0.0, 1.0));',
      '}'],
    grid: [
      'vec4 L_grid(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  float t = u_time * p0.z;',
      '  float hz = p1.y * 0.5;',
      '  float below = hz - uv.y;',
      '  vec3 acc = vec3(0.0); float cov = 0.0;',
      '  if (below > 0.002) {',
      '    float z = 0.25 / below;',
      '    vec2 g = vec2((uv.x - p1.x) * z * 2.0, z + t * 1.2) / p0.y;',
      '    vec2 f = 0.5 - abs(fract(g) - 0.5);',
      '    vec2 w = fwidth(g) + 1e-4;',
      '    float e = min(f.x / w.x, f.y / w.y);',
      '    float line = 1.0 - smoothstep(0.0, 1.2 + 1.5 * p1.z, e);',
      '    float glow = exp(-e * 0.25) * 0.25;',
      '    float fade = exp(-z * 0.06);',
      '    float v = (line + glow) * fade * (0.8 + 0.6 * p1.z);',
      '    acc += c0 * v; cov = clamp(v, 0.0, 1.0);',
      '  }',
      '  vec2 sc = vec2(p1.x, hz + 0.2 * p0.y);',
      '  float rad = 0.2 * p0.y * (1.0 + 0.08 * p1.z);',
      '  float r = length(uv - sc);',
      '  float s = (sc.y - uv.y) / rad;',
      '  float gap = s > 0.0 ? step(s * 0.45, fract((uv.y - t * 0.02) * 28.0 / p0.y)) : 1.0;',
      '  float disc = smoothstep(rad, rad - 0.004, r) * gap * step(0.0, uv.y - hz);',
      '  vec3 sun = mix(c0, c1, clamp(0.5 - s * 0.6, 0.0, 1.0));',
      '  acc += sun * disc * 1.2 + mix(c0, c1, 0.3) * exp(-max(r - rad, 0.0) * 7.0) * 0.35 * (1.0 - disc) * step(0.0, uv.y - hz);',
      '  acc += c0 * exp(-abs(below) * 60.0) * 0.6;',
      '  return vec4(acc, max(cov, disc));',
      '}'],
    waves: [
      'vec4 L_waves(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  float t = u_time * p0.z;',
      '  int n = 3 + int(p0.w * 5.0 + 0.5);',
      '  float fn = float(n);',
      '  vec3 acc = vec3(0.0); float cov = 0.0;',
      '  for (int k = 0; k < 8; k++) {',
      '    if (k >= n) break;',
      '    float fk = float(k);',
      '    float x = uv.x - p1.x;',
      '    float y0 = p1.y + (fk - (fn - 1.0) * 0.5) * 0.05 * p0.y;',
      '    float amp = (0.05 + 0.09 * p1.z) * p0.y * (0.6 + 0.4 * sin(fk * 1.3 + t * 0.3));',
      '    float y = y0 + amp * sin(x * (2.5 + fk * 0.6) / p0.y + t * (1.0 + fk * 0.15) + fk) * (0.6 + 0.4 * sin(x * 1.1 - t * 0.4 + fk * 2.0));',
      '    float d = abs(uv.y - y);',
      '    float glow = 0.0025 / (d + 0.0025);',
      '    acc += mix(c0, c1, fk / max(fn - 1.0, 1.0)) * glow * 0.45;',
      '    cov = max(cov, glow);',
      '  }',
      '  return vec4(acc, clamp(cov, 0.0, 1.0));',
      '}'],
    particles: [
      'vec4 L_particles(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  float t = u_time * p0.z;',
      '  int n = 1 + int(p0.w * 3.0 + 0.5);',
      '  float fn = float(n);',
      '  vec3 acc = vec3(0.0); float cov = 0.0;',
      '  for (int k = 0; k < 4; k++) {',
      '    if (k >= n) break;',
      '    float fk = float(k);',
      '    float cyc = t * 0.08 + fk / fn;',
      '    float z = fract(cyc);',
      '    vec2 q = (uv - p1.xy) * mix(14.0, 2.0, z) / p0.y + floor(cyc) * 7.13 + fk * 3.1;',
      '    vec2 id = floor(q); vec2 f = fract(q) - 0.5;',
      '    vec2 h = hash22(id);',
      '    float d = length(f - (h - 0.5) * 0.6);',
      '    float size = (0.025 + 0.045 * h.y) * (1.0 + 0.7 * p1.z);',
      '    float star = smoothstep(size, 0.0, d) + size * 0.25 / (d + 0.03) * smoothstep(0.5, 0.15, d);',
      '    float tw = 0.6 + 0.4 * sin(u_time * 3.0 + h.x * 40.0);',
      '    float fade = smoothstep(0.0, 0.35, z) * smoothstep(1.0, 0.7, z);',
      '    float e = star * tw * fade * step(0.3, h.x);',
      '    acc += mix(c0, c1, h.y) * e; cov = max(cov, e);',
      '  }',
      '  return vec4(acc, clamp(cov, 0.0, 1.0));',
      '}'],
    kaleido: [
      'vec4 L_kaleido(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  vec2 d = uv - p1.xy; float r = length(d); float a = atan(d.y, d.x);',
      '  float t = u_time * p0.z * 0.2;',
      '  float seg = 6.2831853 / floor(3.0 + p0.w * 9.0);',
      '  a = mod(a + t * 0.3, seg); a = abs(a - seg * 0.5);',
      '  vec2 q = vec2(cos(a), sin(a)) * r / p0.y * 2.5 + vec2(t, t * 0.6);',
      '  float n1 = fbm(q, 3);',
      '  float n2 = fbm(q * 1.7 + n1 * 2.0 - t, 3);',
      '  float lines = pow(1.0 - abs(sin((n2 + r * 1.5 - t * 1.5) * 10.0)), 4.0);',
      '  float shape = smoothstep(0.35, 0.75, n2 + 0.15 * p1.z);',
      '  vec3 c = mix(c0, c1, 0.5 + 0.5 * sin(n2 * 7.0 + t + r * 3.0));',
      '  float v = (shape * 0.6 + lines * 0.9) * (0.7 + 0.6 * p1.z) * smoothstep(1.6, 0.1, r);',
      '  return vec4(c * v, clamp(v, 0.0, 1.0));',
      '}'],
    orb: [
      'vec4 L_orb(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  vec2 d = uv - p1.xy; float r = length(d); vec2 dir = d / max(r, 1e-4);',
      '  float t = u_time * p0.z;',
      '  float rad = 0.17 * p0.y * (1.0 + 0.15 * min(p1.z, 2.0));',
      '  float wob = (0.012 + 0.03 * p1.z) * p0.y * (noise(dir * (1.5 + 2.0 * p0.w) + vec2(t * 0.7, -t * 0.5)) * 2.0 - 1.0);',
      '  float R = rad + wob;',
      '  float body = smoothstep(R, R - 0.006, r);',
      '  float inner = clamp(r / max(R, 1e-3), 0.0, 1.0);',
      '  float swirl = noise(d * 7.0 / p0.y + vec2(t * 0.4, t * 0.2)) * 0.6 + noise(d * 19.0 / p0.y - vec2(t * 0.3, -t * 0.5)) * 0.4;',
      '  vec3 c = mix(c1, c0, smoothstep(0.0, 0.9, inner * (0.6 + 0.6 * swirl))) * (0.3 + 0.9 * swirl) * (1.0 - 0.45 * inner * inner);',
      '  float glow = exp(-max(r - R, 0.0) * 11.0 / p0.y) * (0.3 + 0.25 * min(p1.z, 2.0));',
      '  float rim = exp(-abs(r - R) * 90.0);',
      '  vec3 rgb = c * body * 1.1 + c0 * glow * (1.0 - body) + mix(c0, c1, 0.5) * rim * 0.6;',
      '  return vec4(rgb, max(body, glow * 0.6));',
      '}'],
    bars: [
      'vec4 L_bars(vec2 uv, vec4 p0, vec4 p1, vec3 c0, vec3 c1) {',
      '  vec2 d = uv - p1.xy; float r = length(d); float a = atan(d.y, d.x) / 6.2831853 + 0.5;',
      '  float t = u_time * p0.z;',
      '  float n = floor(24.0 + p0.w * 72.0);',
      '  float ai = a * n; float id = floor(ai); float fx = fract(ai);',
      '  float sid = min(id, n - 1.0 - id);',
      '  float h = noise(vec2(sid * 0.35, t * 1.5));',
      '  h = pow(h, 1.5) * (0.08 + 0.22 * p1.z) * p0.y + 0.012;',
      '  float R0 = 0.22 * p0.y;',
      '  float inBar = smoothstep(R0 - 0.003, R0, r) * smoothstep(R0 + h + 0.004, R0 + h, r) * smoothstep(0.1, 0.22, fx) * smoothstep(0.9, 0.78, fx);',
      '  vec3 c = mix(c0, c1, clamp((r - R0) / 0.25, 0.0, 1.0));',
      '  float ring = exp(-abs(r - R0) * 40.0) * 0.5;',
      '  float mirror = smoothstep(R0 - h * 0.5, R0, r) * step(r, R0) * smoothstep(0.1, 0.22, fx) * smoothstep(0.9, 0.78, fx) * 0.25;',
      '  return vec4(c * (inBar * 1.3 + mirror) + c0 * ring, clamp(max(inBar, ring), 0.0, 1.0));',
      '}']
  };

  var SCENE_TAIL = [
    'vec3 blendLayer(vec3 col, vec4 L, float intensity, float mode) {',
    '  vec3 light = L.rgb * intensity;',
    '  if (mode < 0.5) return col + light;',
    '  if (mode < 1.5) return 1.0 - (1.0 - col) * (1.0 - clamp(light, 0.0, 1.0));',
    '  return col * (1.0 - clamp(L.a * intensity, 0.0, 1.0)) + light;',
    '}',
    'vec3 tonemap(vec3 x) { return clamp((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0); }'
  ].join('\n') + '\n';

  function sceneFragment(types) {
    var used = {};
    var src = HEADER + SCENE_UNIFORMS + NOISE;
    types.forEach(function (t) { if (!used[t]) { used[t] = true; src += LAYERS[t].join('\n') + '\n'; } });
    src += SCENE_TAIL;
    src += 'void main() {\n' +
      '  vec2 uv0 = (gl_FragCoord.xy - 0.5 * u_res) / u_res.y;\n' +
      '  float cr = cos(u_cam.x), sr = sin(u_cam.x);\n' +
      '  vec2 uv = mat2(cr, sr, -sr, cr) * uv0 / u_cam.y + u_camOffset;\n' +
      '  vec3 col = mix(u_bgBottom, u_bgTop, gl_FragCoord.y / u_res.y);\n' +
      '  vec4 L;\n';
    types.forEach(function (t, i) {
      src += '  L = L_' + t + '(uv, u_lp0[' + i + '], u_lp1[' + i + '], u_lc0[' + i + '], u_lc1[' + i + ']);\n' +
        '  col = blendLayer(col, L, u_lp0[' + i + '].x, u_lp1[' + i + '].w);\n';
    });
    src += '  col = max(u_hue * (col * u_finish.x * (1.0 + u_finish.w)), 0.0);\n' +
      '  col = tonemap(col);\n' +
      '  col *= 1.0 - u_finish.z * smoothstep(0.35, 1.1, length(uv0 * vec2(u_res.y / u_res.x, 1.0)) * 1.2);\n' +
      '  col += (hash12(gl_FragCoord.xy + fract(u_time * 7.31) * 311.0) - 0.5) * u_finish.y * 0.08;\n' +
      '  outColor = vec4(col, 1.0);\n' +
      '}\n';
    return src;
  }

  // Post effects in the order they apply; each has a define in the variant.
  var POST_EFFECTS = ['pixelate', 'radialBlur', 'chroma', 'bloom', 'dots', 'ascii', 'grayscale', 'scanlines'];

  var POST_BODY = [
    'uniform sampler2D u_scene;',
    'uniform sampler2D u_bloom;',
    'uniform vec2 u_res;',
    'uniform float u_time;',
    'uniform float u_bass;',
    'uniform float u_fx[8];',   // amounts in POST_EFFECTS order
    'out vec4 outColor;',
    // Radial blur takes plain taps and chroma replaces only red and blue, so
    // with both on a pixel costs ten texture reads rather than twenty-four.
    'vec3 sampleScene(vec2 uv) {',
    '#ifdef FX_RADIALBLUR',
    '  vec3 col = vec3(0.0);',
    '  vec2 stride = (vec2(0.5) - uv) * u_fx[1] * (0.1 + 0.08 * u_bass) / 8.0;',
    '  for (int i = 0; i < 8; i++) col += texture(u_scene, uv + stride * float(i)).rgb;',
    '  col /= 8.0;',
    '#else',
    '  vec3 col = texture(u_scene, uv).rgb;',
    '#endif',
    '#ifdef FX_CHROMA',
    '  vec2 off = (uv - 0.5) * u_fx[2] * 0.018 * (1.0 + u_bass);',
    '  col.r = texture(u_scene, uv + off).r;',
    '  col.b = texture(u_scene, uv - off).b;',
    '#endif',
    '  return col;',
    '}',
    'float luma(vec3 c) { return dot(c, vec3(0.299, 0.587, 0.114)); }',
    'float glyph(int n, vec2 p) {',
    '  p = floor(p * vec2(-4.0, 4.0) + 2.5);',
    '  if (clamp(p.x, 0.0, 4.0) == p.x && clamp(p.y, 0.0, 4.0) == p.y) {',
    '    int a = int(p.x + 5.0 * p.y);',
    '    if (((n >> a) & 1) == 1) return 1.0;',
    '  }',
    '  return 0.0;',
    '}',
    'void main() {',
    '  vec2 frag = gl_FragCoord.xy;',
    '#ifdef FX_PIXELATE',
    '  float block = 1.0 + floor(u_fx[0] * 15.0);',
    '  frag = (floor(frag / block) + 0.5) * block;',
    '#endif',
    '  vec2 uv = frag / u_res;',
    '  vec3 col = sampleScene(uv);',
    '#ifdef FX_BLOOM',
    '  col += texture(u_bloom, uv).rgb * u_fx[3] * 1.8;',
    '#endif',
    '#ifdef FX_DOTS',
    '  {',
    '    float cell = 7.0;',
    '    vec2 cc = (floor(gl_FragCoord.xy / cell) + 0.5) * cell;',
    '    vec3 c = texture(u_scene, cc / u_res).rgb;',
    '    float radius = sqrt(clamp(luma(c), 0.0, 1.0)) * cell * 0.65;',
    '    float spot = smoothstep(radius, radius - 1.0, length(gl_FragCoord.xy - cc));',
    '    col = mix(col, c * spot * 1.4, u_fx[4]);',
    '  }',
    '#endif',
    '#ifdef FX_ASCII',
    '  {',
    '    vec2 cc = (floor(gl_FragCoord.xy / 8.0) + 0.5) * 8.0;',
    '    vec3 c = texture(u_scene, cc / u_res).rgb;',
    '    float g = luma(c);',
    '    int n = 4096;',
    '    if (g > 0.1) n = 65600;',
    '    if (g > 0.2) n = 332772;',
    '    if (g > 0.3) n = 15255086;',
    '    if (g > 0.4) n = 23385164;',
    '    if (g > 0.5) n = 15252014;',
    '    if (g > 0.6) n = 13199452;',
    '    if (g > 0.7) n = 11512810;',
    '    vec2 p = mod(gl_FragCoord.xy / 4.0, 2.0) - vec2(1.0);',
    '    col = mix(col, c * 1.5 * glyph(n, p), u_fx[5]);',
    '  }',
    '#endif',
    '#ifdef FX_GRAYSCALE',
    '  col = mix(col, vec3(luma(col)), u_fx[6]);',
    '#endif',
    '#ifdef FX_SCANLINES',
    '  col *= 1.0 - u_fx[7] * (0.45 * (0.5 + 0.5 * sin(gl_FragCoord.y * 2.0943951)) + 0.1 * (0.5 + 0.5 * sin(gl_FragCoord.y * 0.02 - u_time * 2.0)));',
    '#endif',
    '  outColor = vec4(col, 1.0);',
    '}'
  ].join('\n') + '\n';

  function postFragment(mask) {
    var defines = '';
    POST_EFFECTS.forEach(function (name, i) { if (mask & (1 << i)) defines += '#define FX_' + name.toUpperCase() + '\n'; });
    return HEADER + defines + POST_BODY;
  }

  // Bright pass into the quarter-size bloom target.
  var BRIGHT = HEADER + [
    'uniform sampler2D u_src;',
    'uniform vec2 u_res;',
    'out vec4 outColor;',
    'void main() {',
    '  vec2 uv = gl_FragCoord.xy / u_res;',
    '  vec2 px = 1.0 / u_res;',
    '  vec3 c = (texture(u_src, uv + px * vec2(-0.25, -0.25)).rgb + texture(u_src, uv + px * vec2(0.25, -0.25)).rgb +',
    '            texture(u_src, uv + px * vec2(-0.25, 0.25)).rgb + texture(u_src, uv + px * vec2(0.25, 0.25)).rgb) * 0.25;',
    '  float l = max(c.r, max(c.g, c.b));',
    '  outColor = vec4(c * smoothstep(0.35, 0.9, l), 1.0);',
    '}'].join('\n') + '\n';

  var BLUR = HEADER + [
    'uniform sampler2D u_src;',
    'uniform vec2 u_res;',
    'uniform vec2 u_dir;',
    'out vec4 outColor;',
    'void main() {',
    '  vec2 uv = gl_FragCoord.xy / u_res;',
    '  vec2 o1 = u_dir * 1.3846153846 / u_res, o2 = u_dir * 3.2307692308 / u_res;',
    '  vec3 c = texture(u_src, uv).rgb * 0.2270270270;',
    '  c += (texture(u_src, uv + o1).rgb + texture(u_src, uv - o1).rgb) * 0.3162162162;',
    '  c += (texture(u_src, uv + o2).rgb + texture(u_src, uv - o2).rgb) * 0.0702702703;',
    '  outColor = vec4(c, 1.0);',
    '}'].join('\n') + '\n';

  // Lyrics as part of the scene: a quad with two text textures crossfading.
  var LYRIC_VERTEX = HEADER + [
    'layout(location = 0) in float a_zero;',
    'uniform vec4 u_rect;',        // centre x, y, half width, half height (clip space)
    'out vec2 v_uv;',
    'void main() {',
    '  vec2 p = vec2(float((gl_VertexID == 1 || gl_VertexID == 4 || gl_VertexID == 5) ? 1 : 0), float((gl_VertexID == 2 || gl_VertexID == 3 || gl_VertexID == 5) ? 1 : 0));',
    '  v_uv = vec2(p.x, 1.0 - p.y);',
    '  gl_Position = vec4(u_rect.xy + (p * 2.0 - 1.0) * u_rect.zw, a_zero, 1.0);',
    '}'].join('\n') + '\n';

  var LYRIC_FRAGMENT = HEADER + [
    'uniform sampler2D u_text0;',
    'uniform sampler2D u_text1;',
    'uniform vec3 u_alpha;',       // previous line, current line, beat pulse
    'uniform vec3 u_tint;',
    'uniform vec3 u_tint2;',
    'in vec2 v_uv;',
    'out vec4 outColor;',
    'vec4 shade(float m, float alpha, float pulse) {',
    '  float core = smoothstep(0.82, 0.98, m);',
    '  float glow = m * (1.0 - core) * (0.9 + 0.8 * pulse);',
    '  vec3 tint = mix(u_tint, u_tint2, v_uv.x);',
    '  vec3 rgb = tint * glow * 1.4 + mix(vec3(1.0), tint, 0.15) * core;',
    '  float a = clamp(core + glow * 0.6, 0.0, 1.0) * alpha;',
    '  return vec4(rgb * alpha, a);',
    '}',
    'void main() {',
    '  vec4 a = shade(texture(u_text0, v_uv).a, u_alpha.x, u_alpha.z);',
    '  vec4 b = shade(texture(u_text1, v_uv).a, u_alpha.y, u_alpha.z);',
    '  outColor = a + b * (1.0 - a.a);',
    '}'].join('\n') + '\n';

  var api = {
    VERTEX_FULL: VERTEX_FULL, LAYERS: Object.keys(LAYERS), POST_EFFECTS: POST_EFFECTS,
    sceneFragment: sceneFragment, postFragment: postFragment,
    BRIGHT: BRIGHT, BLUR: BLUR, LYRIC_VERTEX: LYRIC_VERTEX, LYRIC_FRAGMENT: LYRIC_FRAGMENT
  };
  if (typeof module !== 'undefined' && module.exports) module.exports = api;
  else (root.Vesmer = root.Vesmer || {}).shaders = api;
})(this);
