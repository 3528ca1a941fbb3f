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

test('the address wins over storage, storage over the system preference, and nothing is stored at load', async () => {
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
    // Only a choice the reader makes is remembered.
    assert.deepEqual(await themeState(page), { attr: c.want, api: c.want, stored: c.stored, bg: BG[c.want] }, label);
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
  assert.equal(await page.evaluate(() => localStorage.getItem('bot_theme')), 'dark', 'the host\'s key is the host\'s');
  for (const msg of [{ type: 'tk-theme', theme: 'blue' }, { type: 'other', theme: 'dark' }, 'tk-theme', null,
    { type: 'tk-theme', theme: 'light' }]) {
    await send(msg);
  }
  await send({ type: 'tk-theme', theme: 'dark' });
  await inner.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'dark');
  assert.deepEqual(await inner.evaluate(() => window.__themeEvents), ['light', 'dark']);
  await page.unroute(host);
  checkConsole(browser);
});

// A host page on the page's own origin that frames src and, when asked for
// its theme, answers `answer` after `delay` ms (never, when answer is null).
// A second frame beside it, of the same origin, can post to the viewer too.
async function frameHost(page, src, answer, delay = 0) {
  const url = `${server.url}/host-${Math.random().toString(36).slice(2)}.html`;
  await page.route(url, (r) => r.fulfill({
    contentType: 'text/html',
    body: `<!DOCTYPE html><html><body><script>
      window.addEventListener('message', (e) => {
        if (!e.data || e.data.type !== 'tk-theme-request' || ${JSON.stringify(answer)} === null) return;
        setTimeout(() => e.source.postMessage({ type: 'tk-theme', theme: ${JSON.stringify(answer)} }, location.origin), ${delay});
      });
    </script><iframe id="f" src="${src}" width="900" height="600"></iframe><iframe id="g" src="/nothing-here"></iframe></body></html>`,
  }));
  await page.goto(url);
  const frame = page.frameLocator('#f');
  await frame.locator('#chains li').first().waitFor({ state: 'attached' });
  return page.frames().find((f) => f.url().includes('/plugin_veltrane'));
}

test('a framed page never writes the host\'s theme key: from its address, the host\'s answer or a call', async () => {
  const { page } = browser;
  const cases = [
    { src: '/plugin_veltrane?embed=1&theme=light', stored: 'dark', answer: 'dark', want: 'dark' },
    { src: '/plugin_veltrane?embed=1&theme=dark', stored: 'light', answer: 'light', want: 'light' },
    { src: '/plugin_veltrane?embed=1', stored: null, answer: 'light', want: 'light', scheme: 'dark' },
    { src: '/plugin_veltrane?theme=light', stored: null, answer: null, want: 'light' },
    { src: '/plugin_veltrane', stored: null, answer: null, want: 'light', scheme: 'light' },
  ];
  for (const c of cases) {
    await page.emulateMedia({ colorScheme: c.scheme || 'dark' });
    await setStored(page, c.stored);
    const inner = await frameHost(page, c.src, c.answer);
    await inner.waitForFunction((w) => document.documentElement.getAttribute('data-theme') === w, c.want);
    await inner.evaluate(() => window.tkApplyTheme(window.tkTheme() === 'dark' ? 'light' : 'dark'));
    await page.waitForTimeout(100);
    assert.equal(await page.evaluate(() => localStorage.getItem('bot_theme')), c.stored, JSON.stringify(c));
  }
  await page.emulateMedia({ colorScheme: 'dark' });
  checkConsole(browser);
});

test('in a frame, theme messages count only from the host page around it', async () => {
  const { page } = browser;
  await setStored(page, 'dark');
  const inner = await frameHost(page, '/plugin_veltrane?embed=1', null);
  await inner.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'dark');
  // A frame of the same origin beside it, and the viewer posting to itself.
  await page.evaluate(() => {
    const g = document.getElementById('g').contentWindow;
    g.eval("parent.frames[0].postMessage({ type: 'tk-theme', theme: 'light' }, '*')");
  });
  await inner.evaluate(() => window.postMessage({ type: 'tk-theme', theme: 'light' }, '*'));
  await page.waitForTimeout(200);
  assert.equal(await inner.evaluate(() => document.documentElement.getAttribute('data-theme')), 'dark');
  await page.evaluate(() => document.getElementById('f').contentWindow.postMessage({ type: 'tk-theme', theme: 'light' }, '*'));
  await inner.waitForFunction(() => document.documentElement.getAttribute('data-theme') === 'light');
  checkConsole(browser);
});

test('a framed page is not drawn in a guessed theme: it waits briefly for the host, unless its address names the theme', async () => {
  const { context, page } = browser;
  // Each animation frame of the viewer's frame records what would be drawn.
  await context.addInitScript(() => {
    if (!location.pathname.startsWith('/plugin_veltrane')) return;
    window.__drawn = [];
    const look = () => {
      if (document.body) {
        window.__drawn.push([getComputedStyle(document.body).visibility, document.documentElement.getAttribute('data-theme')]);
      }
      if (window.__drawn.length < 400) requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
  });
  await page.emulateMedia({ colorScheme: 'dark' });
  const cases = [
    { src: '/plugin_veltrane?embed=1', answer: 'light', delay: 120, want: 'light', waits: true },
    { src: '/plugin_veltrane?embed=1', answer: null, delay: 0, want: 'dark', waits: true },
    { src: '/plugin_veltrane?embed=1&theme=light', answer: null, delay: 0, want: 'light', waits: false },
  ];
  for (const c of cases) {
    await setStored(page, null);
    const inner = await frameHost(page, c.src, c.answer, c.delay);
    await inner.waitForFunction((w) => document.documentElement.getAttribute('data-theme') === w
      && getComputedStyle(document.body).visibility === 'visible', c.want, { timeout: 2000 });
    const drawn = await inner.evaluate(() => window.__drawn);
    const label = JSON.stringify(c);
    assert.deepEqual(drawn.filter(([v, t]) => v === 'visible' && t !== c.want), [], label);
    assert.equal(drawn.length > 0 && drawn[0][0] === 'hidden', c.waits, `${label}: ${JSON.stringify(drawn.slice(0, 3))}`);
  }
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
