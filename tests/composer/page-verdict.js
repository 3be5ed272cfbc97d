// The visuals page's own verdict on graphs: runs the shipped graph code
// (visuals/lib/graph.js) over a JSON array of graph texts on standard input and
// prints one {status, message, cost} per graph, as vesmerApplyGraph would decide.
// Usage: node page-verdict.js GRAPH_JS < GRAPHS_JSON
const graph = require(process.argv[2]);
const texts = JSON.parse(require('fs').readFileSync(0, 'utf8'));
const out = texts.map((text) => {
  const d = graph.decide(text);
  return { status: d.status, message: d.message, cost: d.graph ? graph.cost(d.graph) : null };
});
process.stdout.write(JSON.stringify(out));
