// Evaluates one expression in the running visuals page through the engine's
// DevTools endpoint and prints its value (strings as they are, anything else as
// JSON). Used by desktop-load.sh; needs Node 20 with --experimental-websocket.
// Usage: node --experimental-websocket page-eval.mjs PORT EXPRESSION
const [port, expression] = process.argv.slice(2);
if (!port || !expression) {
  console.error('usage: page-eval.mjs PORT EXPRESSION');
  process.exit(2);
}

function fail(message) {
  console.error('page-eval: ' + message);
  process.exit(1);
}

let targets;
try {
  targets = await (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
} catch (e) {
  fail(`no DevTools endpoint on port ${port} (${e.message})`);
}
const page = targets.find((t) => t.type === 'page' && /\/visuals\/index\.html$/.test(t.url));
if (!page) fail('the visuals page is not loaded');

const socket = new WebSocket(page.webSocketDebuggerUrl);
const timer = setTimeout(() => fail('no answer within 10 s'), 10000);
socket.onerror = () => fail('cannot connect to ' + page.webSocketDebuggerUrl);
socket.onopen = () => socket.send(JSON.stringify({ id: 1, method: 'Runtime.evaluate', params: { expression, returnByValue: true } }));
socket.onmessage = (event) => {
  const reply = JSON.parse(event.data);
  if (reply.id !== 1) return;
  clearTimeout(timer);
  socket.close();
  const result = reply.result || {};
  if (reply.error || result.exceptionDetails) fail(JSON.stringify(reply.error || result.exceptionDetails.exception || result.exceptionDetails));
  const value = result.result ? result.result.value : undefined;
  console.log(typeof value === 'string' ? value : JSON.stringify(value));
  process.exit(0);
};
