// What a page of another site can do to the endpoint and the viewer, in a
// real chromium: attacker pages served from another loopback address
// (127.0.0.2 against the endpoint on 127.0.0.1), a name rebound to this
// machine, a window that opened the viewer, and crafted viewer addresses.
// Nothing of it may change or read the store; the viewer's own Clear and a
// script's POST still work.
import { after, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import { promisify } from 'node:util';
import { checkConsole, recordAllRequests, recordRequests, withBrowser } from './lib/browser.mjs';
import { clearAttackPage, startAttacker, startRebindProxy } from './lib/attacker.mjs';
import { MIXED, chain, chainsPath, thought, writeChains } from './lib/fixtures.mjs';
import { startServer } from './lib/server.mjs';
import { startViewer } from './lib/viewer.mjs';
import { waitCount, waitText } from './lib/wait.mjs';

const run = promisify(execFile);
const PASSWORD = 'correct horse';
const OTHER = chain('th-other', [thought('kept', 1, 1)], 1700000100);

const { server, browser } = await startViewer();
const guarded = await startServer({ password: PASSWORD });
const pages = {};
const attacker = await startAttacker(pages);
after(async () => {
  await attacker.close();
  await guarded.stop();
});

// Writes the two chains and returns the store's bytes.
function fill(srv) {
  writeChains(srv.stateDir, [MIXED, OTHER]);
  return fs.readFileSync(chainsPath(srv.stateDir));
}

const stored = (srv) => (fs.existsSync(chainsPath(srv.stateDir)) ? fs.readFileSync(chainsPath(srv.stateDir)) : null);

// Lines of the access log that answer 403: each a request that reached
// the program and was refused there.
async function refusedLines(srv) {
  return (await srv.accessLog()).split('\n').filter((l) => / 403 /.test(l));
}

describe('pages of another site', () => {
  const setups = [
    { name: 'without a password', srv: () => server, query: '' },
    // The reader has the viewer open with the password typed and the host's
    // pages remember it; the attacker even knows it.
    { name: 'with a password remembered by the page', srv: () => guarded, query: `pwd=${encodeURIComponent(PASSWORD)}` },
  ];
  for (const s of setups) {
    test(`images, forms, no-cors and preflighted fetches clear nothing, ${s.name}`, async () => {
      const srv = s.srv();
      const before = fill(srv);
      const { context, page } = browser;
      let viewer = null;
      if (srv === guarded) {
        viewer = await context.newPage();
        await viewer.goto(`${srv.url}/plugin_veltrane`);
        await viewer.fill('#pwdBox', PASSWORD);
        await viewer.click('#pwdBtn');
        await waitCount(viewer, '#chains li', 2);
        await viewer.evaluate((p) => localStorage.setItem('bot_active_pwd', p), PASSWORD);
      }
      const refusedBefore = (await refusedLines(srv)).length;
      pages.attack = clearAttackPage(srv.url, s.query);
      await page.goto(`${attacker.origin}/attack`);
      const seen = await page.waitForFunction(() => window.done, null, { timeout: 10000 }).then((h) => h.jsonValue());
      assert.equal(seen.preflighted, 'refused: TypeError', 'the preflight is never granted');
      assert.deepEqual(stored(srv), before, JSON.stringify(seen));

      // A navigation of the whole window to the clear address.
      pages.nav = `<script>location.href = ${JSON.stringify(`${srv.url}/plugin_veltrane?action=clear&confirm=1${s.query ? `&${s.query}` : ''}`)};</script>`;
      const landed = page.waitForResponse((r) => r.url().startsWith(`${srv.url}/plugin_veltrane?action=clear`));
      await page.goto(`${attacker.origin}/nav`);
      const res = await landed;
      assert.equal(res.status(), 403);
      assert.deepEqual(await res.json(), { ok: false, error: 'request from another site refused' });
      assert.deepEqual(stored(srv), before);

      // Every attempt but the preflighted POST (whose preflight was refused)
      // reached the program and was refused there: images 2, forms 2,
      // no-cors 2, the preflight, the navigation.
      assert.ok((await refusedLines(srv)).length - refusedBefore >= 8, (await refusedLines(srv)).join('\n'));
      if (viewer) {
        await viewer.waitForTimeout(100);
        assert.equal(await viewer.locator('#chains li').count(), 2, 'the open viewer still shows the chains');
        await viewer.close();
      }
      checkConsole(browser);
    });
  }

  test('the other site cannot read the answers nor time the store', async () => {
    fill(server);
    pages.read = `<script>
      (async () => {
        const out = {};
        for (const q of ['action=chains', 'action=chain&id=th-mixed-1', 'action=info']) {
          out[q] = await fetch(${JSON.stringify(server.url)} + '/plugin_veltrane?' + q)
            .then((r) => r.text(), (e) => 'refused: ' + e.name);
        }
        out.noCors = await fetch(${JSON.stringify(server.url)} + '/plugin_veltrane?action=chains', { mode: 'no-cors' })
          .then((r) => r.type + ' ' + r.status, (e) => 'refused: ' + e.name);
        window.done = out;
      })();
    </script>`;
    const { page } = browser;
    const before = (await refusedLines(server)).length;
    await page.goto(`${attacker.origin}/read`);
    const out = await page.waitForFunction(() => window.done).then((h) => h.jsonValue());
    assert.deepEqual(out, {
      'action=chains': 'refused: TypeError', 'action=chain&id=th-mixed-1': 'refused: TypeError',
      'action=info': 'refused: TypeError', noCors: 'opaque 0',
    });
    // Each was answered 403 before the store was looked at.
    assert.equal((await refusedLines(server)).length - before, 4);
  });

  test('a name rebound to this machine reads nothing: lighttpd refuses its Host before the program runs', async () => {
    fill(server);
    const page = `<!DOCTYPE html><script>
      (async () => {
        const out = {};
        for (const q of ['action=chains', 'action=chain&id=th-mixed-1', 'action=info', 'action=stats']) {
          const r = await fetch('/plugin_veltrane?' + q);
          out[q] = r.status + ' ' + (await r.text()).slice(0, 400);
        }
        const viewer = await fetch('/plugin_veltrane');
        out.page = viewer.status;
        await fetch('/report', { method: 'POST', body: JSON.stringify(out) });
        window.done = true;
      })();
    </script>`;
    const proxy = await startRebindProxy('rebind.test', server.port, page);
    try {
      await withBrowser({ args: ['--host-resolver-rules=MAP rebind.test 127.0.0.1'] }, async (b) => {
        await b.page.goto(`${proxy.origin}/`);
        await b.page.waitForFunction(() => window.done === true);
      });
      assert.equal(proxy.reports.length, 1);
      const out = JSON.parse(proxy.reports[0]);
      for (const [q, v] of Object.entries(out)) {
        if (q === 'page') { assert.equal(v, 403); continue; }
        assert.match(v, /^403 /, q);
        assert.doesNotMatch(v, /th-mixed-1|"ok"|state_dir|plugin_veltrane/, `${q}: the program never answered`);
      }
      assert.ok(proxy.forwarded.length >= 5 && proxy.forwarded.every((f) => f.status === 403), JSON.stringify(proxy.forwarded));
    } finally {
      await proxy.close();
    }
  });

  test('a window of another site that opened the viewer keeps no handle on it', async () => {
    fill(server);
    const { context, page } = browser;
    await page.goto(`${server.url}/plugin_veltrane`);
    await page.evaluate(() => localStorage.setItem('bot_theme', 'dark'));
    const viewerUrl = `${server.url}/plugin_veltrane?theme=dark`;
    pages.opener = `<button id="go">open</button><script>
      document.getElementById('go').onclick = () => { window.w = window.open(${JSON.stringify(viewerUrl)}, 'viewer'); };
      window.steer = () => {
        const w = window.w, out = { closed: w.closed };
        try { w.postMessage({ type: 'tk-theme', theme: 'light' }, '*'); out.posted = true; } catch (e) { out.posted = e.name; }
        try { w.location = ${JSON.stringify(`${viewerUrl}#chain=th-other`)}; out.moved = true; } catch (e) { out.moved = e.name; }
        try { w.location = ${JSON.stringify(`${attacker.origin}/lookalike`)}; } catch (e) {}
        return out;
      };
    </script>`;
    pages.lookalike = '<title>Thought Chains</title><input type="password">';
    await page.goto(`${attacker.origin}/opener`);
    const popupOpened = context.waitForEvent('page');
    await page.click('#go');
    const viewer = await popupOpened;
    await waitCount(viewer, '#chains li', 2);
    const out = await page.evaluate(() => window.steer());
    assert.equal(out.closed, true, 'the opener sees a closed window');
    await viewer.waitForTimeout(300);
    assert.deepEqual(await viewer.evaluate(() => ({
      url: location.href, theme: document.documentElement.getAttribute('data-theme'),
      stored: localStorage.getItem('bot_theme'), opener: window.opener,
    })), { url: viewerUrl, theme: 'dark', stored: 'dark', opener: null });
    assert.equal(await viewer.getAttribute('body', 'data-view'), null, 'no chain was opened');
    await viewer.close();
    checkConsole(browser);
  });
});

describe('crafted viewer addresses', () => {
  test('values in the address are passed on as values: only the page\'s own requests are made', async () => {
    const before = fill(server);
    const e = encodeURIComponent;
    const smuggled = 'x&action=clear&confirm=1';
    const cases = [
      { path: `/plugin_veltrane?node=${e(smuggled)}&id=${e('&action=clear')}`, hub: null },
      { path: `/plugin_veltrane?node=${e(e(smuggled))}&id=${e(e('&action=clear'))}`, hub: null },
      { path: `/plugin_veltrane?plugin=${e('//other.host/x')}`, hub: '//other.host/x' },
      { path: `/plugin_veltrane?plugin=${e('javascript:alert(1)')}`, hub: 'javascript:alert(1)' },
      { path: `/plugin_veltrane?plugin=${e(`veltrane&${smuggled}`)}`, hub: `veltrane&${smuggled}` },
      { path: `/plugins?plugin=veltrane&node=${e(smuggled)}&pwd=${e(`p&${smuggled}`)}`, hub: 'veltrane' },
      { path: `/plugin_veltrane?theme=${e(`light&${smuggled}`)}&pwd=${e(`p&${smuggled}`)}&embed=${e(smuggled)}`, hub: null },
      { path: `/plugin_veltrane?id=${e('../../x')}#chain=${e(`th-mixed-1&${smuggled}`)}`, hub: null },
    ];
    const { context, page } = browser;
    for (const c of cases) {
      const all = recordAllRequests(context);
      await page.goto(server.url + c.path);
      // The test's server forwards every hub route to the program.
      await waitCount(page, '#chains li', 2);
      await page.click('#chains li >> nth=0');
      await waitText(page, '#dId', 'th-mixed-1');
      await page.waitForTimeout(200);
      const fetches = all.filter((r) => r.type === 'fetch');
      assert.ok(fetches.length >= 1, c.path);
      for (const r of all) {
        const u = new URL(r.url);
        assert.equal(u.origin, server.url, `${c.path}: ${r.url}`);
        if (r.type !== 'fetch') { assert.equal(r.type, 'document', r.url); continue; }
        assert.equal(r.method, 'GET', r.url);
        assert.ok(['/plugin_veltrane', '/plugins'].includes(u.pathname), r.url);
        assert.equal(u.pathname === '/plugins', c.hub !== null, r.url);
        if (c.hub !== null) assert.deepEqual(u.searchParams.getAll('plugin'), [c.hub], r.url);
        const actions = u.searchParams.getAll('action');
        assert.ok(actions.length === 1 && ['chains', 'chain'].includes(actions[0]), r.url);
        assert.equal(u.searchParams.has('confirm'), false, r.url);
        if (c.hub === null) assert.equal(u.searchParams.has('pwd'), false, r.url);
      }
    }
    assert.deepEqual(stored(server), before);
    checkConsole(browser);
  });
});

describe('what still changes the store', () => {
  const frameHost = '/host-frame.html';
  const clears = [
    { name: 'direct route', srv: () => server, open: '/plugin_veltrane', url: '/plugin_veltrane?action=clear' },
    { name: 'hub route', srv: () => server, open: '/plugins?plugin=veltrane', url: '/plugins?plugin=veltrane&action=clear' },
    { name: 'host frame', srv: () => server, open: frameHost, frame: '/plugin_veltrane?embed=1', url: '/plugin_veltrane?action=clear' },
    { name: 'direct route with a password', srv: () => guarded, open: '/plugin_veltrane', url: '/plugin_veltrane?action=clear', typed: PASSWORD },
  ];
  for (const c of clears) {
    test(`the viewer's own Clear, ${c.name}: a POST of JSON`, async () => {
      const srv = c.srv();
      fill(srv);
      const { context, page } = browser;
      if (c.frame) {
        await context.route(srv.url + frameHost, (r) => r.fulfill({
          contentType: 'text/html', body: `<!DOCTYPE html><iframe id="f" src="${c.frame}" width="1000" height="700"></iframe>`,
        }));
      }
      // Nothing remembered: the page asks.
      await page.goto(`${srv.url}/plugin_veltrane`);
      await page.evaluate(() => { localStorage.clear(); sessionStorage.clear(); });
      const requests = recordRequests(page);
      await page.goto(srv.url + c.open);
      const view = c.frame ? page.frameLocator('#f') : page;
      if (c.typed) {
        await view.locator('#pwdBox').fill(c.typed);
        await view.locator('#pwdBtn').click();
      }
      await view.locator('#chains li').first().waitFor();
      page.once('dialog', (d) => d.accept());
      await view.locator('#clearBtn').click();
      await view.locator('#empty:has-text("No thought chains recorded yet.")').waitFor();
      assert.equal(stored(srv), null, 'cleared');
      const sent = requests.filter((r) => r.url.includes('action=clear'));
      assert.deepEqual(sent.map((r) => [r.url, r.method, r.headers['content-type'], JSON.parse(r.body)]),
        [[c.url, 'POST', 'application/json', { action: 'clear', confirm: true }]]);
      if (c.typed) assert.equal(sent[0].headers['x-bot-password'], c.typed);
      if (c.frame) await context.unroute(srv.url + frameHost);
      checkConsole(browser);
    });
  }

  test('a script: curl POSTs the confirmation; other methods and GET change nothing', async () => {
    const url = `${guarded.url}/plugin_veltrane?action=clear&confirm=1`;
    const before = fill(guarded);
    const auth = ['-H', `X-Bot-Password: ${PASSWORD}`];
    const body = ['-H', 'Content-Type: application/json', '-d', '{"action":"clear","confirm":true}'];
    for (const method of ['OPTIONS', 'HEAD', 'PUT', 'DELETE', 'GET']) {
      // lighttpd itself refuses a GET with a body (400), so the GET goes without.
      const args = { HEAD: ['-I'], GET: [] }[method] || ['-X', method, ...body];
      const { stdout } = await run('curl', ['-s', '-o', '/dev/null', '-w', '%{http_code}', ...auth, ...args, url]);
      assert.equal(stdout, '405', method);
      assert.deepEqual(stored(guarded), before, method);
    }
    const told = await run('curl', ['-s', ...auth, url]);
    assert.deepEqual(JSON.parse(told.stdout), {
      ok: false, error: 'clear needs a POST with Content-Type: application/json and a JSON object as its body',
    });
    const nopwd = await run('curl', ['-s', '-o', '/dev/null', '-w', '%{http_code}', '-X', 'POST', ...body, url]);
    assert.equal(nopwd.stdout, '401');
    assert.deepEqual(stored(guarded), before);

    const done = await run('curl', ['-s', '-X', 'POST', ...auth, ...body, `${guarded.url}/plugin_veltrane`]);
    assert.deepEqual(JSON.parse(done.stdout), { ok: true, cleared: true });
    assert.equal(stored(guarded), null);
    fill(guarded);
    const viaQuery = await run('curl', ['-s', '-X', 'POST', '-H', 'Content-Type: application/json', '-d', '{}',
      `${guarded.url}/plugins?plugin=veltrane&action=clear&confirm=1&pwd=${encodeURIComponent(PASSWORD)}`]);
    assert.deepEqual(JSON.parse(viaQuery.stdout), { ok: true, cleared: true });
    assert.equal(stored(guarded), null);
  });
});
