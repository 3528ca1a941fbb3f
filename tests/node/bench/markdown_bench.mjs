// Benchmark (not a test): the Markdown renderer in headless chromium, under
// the viewer page's security policy, on 1000 thoughts of about 1 KB each
// (headings, emphasis, lists, a task list, a table, code, links), each one
// different. Prints, over several rounds in fresh pages:
//   - first use: making the parser and rendering one short line;
//   - parse: the parser alone over the 1000 thoughts (and with bare
//            addresses not linked, to show what that costs);
//   - render: parse and DOM building into detached fragments, all 1000, on
//            first use and again once the engine has compiled the code;
//   - a screen: 40 thoughts (about what the timeline shows at once)
//            rendered first thing after the first use, while the engine
//            still interprets the code; then put in the document and laid
//            out (with no style sheet);
//   - title: the plain first line of all 1000.
//   usage: node bench/markdown_bench.mjs [--rounds N]
import { openBrowser } from '../lib/browser.mjs';
import { openMarkdownPage } from '../lib/markdown_doc.mjs';

const args = process.argv.slice(2);
const rounds = Number(args[args.indexOf('--rounds') + 1]) || 7;

function thought(i) {
  return [
    `## Step ${i}: why the p99 latency of request ${i * 7} grew`,
    '',
    `The **cache** missed *${i % 13} times* in a row, and \`get_entry(${i})\` waited on the ~~disk~~ network.`,
    `See [the trace](https://traces.test/run/${i}?view=flame) and <https://docs.test/cache#miss>.`,
    '',
    '- [x] read the logs',
    `- [ ] compare with run ${i - 1}`,
    '- check the *eviction* order',
    '  1. oldest first',
    '  2. then the largest',
    '',
    '| phase | ms | share |',
    '|:------|---:|:-----:|',
    `| lookup | ${i % 17} | 10% |`,
    `| fetch | ${(i * 3) % 41} | 80% |`,
    '| decode | 2 | 10% |',
    '',
    '```cpp',
    `auto hit = cache.find(key_${i});`,
    'if (hit == cache.end()) return fetch(key);  // the slow path',
    '```',
    '',
    `> Next: measure again with ${i % 5 + 2} workers & a warm cache.`,
    '',
    `So the slow requests are the ones whose keys were evicted just before: ${i % 9 + 1} of the last ten`,
    'misses came right after a burst of large entries pushed them out. The fix to try first is to keep',
    'small entries in a separate pool, so that a burst of large ones cannot evict them; then measure the',
    'p99 again under the same load, and only then look at the *network* side.',
  ].join('\n');
}

const THOUGHTS = Array.from({ length: 1000 }, (_, i) => thought(i + 1));
const KB = THOUGHTS.reduce((n, t) => n + Buffer.byteLength(t), 0) / 1024;

function stats(values) {
  const s = [...values].sort((a, b) => a - b);
  return { median: s[Math.floor(s.length / 2)], min: s[0], max: s[s.length - 1] };
}
const f = (v) => v.toFixed(2).padStart(8);
function line(name, values, perKB) {
  const st = stats(values);
  const extra = perKB ? `   ${((st.median * 1000) / KB).toFixed(0).padStart(5)} µs/KB` : '';
  console.log(`${name.padEnd(40)} median ${f(st.median)}  min ${f(st.min)}  max ${f(st.max)} ms${extra}`);
}

const results = { first: [], cold: [], parse: [], plain: [], render: [], warm: [], shown: [], title: [] };
for (let r = 0; r < rounds; r++) {
  const browser = await openBrowser();
  await openMarkdownPage(browser);
  const got = await browser.page.evaluate((thoughts) => {
    const now = () => performance.now();
    let t0 = now();
    VeltraneMarkdown.render('first *use*');
    const first = now() - t0;
    const out = document.getElementById('out');
    t0 = now();
    const screen = thoughts.slice(500, 540).map((t) => VeltraneMarkdown.render(t, { baseLevel: 3 }));
    const cold = now() - t0;
    t0 = now();
    for (const fragment of screen) {
      const box = document.createElement('article');
      box.appendChild(fragment);
      out.appendChild(box);
    }
    void out.offsetHeight;
    const shown = now() - t0;
    t0 = now();
    const fragments = thoughts.map((t) => VeltraneMarkdown.render(t, { baseLevel: 3 }));
    const render = now() - t0;
    t0 = now();
    for (const t of thoughts) VeltraneMarkdown.render(t, { baseLevel: 3 });
    const warm = now() - t0;
    const md = markdownit({ html: false, linkify: true });
    md.linkify.set({ fuzzyLink: false, fuzzyEmail: false, fuzzyIP: false });
    t0 = now();
    for (const t of thoughts) md.parse(t, {});
    const parse = now() - t0;
    const mdPlain = markdownit({ html: false, linkify: false });
    t0 = now();
    for (const t of thoughts) mdPlain.parse(t, {});
    const plain = now() - t0;
    t0 = now();
    for (const t of thoughts) VeltraneMarkdown.title(t, 80);
    const title = now() - t0;
    return { first, cold, parse, plain, render, warm, shown, title, nodes: fragments.reduce((n, fr) => n + fr.querySelectorAll('*').length, 0) };
  }, THOUGHTS);
  for (const k of Object.keys(results)) results[k].push(got[k]);
  if (r === 0) console.log(`1000 thoughts, ${KB.toFixed(0)} KB of Markdown, ${got.nodes} elements made; ${rounds} rounds`);
  await browser.close();
}
line('first use (parser made, one line)', results.first);
line('40 thoughts rendered, cold', results.cold);
line('the 40 put in the document and laid out', results.shown);
line('render (parse + DOM), 1000 thoughts', results.render, true);
line('render again, 1000 thoughts, warm', results.warm, true);
line('parse only, 1000 thoughts, warm', results.parse, true);
line('parse only, bare addresses not linked', results.plain, true);
line('title, 1000 thoughts', results.title, true);
