// The sign-in page in a real browser: starts headless Chromium, drives it over
// the DevTools protocol (through --remote-debugging-pipe), loads the page, clicks
// its button with a real mouse event (the browser opens an app's scheme only
// after a user gesture), and prints where the browser was sent as one JSON line:
// {"navigatedTo": "vesmer://activate?key=…"}, or {"error": …}.
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

const waiters = [];  // {test, resolve}: each resolved by the first message it accepts
function waitFor(test) {
  return new Promise((resolve) => waiters.push({ test, resolve }));
}
let nextId = 1;
async function send(method, params, sessionId) {
  const id = nextId++;
  const reply = waitFor((m) => m.id === id);
  toBrowser.write(JSON.stringify({ id, method, params: params || {}, sessionId }) + '\0');
  const { result, error } = await reply;
  if (error) throw new Error(method + ': ' + error.message);
  return result;
}
let buffer = '';
fromBrowser.on('data', (chunk) => {
  const messages = (buffer + chunk.toString('utf8')).split('\0');
  buffer = messages.pop();
  for (const message of messages.map((text) => JSON.parse(text))) {
    for (const w of waiters.filter((w) => w.test(message))) {
      waiters.splice(waiters.indexOf(w), 1);
      w.resolve(message);
    }
  }
});

let done = false;
function finish(out) {
  if (done) return;
  done = true;
  clearTimeout(deadline);
  process.stdout.write(JSON.stringify(out) + '\n');
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
  const toApp = waitFor((m) => m.method === 'Network.requestWillBeSent' && m.params.request.url.startsWith('vesmer://'));
  const { result: { value: button } } = await send('Runtime.evaluate', {
    expression: '(() => { const r = document.querySelector("button").getBoundingClientRect(); ' +
      'return { x: r.left + r.width / 2, y: r.top + r.height / 2 }; })()',
    returnByValue: true
  }, sessionId);
  for (const type of ['mouseMoved', 'mousePressed', 'mouseReleased']) {
    await send('Input.dispatchMouseEvent', { type, x: button.x, y: button.y, button: 'left', clickCount: 1 }, sessionId);
  }
  finish({ navigatedTo: (await toApp).params.request.url });
})().catch((e) => finish({ error: String(e && e.message || e) }));
