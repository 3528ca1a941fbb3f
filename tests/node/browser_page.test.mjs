// The viewer page in a real browser, served by lighttpd running the program
// as a CGI, over the node's direct route and the hub's plug-in route.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { startServer } from './lib/server.mjs';
import { checkConsole, recordRequests } from './lib/browser.mjs';
import { CAPPED, MIXED, chain, chainsPath, thought, writeChains, writeRaw } from './lib/fixtures.mjs';
import { startViewer } from './lib/viewer.mjs';
import { text, visible, waitCount, waitText } from './lib/wait.mjs';

const ROUTES = [
  { name: 'direct route', page: '/plugin_veltrane', prefix: '/plugin_veltrane?action=' },
  { name: 'hub route', page: '/plugins?plugin=veltrane', prefix: '/plugins?plugin=veltrane&action=' },
];

const PLAIN = chain('th-plain', [thought('Only one', 1, 3)], 1700000100);

const { server, browser } = await startViewer();

function pageUrl(route, extra = '') {
  const sep = route.page.includes('?') ? '&' : '?';
  return server.url + route.page + (extra ? sep + extra : '');
}

describe('list and timeline', () => {
  for (const route of ROUTES) {
    test(`chains, chips, timeline, JSON panel, back and refresh over the ${route.name}`, async () => {
      writeChains(server.stateDir, [MIXED, CAPPED, PLAIN]);
      const { page } = browser;
      const requests = recordRequests(page);
      await page.goto(pageUrl(route));
      await waitCount(page, '#chains li', 3);
      assert.equal(await page.title(), 'Thought Chains');
      assert.equal(await text(page, '#chipChains'), 'chains 3');
      assert.equal(await text(page, '#chipThoughts'), 'thoughts 1005');
      assert.equal(await text(page, '#chipState'), `state ${path.basename(server.stateDir)}`);
      assert.deepEqual(requests.map((r) => r.url), [`${route.prefix}chains`]);

      const items = await page.$$eval('#chains li', (lis) => lis.map((li) => ({
        id: li.querySelector('.cl-id').textContent,
        last: li.querySelector('.cl-last').textContent,
        pills: [...li.querySelectorAll('.pill')].map((p) => `${p.className}:${p.textContent}`),
        when: li.querySelector('.cl-when').textContent,
      })));
      assert.deepEqual(items.map((i) => [i.id, i.last, i.pills]), [
        ['th-mixed-1', 'Both at once', ['pill t:thoughts 4', 'pill b:branches 2']],
        ['th-capped', 'step 1000', ['pill t:thoughts 1000', 'pill:capped']],
        ['th-plain', 'Only one', ['pill t:thoughts 1']],
      ]);
      assert.notEqual(items[0].when, '-');
      assert.equal(await visible(page, '#dhead'), false);

      // The JSON panel shows the list answer until a chain is opened.
      await page.click('#jsonBtn');
      assert.equal(await text(page, '#jsonBtn'), 'Hide JSON');
      assert.equal(JSON.parse(await text(page, '#json')).count, 3);

      await page.click('#chains li >> nth=0');
      await waitCount(page, '#tl li', 4);
      await waitCount(page, '#chains li.sel', 1);
      assert.equal(await page.getAttribute('body', 'data-view'), 'detail');
      assert.equal(await visible(page, '#dhead'), true);
      assert.equal(await visible(page, '#empty'), false);
      assert.equal(await text(page, '#dId'), 'th-mixed-1');
      assert.equal(await text(page, '#dCount'), '4 thoughts');
      assert.equal(await page.$eval('#dProg', (i) => i.style.width), '75%');
      assert.equal(await page.$eval('#chains li.sel .cl-id', (e) => e.textContent), 'th-mixed-1');
      assert.ok(requests.some((r) => r.url === `${route.prefix}chain&id=th-mixed-1`), JSON.stringify(requests));

      const entries = await page.$$eval('#tl li', (lis) => lis.map((li) => ({
        cls: li.className,
        head: li.querySelector('.th-head').innerText.replace(/\s+/g, ' ').trim(),
        body: li.querySelector('.th-body').innerText,
        dot: getComputedStyle(li.querySelector('.dot')).backgroundColor,
      })));
      // Badges are drawn in upper case; innerText shows what the reader sees.
      assert.deepEqual(entries.map((e) => [e.cls, e.head]), [
        ['', '#1 / 4'],
        ['rev', '#2 / 4 REVISION OF #1'],
        ['br', '#3 / 4 BRANCH FROM #1 \u00b7 ALT needs more thoughts'],
        ['rev', '#3 / 4 REVISION BRANCH FROM #2 \u00b7 B2 FINAL'],
      ]);
      assert.equal(entries[0].body, 'List the inputs\nand the outputs', 'line breaks are kept');
      assert.deepEqual(entries.map((e) => e.dot), [
        'rgb(10, 132, 255)', 'rgb(255, 159, 10)', 'rgb(48, 209, 88)', 'rgb(255, 159, 10)',
      ]);
      assert.equal(JSON.parse(await text(page, '#json')).id, 'th-mixed-1', 'JSON panel follows the chain');

      // Refresh in the detail view opens the same chain again and sees new thoughts.
      writeChains(server.stateDir, [
        { ...MIXED, thoughts: [...MIXED.thoughts, thought('One more', 4, 4, { next_needed: false })] }, CAPPED, PLAIN,
      ]);
      const before = requests.length;
      await page.click('#refreshBtn');
      await waitCount(page, '#tl li', 5);
      assert.equal(await page.$eval('#dProg', (i) => i.style.width), '100%');
      // The page also polls the list, so only which addresses were asked counts.
      assert.deepEqual([...new Set(requests.slice(before).map((r) => r.url))].sort(),
        [`${route.prefix}chain&id=th-mixed-1`, `${route.prefix}chains`]);

      await page.click('#backBtn2');
      await waitCount(page, '#tl li', 0);
      assert.equal(await page.getAttribute('body', 'data-view'), null);
      assert.equal(await visible(page, '#dhead'), false);
      await waitText(page, '#json', '"count": 3');
      assert.equal(await text(page, '#jsonBtn'), 'Hide JSON', 'the panel stays open across views');
      await page.click('#jsonBtn');
      assert.equal(await visible(page, '#json'), false);
      checkConsole(browser);
    });
  }

  test('progress comes from the last thought, the count from the array', async () => {
    const cases = [
      { id: 'p75', thoughts: [thought('a', 1, 4), thought('b', 3, 4)], width: '75%', count: '2 thoughts' },
      { id: 'p33', thoughts: [thought('a', 1, 3)], width: '33%', count: '1 thoughts' },
      { id: 'p67', thoughts: [thought('a', 2, 3)], width: '67%', count: '1 thoughts' },
      { id: 'p100', thoughts: [thought('a', 5, 4)], width: '100%', count: '1 thoughts' },
      { id: 'half', thoughts: [thought('a', 1, 8)], width: '13%', count: '1 thoughts' },
      { id: 'p0', thoughts: [thought('a', 2, 0)], width: '0%', count: '1 thoughts' },
    ];
    writeChains(server.stateDir, cases.map((c) => chain(c.id, c.thoughts)));
    const { page } = browser;
    await page.goto(pageUrl(ROUTES[0]));
    await waitCount(page, '#chains li', cases.length);
    for (const [i, c] of cases.entries()) {
      await page.click(`#chains li >> nth=${i}`);
      await waitText(page, '#dId', c.id);
      await waitCount(page, '#tl li', c.thoughts.length);
      assert.equal(await page.$eval('#dProg', (e) => e.style.width), c.width, c.id);
      assert.equal(await text(page, '#dCount'), c.count, c.id);
    }
    checkConsole(browser);
  });

  test('an empty store shows zero chips and how to record a chain', async () => {
    fs.rmSync(chainsPath(server.stateDir), { force: true });
    const { page } = browser;
    await page.goto(pageUrl(ROUTES[1]));
    await waitText(page, '#empty', 'No thought chains recorded yet.');
    assert.equal(await text(page, '#chipChains'), 'chains 0');
    assert.equal(await text(page, '#chipThoughts'), 'thoughts 0');
    assert.deepEqual(await page.$$eval('#empty code', (c) => c.map((e) => e.textContent)),
      ['veltraneflowstream', 'plugin_veltrane --mcp']);
    checkConsole(browser);
  });
});

describe('answer text is never markup', () => {
  test('markup in a thought, a chain id, a branch id and a head is shown as text and never runs', async () => {
    const evil = '<img src=x onerror="window.__pwned=1">';
    const script = '<script>window.__pwned=2</script>';
    writeChains(server.stateDir, [
      chain(evil, [thought('listed only', 1, 1)]),
      chain('th-xss', [
        thought(`${evil}<b>bold</b> & "quoted" 'single'`, 1, 2),
        thought(script, 2, 2, { branch_from: 1, branch_id: evil, next_needed: false }),
      ]),
    ]);
    const { page } = browser;
    await page.goto(pageUrl(ROUTES[0]));
    await waitCount(page, '#chains li', 2);
    assert.equal(await page.$eval('#chains li .cl-id', (e) => e.textContent), evil);
    assert.equal(await page.$eval('#chains li:nth-child(2) .cl-last', (e) => e.textContent), script);
    await page.click('#chains li >> nth=1');
    await waitCount(page, '#tl li', 2);
    const bodies = await page.$$eval('#tl .th-body', (b) => b.map((e) => e.textContent));
    assert.deepEqual(bodies, [`${evil}<b>bold</b> & "quoted" 'single'`, script]);
    assert.equal(await page.$eval('#tl .badge.br', (e) => e.textContent), `branch from #1 \u00b7 ${evil}`);
    assert.equal(await page.$$eval('img, b:not(.chip b), #tl script', (e) => e.length), 0);

    // The id with markup cannot be opened; the program's refusal is shown as text.
    await page.click('#chains li >> nth=0');
    await waitText(page, '#errbox', 'invalid chain id');
    assert.equal(await page.evaluate(() => window.__pwned), undefined);
    checkConsole(browser);
  });
});

describe('errors', () => {
  test('failures land in the error box, which opening a chain hides', async () => {
    writeChains(server.stateDir, [PLAIN]);
    const { page } = browser;
    const cases = [
      { name: 'unreadable store', setup: () => writeRaw(server.stateDir, '{"chains":[') , want: 'state unreadable' },
      { name: 'network failure', route: (r) => r.abort(), want: 'chains: TypeError' },
      { name: 'answer not JSON', route: (r) => r.fulfill({ status: 200, body: 'oops' }), want: 'chains: SyntaxError' },
      { name: 'failed answer without text', route: (r) => r.fulfill({ status: 200, body: '{"ok":false}' }), want: 'chains failed' },
      { name: 'empty answer', route: (r) => r.fulfill({ status: 200, body: 'null' }), want: 'chains failed' },
    ];
    for (const c of cases) {
      writeChains(server.stateDir, [PLAIN]);
      if (c.setup) c.setup();
      if (c.route) await page.route('**/plugin_veltrane?action=*', c.route);
      await page.goto(pageUrl(ROUTES[0]));
      await waitText(page, '#errbox', c.want);
      assert.equal(await visible(page, '#errbox'), true, c.name);
      if (c.route) await page.unroute('**/plugin_veltrane?action=*');
    }

    // A chain that vanished between the list and the click.
    writeChains(server.stateDir, [PLAIN]);
    await page.goto(pageUrl(ROUTES[0]));
    await waitCount(page, '#chains li', 1);
    writeChains(server.stateDir, []);
    await page.click('#chains li');
    await waitText(page, '#errbox', 'chain not found');
    writeChains(server.stateDir, [PLAIN]);
    await page.click('#refreshBtn');
    await waitCount(page, '#tl li', 1);
    assert.equal(await visible(page, '#errbox'), false, 'opening a chain hides the error box');
    checkConsole(browser);
  });
});

describe('requests', () => {
  test('addresses, passed-on parameters and the password from the address or storage', async () => {
    writeChains(server.stateDir, [MIXED]);
    const { page } = browser;
    const cases = [
      { query: '/plugin_veltrane', storage: {}, want: '/plugin_veltrane?action=chains', pwd: undefined },
      { query: '/plugins?plugin=veltrane&node=my%20node&id=S1&pwd=a%2Bb%26c', storage: { bot_active_pwd: 'other' },
        want: '/plugins?plugin=veltrane&action=chains&node=my%20node&id=S1&pwd=a%2Bb%26c', pwd: 'a+b&c' },
      { query: '/plugins?plugin=vel%20trane', storage: {}, want: '/plugins?plugin=vel%20trane&action=chains', pwd: undefined },
      // On the direct route the password travels in its header only.
      { query: '/plugin_veltrane?node=n1', storage: { bot_pwd_n1: 'own', bot_active_pwd: 'other' },
        want: '/plugin_veltrane?action=chains&node=n1', pwd: 'own' },
      { query: '/plugin_veltrane?node=n2', storage: { bot_pwd_n1: 'own', bot_active_pwd: 'active' },
        want: '/plugin_veltrane?action=chains&node=n2', pwd: 'active' },
      { query: '/plugin_veltrane?x=1', storage: { bot_active_pwd: 'active' },
        want: '/plugin_veltrane?action=chains', pwd: 'active' },
      { query: '/plugin_veltrane?node=n1&pwd=given', storage: { bot_pwd_n1: 'own' },
        want: '/plugin_veltrane?action=chains&node=n1', pwd: 'given' },
      { query: '/plugins?plugin=veltrane&node=n1', storage: { bot_pwd_n1: 'own' },
        want: '/plugins?plugin=veltrane&action=chains&node=n1&pwd=own', pwd: 'own' },
    ];
    for (const c of cases) {
      await page.goto(`${server.url}/plugin_veltrane`);
      await page.evaluate((s) => {
        localStorage.clear();
        sessionStorage.clear();
        for (const [k, v] of Object.entries(s)) localStorage.setItem(k, v);
      }, c.storage);
      const requests = recordRequests(page);
      await page.goto(`${server.url}${c.query}`);
      await waitCount(page, '#chains li', 1);
      assert.deepEqual(requests.map((r) => r.url), [c.want], c.query);
      assert.equal(requests[0].headers['x-bot-password'], c.pwd, c.query);
    }
    // The page's own id is passed on after the chain's, and the chain's wins.
    const requests = recordRequests(page);
    await page.goto(`${server.url}/plugin_veltrane?id=S1`);
    await page.click('#chains li');
    await waitText(page, '#dId', 'th-mixed-1');
    assert.ok(requests.some((r) => r.url === '/plugin_veltrane?action=chain&id=th-mixed-1&id=S1'),
      JSON.stringify(requests.map((r) => r.url)));
    await page.evaluate(() => localStorage.clear());
    checkConsole(browser);
  });

  test('a password with reserved characters reaches the gate intact', async () => {
    const password = 'p&w+1 x%';
    const guarded = await startServer({ password });
    try {
      writeChains(guarded.stateDir, [PLAIN]);
      const { page } = browser;
      await page.goto(`${guarded.url}/plugin_veltrane?pwd=${encodeURIComponent(password)}`);
      await waitCount(page, '#chains li', 1);
      await page.click('#chains li');
      await waitCount(page, '#tl li', 1);
      assert.equal(await visible(page, '#errbox'), false);
      checkConsole(browser);
    } finally {
      await guarded.stop();
    }
  });

  test('an answer for a chain the user has left is dropped', async () => {
    const other = chain('th-other', [thought('the other chain', 1, 1)], 1700000050);
    writeChains(server.stateDir, [MIXED, other]);
    const { page } = browser;
    await page.goto(pageUrl(ROUTES[0]));
    await waitCount(page, '#chains li', 2);
    let release;
    const held = new Promise((r) => { release = r; });
    await page.route('**/plugin_veltrane?action=chain&id=th-mixed-1*', async (r) => { await held; await r.continue(); });
    await page.click('#chains li >> nth=0');
    await page.click('#chains li >> nth=1');
    await waitText(page, '#dId', 'th-other');
    release();
    await page.waitForTimeout(300);
    await page.click('#jsonBtn');
    assert.equal(await text(page, '#dId'), 'th-other');
    assert.equal(await page.$$eval('#tl li', (l) => l.length), 1);
    assert.equal(JSON.parse(await text(page, '#json')).id, 'th-other');
    await page.unroute('**/plugin_veltrane?action=chain&id=th-mixed-1*');
    checkConsole(browser);
  });
});

describe('clear', () => {
  test('declining sends nothing; accepting deletes the store and returns to the list', async () => {
    writeChains(server.stateDir, [MIXED, PLAIN]);
    const { page } = browser;
    const requests = recordRequests(page);
    await page.goto(pageUrl(ROUTES[1]));
    await waitCount(page, '#chains li', 2);
    await page.click('#chains li >> nth=0');
    await waitCount(page, '#tl li', 4);

    let asked = '';
    page.once('dialog', (d) => { asked = d.message(); d.dismiss(); });
    await page.click('#clearBtn');
    await page.waitForTimeout(300);
    assert.equal(asked, 'Delete all recorded thought chains? This cannot be undone.');
    assert.equal(requests.filter((r) => r.url.includes('action=clear')).length, 0);
    assert.ok(fs.existsSync(chainsPath(server.stateDir)));

    page.once('dialog', (d) => d.accept());
    await page.click('#clearBtn');
    await waitText(page, '#empty', 'No thought chains recorded yet.');
    // A POST of JSON, the confirmation in its body.
    assert.deepEqual(requests.filter((r) => r.url.includes('action=clear')).map((r) => [r.url, r.method, r.body]),
      [['/plugins?plugin=veltrane&action=clear', 'POST', '{"action":"clear","confirm":true}']]);
    assert.equal(fs.existsSync(chainsPath(server.stateDir)), false);
    assert.equal(await page.getAttribute('body', 'data-view'), null);
    assert.equal(await page.$$eval('#tl li, #chains li', (l) => l.length), 0);
    assert.equal(await text(page, '#chipChains'), 'chains 0');
    assert.equal(await visible(page, '#empty'), true);
    checkConsole(browser);
  });
});
