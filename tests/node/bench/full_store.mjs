// A full store for the viewer benchmark: 50 chains of 1000 thoughts in the
// stored format (compact JSON, members in the stored order, only characters
// that the store and JSON.stringify escape alike). The newest chain holds
// long multi-line thoughts with inline code and a code block, the others
// short two-line thoughts; every 50th thought is a revision and every 97th
// opens a branch.
import fs from 'node:fs';
import path from 'node:path';

const BASE = 1760000000;

function longText(c, i) {
  const lines = [
    `Step ${i + 1} of chain ${c}: we look again at what the previous step established and what is still open.`,
    'The function `merge(a, b)` keeps the order of `a` and appends what is new from `b`; duplicates are decided by key.',
    'If the keys collide we keep the older record, because the newer one may be a partial update that was never confirmed.',
    '```js',
    'function merge(a, b) {',
    '  const seen = new Set(a.map((x) => x.key));',
    '  return a.concat(b.filter((x) => !seen.has(x.key)));',
    '}',
    '```',
    'Open question: what happens when `b` holds the same key twice? The filter keeps both, which is wrong for our case.',
    `So the next step tests merge with a duplicate inside b, and compares the result with the expected list of ${i % 7 + 3} items.`,
  ];
  return lines.join('\n');
}

function shortText(c, i) {
  return `Chain ${c} step ${i + 1}: check input\nthen note result ${i % 13}`;
}

// The store's own text: compact JSON, members in the stored order.
function thoughtObject(text, i, at) {
  const t = { thought: text, thought_number: i + 1, total_thoughts: 1000, next_needed: i < 999 };
  if (i % 50 === 49) { t.is_revision = true; t.revises = i - 3; }
  if (i % 97 === 96) { t.branch_from = i - 1; t.branch_id = `alt-${i}`; }
  t.at = at;
  return t;
}

export function buildStore(dir) {
  const chains = [];
  for (let c = 0; c < 50; c++) {
    const newest = c === 49;
    const started = BASE + c * 3600;
    const thoughts = [];
    for (let i = 0; i < 1000; i++) {
      thoughts.push(thoughtObject(newest ? longText(c, i) : shortText(c, i), i, started + i * 2));
    }
    const branches = [...new Set(thoughts.filter((t) => t.branch_from).map((t) => t.branch_id))];
    chains.push({ id: `th-bench-${String(c).padStart(2, '0')}`, started_at: started, updated_at: started + 1998,
      thoughts, count: thoughts.length, branches });
  }
  const text = JSON.stringify({ chains });
  fs.mkdirSync(dir, { recursive: true });
  fs.writeFileSync(path.join(dir, 'chains.json'), text);
  return text.length;
}

