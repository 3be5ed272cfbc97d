// WebGL2 drawing: scene pass, optional lyric quad, optional post chain.
// Everything the frame needs (programs, uniform locations, targets) is made
// when a scene, effect set or size changes; draw() itself allocates nothing.
(function (root) {
  'use strict';
  var shaders = root.Vesmer.shaders, pacing = root.Vesmer.pacing;

  function compile(gl, type, source) {
    var s = gl.createShader(type);
    gl.shaderSource(s, source);
    gl.compileShader(s);
    if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) {
      var log = gl.getShaderInfoLog(s);
      gl.deleteShader(s);
      throw new Error('shader: ' + log);
    }
    return s;
  }

  function program(gl, vertex, fragment, uniforms) {
    var p = gl.createProgram();
    var vs = compile(gl, gl.VERTEX_SHADER, vertex), fs = compile(gl, gl.FRAGMENT_SHADER, fragment);
    gl.attachShader(p, vs); gl.attachShader(p, fs);
    gl.linkProgram(p);
    gl.deleteShader(vs); gl.deleteShader(fs);
    if (!gl.getProgramParameter(p, gl.LINK_STATUS)) {
      var log = gl.getProgramInfoLog(p);
      gl.deleteProgram(p);
      throw new Error('program: ' + log);
    }
    var loc = {};
    uniforms.forEach(function (u) { loc[u] = gl.getUniformLocation(p, u); });
    return { program: p, loc: loc };
  }

  function target(gl, w, h) {
    var tex = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, tex);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, w, h, 0, gl.RGBA, gl.UNSIGNED_BYTE, null);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    var fb = gl.createFramebuffer();
    gl.bindFramebuffer(gl.FRAMEBUFFER, fb);
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, tex, 0);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    return { tex: tex, fb: fb, w: w, h: h };
  }

  function dropTarget(gl, t) {
    if (!t) return;
    gl.deleteTexture(t.tex);
    gl.deleteFramebuffer(t.fb);
  }

  function textTexture(gl) {
    var tex = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, tex);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, 1, 1, 0, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    return tex;
  }

  var SCENE_UNIFORMS = ['u_res', 'u_time', 'u_pulse', 'u_cam', 'u_camOffset', 'u_bgTop', 'u_bgBottom', 'u_finish', 'u_hue', 'u_lp0', 'u_lp1', 'u_lc0', 'u_lc1'];
  // Every built-in theme and the latest composed scenes step without a recompile.
  var SCENE_PROGRAMS_KEPT = 12;
  var POST_UNIFORMS = ['u_scene', 'u_bloom', 'u_res', 'u_time', 'u_bass', 'u_fx'];

  // Returns null when the canvas cannot give a WebGL2 context.
  function create(canvas) {
    var gl = canvas.getContext('webgl2', { antialias: false, depth: false, stencil: false, alpha: false, premultipliedAlpha: false, preserveDrawingBuffer: false, powerPreference: 'high-performance' });
    if (!gl) return null;
    // Shaders place vertices by gl_VertexID; attribute 0 still gets a buffer
    // because desktop GL drivers emulate a disabled attribute 0 slowly.
    var vao = gl.createVertexArray();
    gl.bindVertexArray(vao);
    gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array(6), gl.STATIC_DRAW);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 1, gl.FLOAT, false, 0, 0);
    var scenePrograms = new Map(), postPrograms = {};  // scene programs from least to most recently used
    var bright = program(gl, shaders.VERTEX_FULL, shaders.BRIGHT, ['u_src', 'u_res']);
    var blur = program(gl, shaders.VERTEX_FULL, shaders.BLUR, ['u_src', 'u_res', 'u_dir']);
    var lyric = program(gl, shaders.LYRIC_VERTEX, shaders.LYRIC_FRAGMENT, ['u_text0', 'u_text1', 'u_alpha', 'u_tint', 'u_tint2', 'u_rect']);
    var texts = [textTexture(gl), textTexture(gl)];
    var scene = null, post = null, postMask = 0;
    var sceneTarget = null, bloomA = null, bloomB = null;
    var width = canvas.width, height = canvas.height;
    var pixel = new Uint8Array(4);

    function ensureTargets(needScene, needBloom) {
      if (needScene && (!sceneTarget || sceneTarget.w !== width || sceneTarget.h !== height)) {
        dropTarget(gl, sceneTarget);
        sceneTarget = target(gl, width, height);
      }
      var bw = Math.max(1, width >> 2), bh = Math.max(1, height >> 2);
      if (needBloom && (!bloomA || bloomA.w !== bw || bloomA.h !== bh)) {
        dropTarget(gl, bloomA); dropTarget(gl, bloomB);
        bloomA = target(gl, bw, bh); bloomB = target(gl, bw, bh);
      }
    }

    // Some engines hide the unmasked name; then the kind is unknown.
    var debugInfo = gl.getExtension('WEBGL_debug_renderer_info');
    var rendererName = debugInfo ? String(gl.getParameter(debugInfo.UNMASKED_RENDERER_WEBGL) || '') : '';

    return {
      maxSize: gl.getParameter(gl.MAX_RENDERBUFFER_SIZE),
      name: rendererName,
      kind: pacing.rendererKind(rendererName),

      // Waits until the frame drawn so far is done, so draw() then finish()
      // is what a frame costs the renderer. gl.finish() would not do: the
      // engine only flushes. Reading one pixel back has to wait for them all.
      finish: function () { gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel); },

      // Compiles (or reuses) the program for a stack of layer types; throws
      // when the driver refuses it, leaving the previous scene in place. Only
      // the most recent stacks stay compiled: composed scenes vary without end
      // and each program holds megabytes of driver code.
      setScene: function (types) {
        var key = types.join(',');
        var chosen = scenePrograms.get(key) || program(gl, shaders.VERTEX_FULL, shaders.sceneFragment(types), SCENE_UNIFORMS);
        scenePrograms.delete(key);
        scenePrograms.set(key, chosen);
        if (scenePrograms.size > SCENE_PROGRAMS_KEPT) {
          var oldest = scenePrograms.keys().next().value;
          gl.deleteProgram(scenePrograms.get(oldest).program);
          scenePrograms.delete(oldest);
        }
        scene = chosen;
      },

      setPostMask: function (mask) {
        postMask = mask;
        if (!mask) { post = null; return; }
        if (!postPrograms[mask]) postPrograms[mask] = program(gl, shaders.VERTEX_FULL, shaders.postFragment(mask), POST_UNIFORMS);
        post = postPrograms[mask];
      },

      resize: function (w, h) {
        width = w; height = h;
        canvas.width = w; canvas.height = h;
      },

      setText: function (slot, source) {
        gl.bindTexture(gl.TEXTURE_2D, texts[slot]);
        gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
        gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, gl.RGBA, gl.UNSIGNED_BYTE, source);
      },

      // f: the frame state of main.js (typed arrays and numbers, reused).
      draw: function (f) {
        if (!scene) return;
        var usePost = post !== null;
        var useBloom = usePost && (postMask & 8) !== 0;
        ensureTargets(usePost, useBloom);
        gl.bindVertexArray(vao);
        gl.disable(gl.BLEND);

        gl.bindFramebuffer(gl.FRAMEBUFFER, usePost ? sceneTarget.fb : null);
        gl.viewport(0, 0, width, height);
        var s = scene.loc;
        gl.useProgram(scene.program);
        gl.uniform2f(s.u_res, width, height);
        gl.uniform1f(s.u_time, f.scalars[0]);
        gl.uniform1f(s.u_pulse, f.scalars[1]);
        gl.uniform3fv(s.u_cam, f.cam);
        gl.uniform2fv(s.u_camOffset, f.camOffset);
        gl.uniform3fv(s.u_bgTop, f.bgTop);
        gl.uniform3fv(s.u_bgBottom, f.bgBottom);
        gl.uniform4fv(s.u_finish, f.finish);
        gl.uniformMatrix3fv(s.u_hue, false, f.hue);
        gl.uniform4fv(s.u_lp0, f.lp0);
        gl.uniform4fv(s.u_lp1, f.lp1);
        gl.uniform3fv(s.u_lc0, f.lc0);
        gl.uniform3fv(s.u_lc1, f.lc1);
        gl.drawArrays(gl.TRIANGLES, 0, 3);

        if (f.lyricAlpha[0] > 0.003 || f.lyricAlpha[1] > 0.003) {
          var l = lyric.loc;
          gl.enable(gl.BLEND);
          gl.blendFunc(gl.ONE, gl.ONE_MINUS_SRC_ALPHA);
          gl.useProgram(lyric.program);
          gl.activeTexture(gl.TEXTURE0); gl.bindTexture(gl.TEXTURE_2D, texts[f.lyricSlot ^ 1]);
          gl.activeTexture(gl.TEXTURE1); gl.bindTexture(gl.TEXTURE_2D, texts[f.lyricSlot]);
          gl.uniform1i(l.u_text0, 0);
          gl.uniform1i(l.u_text1, 1);
          gl.uniform3fv(l.u_alpha, f.lyricAlpha);
          gl.uniform3fv(l.u_tint, f.lyricTint);
          gl.uniform3fv(l.u_tint2, f.lyricTint2);
          gl.uniform4fv(l.u_rect, f.lyricRect);
          gl.drawArrays(gl.TRIANGLES, 0, 6);
          gl.disable(gl.BLEND);
        }

        if (!usePost) return;
        if (useBloom) {
          gl.bindFramebuffer(gl.FRAMEBUFFER, bloomA.fb);
          gl.viewport(0, 0, bloomA.w, bloomA.h);
          gl.useProgram(bright.program);
          gl.activeTexture(gl.TEXTURE0); gl.bindTexture(gl.TEXTURE_2D, sceneTarget.tex);
          gl.uniform1i(bright.loc.u_src, 0);
          gl.uniform2f(bright.loc.u_res, bloomA.w, bloomA.h);
          gl.drawArrays(gl.TRIANGLES, 0, 3);
          gl.useProgram(blur.program);
          gl.uniform1i(blur.loc.u_src, 0);
          gl.uniform2f(blur.loc.u_res, bloomA.w, bloomA.h);
          for (var pass = 0; pass < 2; pass++) {
            gl.bindFramebuffer(gl.FRAMEBUFFER, bloomB.fb);
            gl.bindTexture(gl.TEXTURE_2D, bloomA.tex);
            gl.uniform2f(blur.loc.u_dir, 1 + pass, 0);
            gl.drawArrays(gl.TRIANGLES, 0, 3);
            gl.bindFramebuffer(gl.FRAMEBUFFER, bloomA.fb);
            gl.bindTexture(gl.TEXTURE_2D, bloomB.tex);
            gl.uniform2f(blur.loc.u_dir, 0, 1 + pass);
            gl.drawArrays(gl.TRIANGLES, 0, 3);
          }
        }
        gl.bindFramebuffer(gl.FRAMEBUFFER, null);
        gl.viewport(0, 0, width, height);
        var p = post.loc;
        gl.useProgram(post.program);
        gl.activeTexture(gl.TEXTURE0); gl.bindTexture(gl.TEXTURE_2D, sceneTarget.tex);
        gl.uniform1i(p.u_scene, 0);
        gl.activeTexture(gl.TEXTURE1); gl.bindTexture(gl.TEXTURE_2D, useBloom ? bloomA.tex : sceneTarget.tex);
        gl.uniform1i(p.u_bloom, 1);
        gl.uniform2f(p.u_res, width, height);
        gl.uniform1f(p.u_time, f.scalars[0]);
        gl.uniform1f(p.u_bass, f.scalars[2]);
        gl.uniform1fv(p.u_fx, f.post);
        gl.drawArrays(gl.TRIANGLES, 0, 3);
      }
    };
  }

  (root.Vesmer = root.Vesmer || {}).renderer = { create: create };
})(this);
