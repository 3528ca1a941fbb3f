// The viewer page's light and dark theme in a real browser: how it is chosen
// at load, remembered, changed, hidden when embedded, and followed from a
// host frame.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { checkConsole } from './lib/browser.mjs';
import { MIXED, writeChains } from './lib/fixtures.mjs';
import { startViewer } from './lib/viewer.mjs';
import { visible, waitCount } from './lib/wait.mjs';

const BG = { light: 'rgb(245, 245, 247)', dark: 'rgb(0, 0, 0)' };

const { server, browser } = await startViewer();
writeChains(server.stateDir, [MIXED]);
// Runs in every frame before the page's own scripts.
await browser.context.addInitScript(() => {
  window.__themeEvents = [];
  window.addEventListener('bot-theme', (e) => window.__themeEvents.push(e.detail));
  window.__messages = [];
  window.addEventListener('message', (e) => window.__messages.push(e.data));
});

async function setStored(page, value) {
  await page.goto(`${server.url}/plugin_veltrane`);
  await page.evaluate((v) => {
    localStorage.clear();
    if (v !== null) localStorage.setItem('bot_theme', v);
  }, value);
}

async function themeState(page) {
  return page.evaluate(() => ({
    attr: document.documentElement.getAttribute('data-theme'),
    api: window.tkTheme(),
    stored: localStorage.getItem('bot_theme'),
    bg: getComputedStyle(document.body).backgroundColor,
  }));
}

test('the address wins over storage, storage over the system preference, and the choice is stored', async () => {
  const cases = [
    { query: '?theme=light', stored: 'dark', scheme: 'dark', want: 'light' },
    { query: '?theme=dark', stored: 'light', scheme: 'light', want: 'dark' },
    { query: '?x=1&theme=lightly', stored: 'dark', scheme: 'dark', want: 'light' },
    { query: '?theme=blue', stored: 'light', scheme: 'dark', want: 'light' },
    { query: '?mytheme=light', stored: null, scheme: 'dark', want: 'dark' },
    { query: '', stored: 'bogus', scheme: 'light', want: 'light' },
    { query: '', stored: null, scheme: 'dark', want: 'dark' },
    { query: '', stored: null, scheme: 'light', want: 'light' },
  ];
  const { page } = browser;
  for (const c of cases) {
    const label = JSON.stringify(c);
    await page.emulateMedia({ colorScheme: c.scheme });
    await setStored(page, c.stored);
    await page.goto(`${server.url}/plugin_veltrane${c.query}`);
    await waitCount(page, '#chains li', 1);
    assert.deepEqual(await themeState(page), { attr: c.want, api: c.want, stored: c.want, bg: BG[c.want] }, label);
  }
  await page.emulateMedia({ colorScheme: 'dark' });
  checkConsole(browser);
});

test('the Theme button and tkApplyTheme switch, store and announce; other values are ignored', async () => {
  const { page } = browser;
  await setStored(page, 'dark');
  await page.goto(`${server.url}/plugin_veltrane`);
  await waitCount(page, '#chains li', 1);
  await page.click('#themeToggle');
  assert.deepEqual(await themeState(page), { attr: 'light', api: 'light', stored: 'light', bg: BG.light });
  await page.click('#themeToggle');
  assert.equal((await themeState(page)).attr, 'dark');
  await page.evaluate(() => {
    window.tkApplyTheme('dark');
    window.tkApplyTheme('blue');
    window.tkApplyTheme(undefined);
  });
  assert.deepEqual(await page.evaluate(() => window.__themeEvents), ['light', 'dark'],
    'only real changes are announced');
  assert.equal((await themeState(page)).stored, 'dark');
  await page.evaluate(() => document.documentElement.setAttribute('data-theme', 'odd'));
  assert.equal(await page.evaluate(() => window.tkTheme()), 'dark');
  checkConsole(browser);
});

test('embed=1 or embed=true hides the Theme button; other values do not', async () => {
  const cases = [
    { query: '?embed=1', embedded: true },
    { query: '?theme=light&embed=true', embedded: true },
    { query: '?embed=1&node=n', embedded: true },
    { query: '?embed=10', embedded: false },
    { query: '?embed=truely', embedded: false },
    { query: '?embed=0', embedded: false },
  ];
  const { page } = browser;
  for (const c of cases) {
    await page.goto(`${server.url}/plugin_veltrane${c.query}`);
    await waitCount(page, '#chains li', 1);
    assert.equal(await page.evaluate(() => document.documentElement.classList.contains('embedded')), c.embedded, c.query);
    assert.equal(await visible(page, '#themeToggle'), !c.embedded, c.query);
    assert.equal(await visible(page, '#refreshBtn'), true, c.query);
  }
  checkConsole(browser);
});

test('a framed page asks its host for the theme and follows "tk-theme" messages', async () => {
  const { page } = browser;
  await setStored(page, 'dark');
  // A host page on the same origin (the page may only be framed there).
  const host = `${server.url}/host-frame.html`;
  await page.route(host, (r) => r.fulfill({
    contentType: 'text/html',
    body: `<!DOCTYPE html><html><body><script>
      window.requests = [];
      window.addEventListener('message', (e) => {
        if (e.data && e.data.type === 'tk-theme-request') window.requests.push(e.data);
      });
    </script><iframe id="f" src="/plugin_veltrane?embed=1" width="900" height="600"></iframe></body></html>`,
  }));
  await page.goto(host);
  const frame = page.frameLocator('#f');
  await frame.locator('#chains li').first().waitFor();
  await page.waitForFunction(() => window.requests.length > 0);
  assert.deepEqual(await page.evaluate(() => window.requests), [{ type: 'tk-theme-request' }]);
  const inner = page.frames().find((f) => f !== page.mainFrame());
  assert.equal(await frame.locator('#themeToggle').isVisible(), false);

  const send = (msg) => page.evaluate((m) => document.getElementById('f').contentWindow.postMessage(m, '*'), msg);
  await send({ type: 'tk-theme', theme: 'light' });
  await inner.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'light');
  for (const msg of [{ type: 'tk-theme', theme: 'blue' }, { type: 'other', theme: 'dark' }, 'tk-theme', null,
    { type: 'tk-theme', theme: 'light' }]) {
    await send(msg);
  }
  await send({ type: 'tk-theme', theme: 'dark' });
  await inner.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'dark');
  assert.deepEqual(await inner.evaluate(() => window.__themeEvents), ['light', 'dark']);
  assert.equal(await inner.evaluate(() => localStorage.getItem('bot_theme')), 'dark');
  await page.unroute(host);
  checkConsole(browser);
});

test('an unframed page posts no theme request', async () => {
  const { page } = browser;
  await page.goto(`${server.url}/plugin_veltrane`);
  await waitCount(page, '#chains li', 1);
  await page.waitForTimeout(200);
  assert.deepEqual(await page.evaluate(() => window.__messages), []);
  checkConsole(browser);
});
