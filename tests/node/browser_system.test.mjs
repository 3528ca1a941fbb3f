// The whole system once: a real MCP client records a chain through the
// program's MCP mode, and the browser then shows exactly that chain through
// the program's web mode, both over the same state directory.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { checkConsole } from './lib/browser.mjs';
import { TOOL, connectV1 } from './lib/mcp_sdk.mjs';
import { removeDir, tempDir } from './lib/temp.mjs';
import { startViewer } from './lib/viewer.mjs';
import { text, waitCount } from './lib/wait.mjs';

const stateDir = tempDir('veltrane-system-');
const { server, browser } = await startViewer({ server: { stateDir } });
after(() => removeDir(stateDir));

test('a chain recorded over MCP shows in the viewer with its revision and branch', async () => {
  const client = await connectV1(stateDir);
  try {
    await client.listTools();
    const calls = [
      { thought: 'Frame the question <b>', thoughtNumber: 1, totalThoughts: 3, nextThoughtNeeded: true },
      { thought: 'Sharper framing', thoughtNumber: 2, totalThoughts: 3, nextThoughtNeeded: true,
        isRevision: true, revisesThought: 1 },
      { thought: 'Another road\nwith two lines', thoughtNumber: 3, totalThoughts: 4, nextThoughtNeeded: false,
        branchFromThought: 1, branchId: 'road-b', needsMoreThoughts: true },
    ];
    for (const args of calls) {
      const res = await client.callTool(TOOL, args);
      assert.equal(res.isError, false, JSON.stringify(res));
    }
  } finally {
    await client.close();
  }

  const { page } = browser;
  await page.goto(`${server.url}/plugins?plugin=veltrane`);
  await waitCount(page, '#chains li', 1);
  assert.equal(await text(page, '#chipChains'), 'chains 1');
  assert.equal(await text(page, '#chipThoughts'), 'thoughts 3');
  assert.equal(await text(page, '#chipState'), `state ${path.basename(stateDir)}`);
  const id = await text(page, '#chains .cl-id');
  assert.match(id, /^th-[0-9a-f]+-[0-9a-f]+$/);
  assert.equal(await text(page, '#chains .cl-last'), 'Another road');
  assert.deepEqual(await page.$$eval('#chains .pill', (p) => p.map((e) => e.textContent)), ['thoughts 3', 'branches 1']);

  await page.click('#chains li');
  await waitCount(page, '#tl li', 3);
  assert.equal(await text(page, '#dId'), id);
  assert.equal(await text(page, '#dCount'), '3 thoughts');
  assert.equal(await page.$eval('#dProg', (e) => e.style.width), '75%');
  const entries = await page.$$eval('#tl li', (lis) => lis.map((li) => [
    li.className,
    li.querySelector('.th-head').innerText.replace(/\s+/g, ' ').trim(),
    li.querySelector('.th-body').innerText,
  ]));
  assert.deepEqual(entries, [
    ['', '#1 / 3', 'Frame the question <b>'],
    ['rev', '#2 / 3 REVISION OF #1', 'Sharper framing'],
    ['br', '#3 / 4 BRANCH FROM #1 \u00b7 ROAD-B FINAL needs more thoughts', 'Another road\nwith two lines'],
  ]);
  checkConsole(browser);
});
