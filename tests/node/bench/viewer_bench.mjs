// Benchmark (not a test): the viewer against a full store, 50 chains of 1000
// thoughts (about 7.5 MiB), served by lighttpd running the built program, in
// headless chromium. Prints, over several fresh page loads:
//   - list:  from the end of the list answer to the list drawn;
//   - chain: from the end of the chain answer to every thought in the page and
//            the map drawn, and to the first frame after that;
//   - scroll: frame times while the timeline scrolls through the whole chain.
// The newest chain has long multi-line thoughts with code; the older ones
// short ones.
//   usage: node bench/viewer_bench.mjs [--loads N] [--no-content-visibility]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { startServer } from '../lib/server.mjs';
import { openBrowser } from '../lib/browser.mjs';
import { buildStore } from './full_store.mjs';

const args = process.argv.slice(2);
const loads = Number(args[args.indexOf('--loads') + 1]) || 7;
const plainLayout = args.includes('--no-content-visibility');

function stats(values) {
  const s = [...values].sort((a, b) => a - b);
  const pick = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  return { median: pick(0.5), min: s[0], max: s[s.length - 1], p95: pick(0.95) };
}

const f = (v) => v.toFixed(1).padStart(7);
function line(name, values) {
  const st = stats(values);
  console.log(`${name.padEnd(44)} median ${f(st.median)}  min ${f(st.min)}  max ${f(st.max)} ms`);
}

// Runs in the page before its own script: notes every mark the page makes
// (it keeps only the latest of each name), and when the page marks a view as
// drawn, marks the first frame after it too.
function frameMarks() {
  window.__marks = [];
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) {
      window.__marks.push({ name: e.name, at: e.startTime });
      if (!e.name.startsWith('veltrane:')) continue;
      const name = `bench:${e.name.slice(9)}-frame`;
      requestAnimationFrame(() => setTimeout(() => performance.mark(name), 0));
    }
  }).observe({ type: 'mark' });
}

// From the end of the latest answer for `action` to the first mark of that
// name after it (later polls mark again).
async function sinceAnswer(page, action, markName) {
  return page.evaluate(([a, m]) => new Promise((resolve) => {
    const res = performance.getEntriesByType('resource').filter((r) => new RegExp(`[?&]action=${a}(&|$)`).test(r.name));
    const end = res[res.length - 1].responseEnd;
    (function look() {
      const hit = window.__marks.find((k) => k.name === m && k.at >= end);
      if (hit) resolve(hit.at - end); else setTimeout(look, 10);
    })();
  }), [action, markName]);
}

// Scrolls the timeline down from the top, a fixed distance per frame, for at
// most maxFrames frames, and returns the time between frames.
async function scrollFrames(page, pxPerFrame, maxFrames) {
  return page.evaluate(([step, most]) => new Promise((resolve) => {
    const wrap = document.getElementById('tlwrap');
    wrap.scrollTop = 0;
    const deltas = [];
    let last = 0;
    function frame(t) {
      if (last) deltas.push(t - last);
      last = t;
      const before = wrap.scrollTop;
      wrap.scrollTop = before + step;
      if ((wrap.scrollTop === before && deltas.length > 5) || deltas.length >= most) { resolve(deltas); return; }
      requestAnimationFrame(frame);
    }
    requestAnimationFrame(frame);
  }), [pxPerFrame, maxFrames]);
}

const stateDir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltrane-bench-'));
const bytes = buildStore(stateDir);
const server = await startServer({ stateDir });
const results = { list: [], listFrame: [], chain: [], chainFrame: [], older: [], olderFrame: [], frames: [], wheel: [] };
try {
  console.log(`store: 50 chains x 1000 thoughts, ${(bytes / 1048576).toFixed(2)} MiB; ${loads} loads` +
    (plainLayout ? '; content-visibility switched off' : ''));
  console.log(`load before: ${execFileSync('uptime').toString().trim()}`);
  for (let run = 0; run < loads; run++) {
    const browser = await openBrowser({ viewport: { width: 1200, height: 800 } });
    try {
      const { page } = browser;
      await page.addInitScript(frameMarks);
      await page.goto(`${server.url}/plugin_veltrane`);
      await page.waitForFunction(() => window.__marks.some((k) => k.name === 'bench:list-ready-frame'));
      if (plainLayout) await page.addStyleTag({ content: '.tl .part { content-visibility: visible !important; }' });
      results.list.push(await sinceAnswer(page, 'chains', 'veltrane:list-ready'));
      results.listFrame.push(await sinceAnswer(page, 'chains', 'bench:list-ready-frame'));

      await page.click('#chains li >> nth=0');
      await page.waitForFunction(() => performance.getEntriesByType('resource').some((r) => /action=chain&/.test(r.name)));
      results.chain.push(await sinceAnswer(page, 'chain', 'veltrane:chain-ready'));
      results.chainFrame.push(await sinceAnswer(page, 'chain', 'bench:chain-ready-frame'));
      const count = await page.$$eval('#tl li', (l) => l.length);
      if (count !== 1000) throw new Error(`the timeline holds ${count} thoughts`);
      await page.waitForTimeout(300);
      results.frames.push(...await scrollFrames(page, 150, 900));

      // Wheel scrolling as a reader does it, through the middle of the chain.
      await page.evaluate(() => {
        const w = document.getElementById('tlwrap');
        w.scrollTop = w.scrollHeight / 3;
      });
      await page.mouse.move(700, 500);
      const collect = page.evaluate(() => new Promise((resolve) => {
        const deltas = [];
        let last = 0;
        const until = performance.now() + 2000;
        function frame(t) {
          if (last) deltas.push(t - last);
          last = t;
          if (t < until) requestAnimationFrame(frame); else resolve(deltas);
        }
        requestAnimationFrame(frame);
      }));
      for (let i = 0; i < 40; i++) { await page.mouse.wheel(0, 400); await page.waitForTimeout(40); }
      results.wheel.push(...await collect);

      // An older chain of short thoughts.
      const asked = await page.evaluate(() => performance.getEntriesByType('resource').filter((r) => /action=chain&/.test(r.name)).length);
      await page.click('#chains li >> nth=5');
      await page.waitForFunction((n) => performance.getEntriesByType('resource').filter((r) => /action=chain&/.test(r.name)).length > n, asked);
      results.older.push(await sinceAnswer(page, 'chain', 'veltrane:chain-ready'));
      results.olderFrame.push(await sinceAnswer(page, 'chain', 'bench:chain-ready-frame'));
      if (browser.cspViolations().length || browser.pageErrors().length) {
        throw new Error(`page complained: ${browser.consoleLines.join('\n')}`);
      }
    } finally {
      await browser.close();
    }
  }
  line('list of 50 drawn, after its answer', results.list);
  line('  ... first frame after that', results.listFrame);
  line('1000 long thoughts + map drawn, after answer', results.chain);
  line('  ... first frame after that', results.chainFrame);
  line('1000 short thoughts + map drawn, after answer', results.older);
  line('  ... first frame after that', results.olderFrame);
  for (const [name, v] of [['scrolling 150 px per frame from the top', results.frames],
    ['wheel scrolling through the middle', results.wheel]]) {
    const st = stats(v);
    console.log(`${name.padEnd(44)} frames ${String(v.length).padStart(5)}  median ${f(st.median)}  p95 ${f(st.p95)}  max ${f(st.max)} ms`);
  }
  console.log(`load after:  ${execFileSync('uptime').toString().trim()}`);
} finally {
  await server.stop();
  fs.rmSync(stateDir, { recursive: true, force: true });
}
