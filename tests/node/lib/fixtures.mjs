// Chains files written straight into a state directory, in the stored format.
import fs from 'node:fs';
import path from 'node:path';

export function thought(text, number, total, extra = {}) {
  return { thought: text, thought_number: number, total_thoughts: total, next_needed: true, ...extra, at: 1700000000 + number };
}

export function chain(id, thoughts, updatedAt = 1700000000) {
  const branches = [];
  const seen = new Set();
  for (const t of thoughts) {
    if (t.branch_id === undefined) continue;
    if (t.branch_from && !seen.has(t.branch_id)) branches.push(t.branch_id);
    seen.add(t.branch_id);
  }
  return { id, started_at: updatedAt - 60, updated_at: updatedAt, thoughts, count: thoughts.length, branches };
}

export function writeChains(stateDir, chains) {
  fs.mkdirSync(stateDir, { recursive: true });
  fs.writeFileSync(path.join(stateDir, 'chains.json'), JSON.stringify({ chains }));
}

export function writeRaw(stateDir, text) {
  fs.mkdirSync(stateDir, { recursive: true });
  fs.writeFileSync(path.join(stateDir, 'chains.json'), text);
}

export const chainsPath = (stateDir) => path.join(stateDir, 'chains.json');

// A chain that shows every kind of timeline entry; its last thought is 3 of 4.
export const MIXED = chain('th-mixed-1', [
  thought('List the inputs\nand the outputs', 1, 4),
  thought('The inputs were wrong', 2, 4, { is_revision: true, revises: 1 }),
  thought('Try the other order', 3, 4, { branch_from: 1, branch_id: 'alt', needs_more: true }),
  thought('Both at once', 3, 4, { is_revision: true, branch_from: 2, branch_id: 'b2', next_needed: false }),
], 1700000300);

// A chain at the store's cap of 1000 thoughts per chain.
export const CAPPED = chain('th-capped', Array.from({ length: 1000 }, (_, i) => thought(`step ${i + 1}`, i + 1, 1000)),
  1700000200);

// Every recorded thought text, chain by chain ([] without a store).
export function recordedTexts(stateDir) {
  const file = chainsPath(stateDir);
  if (!fs.existsSync(file)) return [];
  return JSON.parse(fs.readFileSync(file, 'utf8')).chains.map((c) => c.thoughts.map((t) => t.thought));
}
