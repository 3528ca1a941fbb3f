// The viewer of a node with a password, in a real browser: the page opens
// at its plain address and asks for the password in the pane the reader is
// looking at; a password given in the address leaves it at once and is
// never put in an address again.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { artifacts, checkConsole, recordRequests, withBrowser } from './lib/browser.mjs';
import { MIXED, chain, thought, writeChains } from './lib/fixtures.mjs';
import { startViewer } from './lib/viewer.mjs';
import { text, visible, waitCount, waitText } from './lib/wait.mjs';

const PASSWORD = 'pa ss&w+rd%';
const PLAIN = chain('th-plain', [thought('Only one', 1, 3)], 1700000100);

const { server, browser } = await startViewer({ server: { password: PASSWORD } });
writeChains(server.stateDir, [MIXED, PLAIN]);

// Opens path with nothing remembered in the browser for the server's
// origin; returns the requests the page makes from then on.
async function openFresh(page, pathAndQuery) {
  await page.goto(`${server.url}/plugin_veltrane?theme=dark`);
  await page.evaluate(() => { localStorage.clear(); sessionStorage.clear(); });
  const requests = recordRequests(page);
  await page.goto(server.url + pathAndQuery);
  return requests;
}

// Which pane holds the password field, and whether the reader sees it.
const promptPlace = (page) => page.evaluate(() => {
  const f = document.getElementById('pwdForm');
  return { pane: f.closest('#listCard') ? 'list' : f.closest('#detailCard') ? 'detail' : 'none', shown: f.getClientRects().length > 0 };
});

describe('asking for the password', () => {
  test('the plain address opens the page, which asks, tells a refusal, and retries with what is typed', async () => {
    const { page } = browser;
    const requests = await openFresh(page, '/plugin_veltrane');
    await page.getByRole('textbox', { name: 'Node password' }).waitFor();
    assert.deepEqual(await promptPlace(page), { pane: 'detail', shown: true }, 'a wide window: where "Loading..." stood');
    assert.equal(await text(page, '#pwdNote'), 'This node asks for its password before it shows the chains.');
    assert.equal(await visible(page, '#empty'), false);
    assert.equal(await visible(page, '#errbox'), false, 'the refusal is answered by the field, not by an error');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'pwdBox');

    await page.fill('#pwdBox', 'wrong');
    await page.press('#pwdBox', 'Enter');
    await waitText(page, '#pwdNote', 'That password was not accepted. Try again.');
    assert.equal(await text(page, '#chipChains'), 'chains -');

    await page.fill('#pwdBox', PASSWORD);
    await page.click('#pwdBtn');
    await waitCount(page, '#chains li', 2);
    assert.equal(await visible(page, '#pwdForm'), false);
    assert.deepEqual(requests.map((r) => [r.url, r.headers['x-bot-password']]), [
      ['/plugin_veltrane?action=chains', undefined],
      ['/plugin_veltrane?action=chains', 'wrong'],
      ['/plugin_veltrane?action=chains', PASSWORD],
    ]);

    // A reload in the same tab asks no more; nothing was written where the
    // host's pages keep their data.
    await page.reload();
    await waitCount(page, '#chains li', 2);
    assert.equal(await visible(page, '#pwdForm'), false);
    assert.equal(await page.evaluate(() => localStorage.length), 0);
    checkConsole(browser);
  });

  test('a stale remembered password gets the field instead of an error over "Loading..."', async () => {
    const { page } = browser;
    await openFresh(page, '/plugin_veltrane');
    await page.evaluate(() => localStorage.setItem('bot_active_pwd', 'stale'));
    await page.reload();
    await waitText(page, '#pwdNote', 'That password was not accepted. Try again.');
    assert.equal(await visible(page, '#errbox'), false);
    await page.fill('#pwdBox', PASSWORD);
    await page.press('#pwdBox', 'Enter');
    await waitCount(page, '#chains li', 2);
    assert.equal(await page.evaluate(() => localStorage.getItem('bot_active_pwd')), 'stale', 'the host\'s key is only read');
    checkConsole(browser);
  });

  test('on a narrow screen the field is in the list, or in the chain when one is opened', async () => {
    await withBrowser({ viewport: { width: 390, height: 844 } }, async (b) => {
      const { page } = b;
      await openFresh(page, '/plugin_veltrane');
      await page.getByRole('textbox', { name: 'Node password' }).waitFor();
      assert.deepEqual(await promptPlace(page), { pane: 'list', shown: true });
      await page.goto(`${server.url}/plugin_veltrane#chain=th-plain`);
      await page.getByRole('textbox', { name: 'Node password' }).waitFor();
      assert.deepEqual(await promptPlace(page), { pane: 'detail', shown: true });
      await page.fill('#pwdBox', PASSWORD);
      await page.press('#pwdBox', 'Enter');
      await waitCount(page, '#tl li', 1);
      assert.equal(await text(page, '#dId'), 'th-plain');
      checkConsole(b);
    });
  });

  test('while the password is asked for, polling stops; the open page keeps working after a change of password', async () => {
    const { page } = browser;
    const requests = await openFresh(page, '/plugin_veltrane');
    await page.getByRole('textbox', { name: 'Node password' }).waitFor();
    await page.waitForTimeout(2600);
    assert.equal(requests.length, 1, 'no request is repeated while the field waits');
    await page.fill('#pwdBox', PASSWORD);
    await page.press('#pwdBox', 'Enter');
    await waitCount(page, '#chains li', 2);
    await page.click('#chains li >> nth=0');
    await waitCount(page, '#tl li', 4);
    checkConsole(browser);
  });
});

describe('a password given in the address', () => {
  test('leaves the address, the history and every #chain= link at once, and no request address or log line holds it', async () => {
    const { page } = browser;
    const encoded = encodeURIComponent(PASSWORD);
    const requests = await openFresh(page, `/plugin_veltrane?node=n1&pwd=${encoded}&theme=dark&p%77d=${encoded}`);
    await waitCount(page, '#chains li', 2);
    assert.equal(await page.evaluate(() => location.search), '?node=n1&theme=dark');
    await page.click('#chains li:has-text("th-plain")');
    await waitText(page, '#dId', 'th-plain');
    await page.click('#chains li:has-text("th-mixed-1")');
    await waitText(page, '#dId', 'th-mixed-1');
    const seen = [await page.evaluate(() => location.href)];
    await page.goBack();
    await waitText(page, '#dId', 'th-plain');
    seen.push(await page.evaluate(() => location.href));
    await page.goBack();
    await page.waitForFunction(() => document.body.getAttribute('data-view') === null);
    seen.push(await page.evaluate(() => location.href));
    assert.deepEqual(seen, [
      `${server.url}/plugin_veltrane?node=n1&theme=dark#chain=th-mixed-1`,
      `${server.url}/plugin_veltrane?node=n1&theme=dark#chain=th-plain`,
      `${server.url}/plugin_veltrane?node=n1&theme=dark`,
    ]);

    assert.ok(requests.length >= 4);
    for (const r of requests) {
      assert.equal(new URL(server.url + r.url).searchParams.has('pwd'), false, r.url);
      assert.ok(!r.url.includes(encoded), r.url);
      assert.equal(r.headers['x-bot-password'], PASSWORD, r.url);
    }
    const log = await server.accessLog();
    assert.ok(log.includes('/plugin_veltrane'), log);
    for (const form of [PASSWORD, encoded, encodeURIComponent(encoded), 'pa ss', 'pa+ss', 'pa%20ss']) {
      assert.ok(!log.includes(form), `the access log holds ${form}`);
    }
    assert.equal(await page.evaluate(() => localStorage.length), 0);
    checkConsole(browser);
  });
});

describe('screenshots', () => {
  const LAYOUTS = [
    { name: 'wide', viewport: { width: 1280, height: 800 } },
    { name: 'narrow', viewport: { width: 390, height: 844 } },
  ];
  for (const theme of ['light', 'dark']) {
    test(`the password field, wide and narrow, ${theme}`, async () => {
      const dir = path.join(artifacts, 'password');
      fs.mkdirSync(dir, { recursive: true });
      for (const layout of LAYOUTS) {
        await withBrowser({ viewport: layout.viewport, colorScheme: theme }, async (b) => {
          const { page } = b;
          await page.goto(`${server.url}/plugin_veltrane?theme=${theme}`);
          await page.getByRole('textbox', { name: 'Node password' }).waitFor();
          await page.screenshot({ path: path.join(dir, `ask-${layout.name}-${theme}.png`) });
          await page.fill('#pwdBox', 'wrong');
          await page.press('#pwdBox', 'Enter');
          await waitText(page, '#pwdNote', 'not accepted');
          await page.screenshot({ path: path.join(dir, `refused-${layout.name}-${theme}.png`) });
          checkConsole(b);
        });
      }
    });
  }
});
