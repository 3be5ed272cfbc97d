// The visuals page's own verdict on graphs: the shipped graph code
// (visuals/lib/graph.js) decides each graph text of a JSON array on standard
// input as vesmerApplyGraph would, and its message ("ok" when drawn) is printed.
// Usage: node page-verdict.js GRAPH_JS < GRAPHS_JSON
const graph = require(process.argv[2]);
const texts = JSON.parse(require('fs').readFileSync(0, 'utf8'));
process.stdout.write(JSON.stringify(texts.map((text) => graph.decide(text).message)));
