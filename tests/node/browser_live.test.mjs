// The viewer while a model is thinking: the built program's MCP server
// records thoughts into the state directory that lighttpd's CGI reads, and
// the open page picks them up by itself.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { checkConsole, recordRequests } from './lib/browser.mjs';
import { startMcp } from './lib/mcp_raw.mjs';
import { MIXED, chain, thought, writeChains } from './lib/fixtures.mjs';
import { startViewer } from './lib/viewer.mjs';
import { scrollTimelineToEnd, waitCount, waitText } from './lib/wait.mjs';

const { server, browser } = await startViewer({ browser: { viewport: { width: 1200, height: 800 } } });

const step = (n, total = 60) => ({
  thought: `Thought ${n}: what we know so far\nfirst point\nsecond point\nthird point\nand a conclusion`,
  thoughtNumber: n, totalThoughts: total, nextThoughtNeeded: true,
});

// Where thought #n sits in the timeline's view, and the timeline's scroll.
function placeOf(page, n) {
  return page.evaluate((k) => {
    const wrap = document.getElementById('tlwrap');
    const li = [...document.querySelectorAll('#tl li')].find((l) => l.querySelector('.th-num').textContent.startsWith(`#${k} `));
    return { top: li.getBoundingClientRect().top - wrap.getBoundingClientRect().top, scrollTop: wrap.scrollTop };
  }, n);
}

const atEnd = (page) => page.evaluate(() => {
  const w = document.getElementById('tlwrap');
  const last = [...document.querySelectorAll('#tl li')].pop().getBoundingClientRect();
  const box = w.getBoundingClientRect();
  return w.scrollHeight - w.scrollTop - w.clientHeight < 2 && last.bottom <= box.bottom + 1 && last.top >= box.top;
});

// The page is told it is hidden the way a browser tells it: its visibility
// state changes and a visibilitychange event follows.
const setHidden = (page, hidden) => page.evaluate((h) => {
  Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (h ? 'hidden' : 'visible') });
  Object.defineProperty(document, 'hidden', { configurable: true, get: () => h });
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);

test('new thoughts appear in place, a reader at the end follows them, and nothing is asked while hidden', async () => {
  writeChains(server.stateDir, [MIXED]);
  const mcp = startMcp(server.stateDir);
  try {
    for (let n = 1; n <= 30; n++) await mcp.think(step(n));
    const { page } = browser;
    await page.goto(`${server.url}/plugin_veltrane`);
    await waitCount(page, '#chains li', 2);
    // The chain being written is first, and marked live in the list and its header.
    assert.match(await page.textContent('#chains li:first-child .cl-id'), /^th-/);
    assert.equal(await page.textContent('#chains li:first-child .livemark'), 'live');
    assert.equal(await page.$$eval('#chains li:nth-child(2) .livemark', (l) => l.length), 0);
    await page.click('#chains li >> nth=0');
    await waitCount(page, '#tl li', 30);
    assert.equal(await page.isVisible('#dLive'), true);

    // Scrolled to the middle: three more thoughts arrive with no click, and
    // what the reader looks at does not move.
    await page.evaluate(() => document.querySelectorAll('#tl li')[14].scrollIntoView({ block: 'start' }));
    await page.waitForTimeout(100);
    const before15 = await placeOf(page, 15);
    const requests = recordRequests(page);
    const sent = Date.now();
    for (let n = 31; n <= 33; n++) {
      await mcp.think(step(n));
      await page.waitForTimeout(300);
    }
    await waitCount(page, '#tl li', 33);
    assert.ok(Date.now() - sent < 5000);
    assert.ok(requests.some((r) => r.url.startsWith('/plugin_veltrane?action=chain&id=th-')), 'the chain was asked again');
    assert.deepEqual(await placeOf(page, 15), before15);
    assert.equal(await page.textContent('#dCount'), '33 thoughts');
    await waitText(page, '#announce', 'new thought');

    // At the end, the view follows the newest thought.
    // Parts coming into view are laid out and change the height; the reader
    // keeps going until the end stays put.
    await scrollTimelineToEnd(page, 5);
    assert.equal(await atEnd(page), true);
    await mcp.think(step(34));
    await waitCount(page, '#tl li', 34);
    await page.waitForFunction(() => {
      const w = document.getElementById('tlwrap');
      return w.scrollHeight - w.scrollTop - w.clientHeight < 2;
    });
    assert.equal(await atEnd(page), true);
    await waitText(page, '#announce', 'New thought #34');

    // Hidden: no request at all, however long; shown again: polling resumes
    // at once and brings what was recorded meanwhile.
    await setHidden(page, true);
    await page.waitForTimeout(300);
    const whileHidden = recordRequests(page);
    await mcp.think(step(35));
    await page.waitForTimeout(5000);
    assert.deepEqual(whileHidden, []);
    assert.equal(await page.$$eval('#tl li', (l) => l.length), 34);
    await setHidden(page, false);
    await waitCount(page, '#tl li', 35);
    assert.ok(whileHidden.length >= 1);
    checkConsole(browser);
  } finally {
    await mcp.close();
  }
});

test('a failing poll shows its error once, keeps what is shown, and clears itself when the list answers again', async () => {
  const long = chain('th-steady', Array.from({ length: 12 }, (_, i) => thought(`steady ${i + 1}`, i + 1, 12)), 1700000400);
  writeChains(server.stateDir, [long, MIXED]);
  const { page } = browser;
  await page.goto(`${server.url}/plugin_veltrane#chain=th-steady`);
  await waitCount(page, '#tl li', 12);
  await page.evaluate(() => {
    window.__errWrites = 0;
    new MutationObserver(() => { window.__errWrites += 1; })
      .observe(document.getElementById('errbox'), { childList: true, characterData: true, subtree: true });
  });
  await page.route('**/plugin_veltrane?action=chains*', (r) => r.abort());
  await waitText(page, '#errbox', 'chains: TypeError');
  assert.equal(await page.isVisible('#errbox'), true);
  // Two more failing polls leave the message as it was.
  await page.waitForTimeout(4500);
  assert.equal(await page.evaluate(() => window.__errWrites), 1);
  assert.equal(await page.$$eval('#tl li', (l) => l.length), 12, 'the timeline stays');
  assert.equal(await page.$$eval('#chains li', (l) => l.length), 2, 'the list stays');
  await page.unroute('**/plugin_veltrane?action=chains*');
  await page.waitForFunction(() => document.getElementById('errbox').style.display === 'none', null, { timeout: 5000 });
  checkConsole(browser);
});

test('Refresh brings new thoughts and keeps the scroll position', async () => {
  const texts = (n) => Array.from({ length: n }, (_, i) => thought(`refresh ${i + 1}\nsecond line\nthird line`, i + 1, 40));
  writeChains(server.stateDir, [chain('th-refresh', texts(30), 1700000700)]);
  const { page } = browser;
  await page.goto(`${server.url}/plugin_veltrane#chain=th-refresh`);
  await waitCount(page, '#tl li', 30);
  await page.evaluate(() => document.querySelectorAll('#tl li')[19].scrollIntoView({ block: 'start' }));
  await page.waitForTimeout(100);
  const before20 = await placeOf(page, 20);
  writeChains(server.stateDir, [chain('th-refresh', texts(32), 1700000800)]);
  await page.click('#refreshBtn');
  await waitCount(page, '#tl li', 32);
  assert.deepEqual(await placeOf(page, 20), before20);
  checkConsole(browser);
});
