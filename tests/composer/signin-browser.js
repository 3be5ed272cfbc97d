// The sign-in page in a real browser: starts headless Chromium, drives it over
// the DevTools protocol (through --remote-debugging-pipe), loads the page, clicks
// "Connect this computer" with a real mouse event, and prints, as one JSON line,
// where the browser was sent: {"navigatedTo": "vesmer://activate?key=…", …}.
// Usage: node signin-browser.js CHROMIUM PAGE_URL PROFILE_DIR
'use strict';
const { spawn } = require('node:child_process');

const [chromium, pageUrl, profile] = process.argv.slice(2);
const deadline = setTimeout(() => finish({ error: 'timed out' }), 40000);

const browser = spawn(chromium, [
  '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--disable-extensions', '--disable-dev-shm-usage',
  '--no-default-browser-check', '--user-data-dir=' + profile, '--remote-debugging-pipe', 'about:blank'
], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
const toBrowser = browser.stdio[3], fromBrowser = browser.stdio[4];
let browserLog = '';
browser.stderr.on('data', (d) => { browserLog = (browserLog + d).slice(-4000); });
browser.on('exit', (code) => finish({ error: 'the browser exited (' + code + ')', log: browserLog }));

let nextId = 1;
const pending = new Map();
const listeners = [];
function send(method, params, sessionId) {
  const id = nextId++;
  const message = { id, method, params: params || {} };
  if (sessionId) message.sessionId = sessionId;
  toBrowser.write(JSON.stringify(message) + '\0');
  return new Promise((resolve, reject) => pending.set(id, { resolve, reject, method }));
}
function waitFor(test) {
  return new Promise((resolve) => listeners.push({ test, resolve }));
}
let buffer = '';
fromBrowser.on('data', (chunk) => {
  buffer += chunk.toString('utf8');
  let end;
  while ((end = buffer.indexOf('\0')) >= 0) {
    const message = JSON.parse(buffer.slice(0, end));
    buffer = buffer.slice(end + 1);
    if (message.id && pending.has(message.id)) {
      const p = pending.get(message.id);
      pending.delete(message.id);
      if (message.error) p.reject(new Error(p.method + ': ' + message.error.message));
      else p.resolve(message.result);
    } else if (message.method) {
      seen(message);
      for (let i = listeners.length - 1; i >= 0; i--) {
        if (listeners[i].test(message)) { listeners[i].resolve(message); listeners.splice(i, 1); }
      }
    }
  }
});

// Every way the browser can tell us it was sent to the app's scheme.
const result = { navigatedTo: null, pageStatus: null, buttonText: null };
let resolveApp;
const appNavigation = new Promise((resolve) => { resolveApp = resolve; });
function toApp(url) {
  if (typeof url === 'string' && url.startsWith('vesmer://') && !result.navigatedTo) {
    result.navigatedTo = url;
    resolveApp();
  }
}
function seen(m) {
  const p = m.params || {};
  if (m.method === 'Network.requestWillBeSent') {
    toApp(p.request && p.request.url);
    if (p.redirectResponse && p.redirectResponse.headers) toApp(p.redirectResponse.headers.location || p.redirectResponse.headers.Location);
  }
  if (m.method === 'Network.responseReceived' && p.response && p.response.url && p.response.url.endsWith('/app/?desktop-auth=1')) {
    result.pageStatus = p.response.status;
  }
  if (m.method === 'Page.frameRequestedNavigation' || m.method === 'Page.frameScheduledNavigation') toApp(p.url);
  if (m.method === 'Page.navigatedWithinDocument' || m.method === 'Page.frameNavigated') toApp((p.frame && p.frame.url) || p.url);
}

let done = false;
function finish(out) {
  if (done) return;
  done = true;
  clearTimeout(deadline);
  process.stdout.write(JSON.stringify(Object.assign({}, result, out)) + '\n');
  try { browser.kill('SIGKILL'); } catch (e) { /* already gone */ }
  process.exit(out.error ? 1 : 0);
}

(async () => {
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  await send('Network.enable', {}, sessionId);
  await send('Page.enable', {}, sessionId);
  const loaded = waitFor((m) => m.sessionId === sessionId && m.method === 'Page.loadEventFired');
  await send('Page.navigate', { url: pageUrl }, sessionId);
  await loaded;
  const { result: box } = await send('Runtime.evaluate', {
    expression: 'JSON.stringify((() => { const b = document.querySelector("button"); const r = b.getBoundingClientRect(); ' +
      'return { text: b.textContent, x: r.left + r.width / 2, y: r.top + r.height / 2, scripts: document.scripts.length }; })())',
    returnByValue: true
  }, sessionId);
  const button = JSON.parse(box.value);
  result.buttonText = button.text;
  result.scripts = button.scripts;
  for (const type of ['mouseMoved', 'mousePressed', 'mouseReleased']) {
    await send('Input.dispatchMouseEvent', { type, x: button.x, y: button.y, button: 'left', clickCount: 1 }, sessionId);
  }
  await appNavigation;
  finish({});
})().catch((e) => finish({ error: String(e && e.message || e) }));
