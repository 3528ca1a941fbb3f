// The viewer's ways around many long chains, in a real browser against the
// program behind lighttpd: order and filter, find, links between thoughts,
// the branch selector, times, code, the map, addresses, copy and download,
// keyboard use, and stored markup shown as text everywhere.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { artifacts, checkConsole, recordRequests, withBrowser } from './lib/browser.mjs';
import { MIXED, chain, thought, writeChains } from './lib/fixtures.mjs';
import { startViewer } from './lib/viewer.mjs';
import { scrollTimelineToEnd, waitCount, waitText } from './lib/wait.mjs';

const { server, browser } = await startViewer();

const now = () => Math.floor(Date.now() / 1000);
const lines = (n, k) => Array.from({ length: k }, (_, i) => `thought ${n}, line ${i + 1} of a longer text`).join('\n');

// 40 long thoughts: a branch "alt" from #3 (two thoughts), a revision of #2
// near the end, and a final thought.
const NAV = chain('th-nav', Array.from({ length: 40 }, (_, i) => {
  const n = i + 1;
  if (n === 5 || n === 6) return thought(lines(n, 6), n, 40, { branch_from: 3, branch_id: 'alt' });
  if (n === 39) return thought(lines(n, 6), n, 40, { is_revision: true, revises: 2 });
  if (n === 40) return thought(lines(n, 6), n, 40, { next_needed: false });
  return thought(lines(n, 6), n, 40);
}), 1700000500);

const EVIL = '<img src=x onerror="window.__pwned=1">';
const XSS = chain('th-xss', [
  thought(`${EVIL} needle`, 1, 3),
  thought('<script>window.__pwned=2</script>', 2, 3, { branch_from: 1, branch_id: '<b>b</b>' }),
  thought('plain', 3, 3, { is_revision: true, revises: 1 }),
], 1700000400);

async function openChain(page, id, count, query = '') {
  await page.goto(`${server.url}/plugin_veltrane${query}#chain=${id}`);
  await waitText(page, '#dId', id);
  await waitCount(page, '#tl li', count);
}

// The thought numbers of the timeline entries that are shown.
const shownNumbers = (page) => page.$$eval('#tl li', (lis) => lis.filter((li) => li.offsetParent !== null)
  .map((li) => li.querySelector('.th-num').textContent));

// Where the entry of the index-th thought sits relative to the top of the timeline.
const topOf = (page, index) => page.evaluate((i) => {
  const li = document.querySelectorAll('#tl li')[i];
  return li.getBoundingClientRect().top - document.getElementById('tlwrap').getBoundingClientRect().top;
}, index);

describe('the list', () => {
  test('newest first, a live mark for a chain written in the last minute, and a filter by id or head', async () => {
    const t = now();
    writeChains(server.stateDir, [
      chain('th-old', [thought('the oldest head', 1, 1)], 1700000000),
      chain('th-live', [thought('being written', 1, 2)], t - 5),
      chain('th-mid', [thought('Middle <b>markup</b> head', 1, 1)], 1700000200),
      { ...chain('th-tie-early', [thought('same time, earlier start', 1, 1)], 1700000300), started_at: 1700000100 },
      { ...chain('th-tie-late', [thought('same time, later start', 1, 1)], 1700000300), started_at: 1700000200 },
    ]);
    const { page } = browser;
    await page.goto(`${server.url}/plugin_veltrane`);
    await waitCount(page, '#chains li', 5);
    const ids = () => page.$$eval('#chains li .cl-id', (l) => l.map((e) => e.textContent));
    assert.deepEqual(await ids(), ['th-live', 'th-tie-late', 'th-tie-early', 'th-mid', 'th-old']);
    assert.deepEqual(await page.$$eval('#chains li', (l) => l.map((li) => !!li.querySelector('.livemark'))),
      [true, false, false, false, false]);

    const cases = [
      { filter: 'TIE', want: ['th-tie-late', 'th-tie-early'] },
      { filter: 'earlier start', want: ['th-tie-early'] },
      { filter: '<b>markup', want: ['th-mid'] },
      { filter: 'nothing like it', want: [], note: 'No chain matches the filter.' },
      { filter: '', want: ['th-live', 'th-tie-late', 'th-tie-early', 'th-mid', 'th-old'] },
    ];
    for (const c of cases) {
      await page.fill('#filterBox', c.filter);
      assert.deepEqual(await ids(), c.want, c.filter);
      if (c.note) assert.equal(await page.textContent('#listNote'), c.note);
    }
    assert.equal(await page.textContent('#chains li:nth-child(4) .cl-last'), 'Middle <b>markup</b> head');
    assert.equal(await page.$$eval('#chains b', (b) => b.length), 0);
    await page.fill('#filterBox', 'old');
    await page.press('#filterBox', 'Escape');
    assert.equal((await ids()).length, 5, 'Escape empties the filter');
    checkConsole(browser);
  });
});

describe('inside a chain', () => {
  test('find marks every match in the thoughts, counts them and steps through them', async () => {
    writeChains(server.stateDir, [chain('th-find', [
      thought('A needle in the hay\nand another NEEDLE', 1, 4),
      thought('nothing here', 2, 4),
      thought('code:\n```\nlet needle = 1;\n```\nand `needle()` inline', 3, 4),
      thought('<b>needle</b> & <img src=x>', 4, 4),
    ])]);
    const { page } = browser;
    await page.emulateMedia({ reducedMotion: 'reduce' });
    await openChain(page, 'th-find', 4);
    await page.fill('#findBox', 'needle');
    await waitText(page, '#findCount', '5 matches');
    assert.deepEqual(await page.$$eval('#tl mark.hit', (m) => m.map((e) => e.textContent)),
      ['needle', 'NEEDLE', 'needle', 'needle', 'needle']);
    assert.notEqual(await page.getAttribute('#map path.hits', 'd'), '', 'the map marks the thoughts with matches');

    const current = () => page.evaluate(() => {
      const m = document.querySelector('#tl mark.hit.cur');
      const li = m.closest('li');
      return [li.querySelector('.th-num').textContent, [...li.querySelectorAll('mark.hit')].indexOf(m)];
    });
    const steps = [
      { key: 'Enter', count: '1 of 5', at: ['#1 / 4', 0] },
      { key: 'Enter', count: '2 of 5', at: ['#1 / 4', 1] },
      { key: 'Shift+Enter', count: '1 of 5', at: ['#1 / 4', 0] },
      { key: 'Shift+Enter', count: '5 of 5', at: ['#4 / 4', 0] },
      { click: '#findNext', count: '1 of 5', at: ['#1 / 4', 0] },
      { click: '#findPrev', count: '5 of 5', at: ['#4 / 4', 0] },
    ];
    for (const s of steps) {
      if (s.key) await page.press('#findBox', s.key); else await page.click(s.click);
      assert.equal(await page.textContent('#findCount'), s.count, JSON.stringify(s));
      assert.deepEqual(await current(), s.at, JSON.stringify(s));
    }
    // Matches in code keep the code's look; markup in a match stays text.
    assert.equal(await page.$$eval('#tl pre mark.hit, #tl code mark.hit', (m) => m.length), 2);
    await page.fill('#findBox', '<img');
    await waitText(page, '#findCount', '1 match');
    assert.equal(await page.textContent('#tl mark.hit'), '<img');
    assert.equal(await page.$$eval('#tl img, #tl b', (e) => e.length), 0);
    await page.press('#findBox', 'Escape');
    await waitCount(page, '#tl mark', 0);
    assert.equal(await page.textContent('#findCount'), '');
    await page.emulateMedia({ reducedMotion: 'no-preference' });
    checkConsole(browser);
  });

  test('"revision of #N" and "branch from #N" take the reader to thought N and mark it', async () => {
    writeChains(server.stateDir, [NAV]);
    const { page } = browser;
    // A near target is scrolled to smoothly unless the reader asks for
    // reduced motion; a far one (37 long thoughts up) is jumped to.
    const cases = [
      { from: 5, link: '.badge.br .ref', to: 2, motion: 'no-preference', smooth: true },
      { from: 5, link: '.badge.br .ref', to: 2, motion: 'reduce', smooth: false },
      { from: 38, link: '.badge.rev .ref', to: 1, motion: 'no-preference', smooth: false },
      { from: 38, link: '.badge.rev .ref', to: 1, motion: 'reduce', smooth: false },
    ];
    for (const c of cases) {
      await page.emulateMedia({ reducedMotion: c.motion });
      await openChain(page, 'th-nav', 40);
      await page.evaluate((i) => document.querySelectorAll('#tl li')[i].scrollIntoView({ block: 'start' }), c.from);
      await page.waitForTimeout(100);
      assert.equal(await page.locator('#tl li').nth(c.from).locator(c.link).textContent(), `#${c.to + 1}`);
      const moved = await page.evaluate(([i, sel]) => {
        const w = document.getElementById('tlwrap');
        const top = w.scrollTop;
        document.querySelectorAll('#tl li')[i].querySelector(sel).click();
        return w.scrollTop !== top;
      }, [c.from, c.link]);
      assert.equal(moved, !c.smooth, JSON.stringify(c));
      await page.waitForFunction((i) => {
        const li = document.querySelectorAll('#tl li')[i];
        const top = li.getBoundingClientRect().top - document.getElementById('tlwrap').getBoundingClientRect().top;
        return Math.abs(top - 10) < 3;
      }, c.to, { timeout: 5000 });
      const flash = await page.evaluate((i) => {
        const li = document.querySelectorAll('#tl li')[i];
        return { marked: li.hasAttribute('data-flash'), animation: getComputedStyle(li.querySelector('.th-body')).animationName };
      }, c.to);
      assert.deepEqual(flash, { marked: true, animation: c.motion === 'reduce' ? 'none' : 'flash' }, JSON.stringify(c));
      await page.waitForFunction((i) => !document.querySelectorAll('#tl li')[i].hasAttribute('data-flash'), c.to);
    }
    await page.emulateMedia({ reducedMotion: 'no-preference' });
    checkConsole(browser);
  });

  test('the branch selector shows one branch with the main line, or the main line alone', async () => {
    writeChains(server.stateDir, [MIXED, XSS, NAV]);
    const { page } = browser;
    await openChain(page, 'th-mixed-1', 4);
    assert.deepEqual(await page.$$eval('#branchSel option', (o) => o.map((e) => e.textContent)),
      ['All thoughts', 'Main line only', 'Branch alt and main line', 'Branch b2 and main line']);
    const cases = [
      { option: 'Branch alt and main line', want: ['#1 / 4', '#2 / 4', '#3 / 4'], branchClass: 'br' },
      { option: 'Branch b2 and main line', want: ['#1 / 4', '#2 / 4', '#3 / 4'], branchClass: 'rev' },
      { option: 'Main line only', want: ['#1 / 4', '#2 / 4'] },
      { option: 'All thoughts', want: ['#1 / 4', '#2 / 4', '#3 / 4', '#3 / 4'] },
    ];
    for (const c of cases) {
      await page.selectOption('#branchSel', { label: c.option });
      assert.deepEqual(await shownNumbers(page), c.want, c.option);
      if (c.branchClass) {
        const third = await page.$$eval('#tl li', (lis) => lis.filter((li) => li.offsetParent !== null)[2].className);
        assert.equal(third, c.branchClass, c.option);
      }
    }
    await openChain(page, 'th-xss', 3);
    assert.deepEqual(await page.$$eval('#branchSel option', (o) => o.map((e) => e.textContent)),
      ['All thoughts', 'Main line only', 'Branch <b>b</b> and main line']);
    assert.equal(await page.$$eval('#branchSel b', (b) => b.length), 0);
    await openChain(page, 'th-nav', 40);
    assert.equal(await page.isVisible('#branchSel'), true);
    writeChains(server.stateDir, [chain('th-straight', [thought('a', 1, 2), thought('b', 2, 2)])]);
    await openChain(page, 'th-straight', 2);
    assert.equal(await page.isVisible('#branchSel'), false, 'no selector without branches');
    checkConsole(browser);
  });

  test('each thought shows when it was recorded: relative, with the exact time on hover', async () => {
    const t = now();
    writeChains(server.stateDir, [chain('th-times', [
      { ...thought('long ago', 1, 4), at: 1700000001 },
      { ...thought('hours ago', 2, 4), at: t - 3 * 3600 - 30 },
      { ...thought('minutes ago', 3, 4), at: t - 150 },
      { ...thought('now', 4, 4), at: t - 2 },
    ], t)]);
    const { page } = browser;
    await openChain(page, 'th-times', 4);
    const times = await page.$$eval('#tl .th-time', (ts) => ts.map((e) => ({ text: e.textContent, title: e.title, at: e.dateTime })));
    assert.deepEqual(times.slice(1).map((x) => x.text), ['3 h ago', '2 min ago', 'just now']);
    assert.equal(times[0].text, await page.evaluate(() => new Date(1700000001000).toLocaleDateString()));
    assert.equal(times[0].at, '2023-11-14T22:13:21.000Z');
    for (const x of times) assert.ok(x.title.length > 8 && /\d/.test(x.title), x.title);
    checkConsole(browser);
  });

  test('fenced and inline code are shown in the monospace font with their spacing; the rest stays plain text', async () => {
    const text = 'Intro with `inline  code` and a lone ` backtick\n```py\ndef f(x):\n    return  x\n```\nAfter the block';
    writeChains(server.stateDir, [chain('th-code', [thought(text, 1, 2), thought('no ``` fence closes\n```\n  open to the end', 2, 2)])]);
    const { page } = browser;
    await openChain(page, 'th-code', 2);
    const got = await page.$$eval('#tl .th-body', (bodies) => bodies.map((b) => ({
      pre: [...b.querySelectorAll('pre')].map((p) => ({
        text: p.textContent, lang: p.getAttribute('data-lang'),
        font: getComputedStyle(p).fontFamily, space: getComputedStyle(p).whiteSpace,
      })),
      inline: [...b.querySelectorAll(':scope > code')].map((c) => ({ text: c.textContent, font: getComputedStyle(c).fontFamily })),
      plain: [...b.childNodes].filter((n) => n.nodeType === 3).map((n) => n.textContent),
      font: getComputedStyle(b).fontFamily,
    })));
    assert.deepEqual(got[0].pre.map((p) => [p.text, p.lang, p.space]), [['def f(x):\n    return  x', 'py', 'pre']]);
    assert.match(got[0].pre[0].font, /monospace/);
    assert.deepEqual(got[0].inline.map((c) => c.text), ['inline  code']);
    assert.match(got[0].inline[0].font, /monospace/);
    assert.deepEqual(got[0].plain, ['Intro with ', ' and a lone ` backtick', 'After the block']);
    assert.doesNotMatch(got[0].font, /monospace/);
    // A fence that opens inside a line is text; an unclosed fence runs to the end.
    assert.deepEqual(got[1].plain, ['no ``` fence closes']);
    assert.deepEqual(got[1].pre.map((p) => p.text), ['  open to the end']);
    checkConsole(browser);
  });
});

describe('the map', () => {
  test('draws the main line, the branch from its thought, the revision, and takes the reader to a point', async () => {
    writeChains(server.stateDir, [NAV]);
    const { page } = browser;
    await page.emulateMedia({ reducedMotion: 'reduce' });
    await openChain(page, 'th-nav', 40);
    const drawn = await page.evaluate(() => ({
      lanes: [...document.querySelectorAll('#map path.lane')].map((p) => p.getAttribute('class')),
      labels: [...document.querySelectorAll('#map text')].map((t) => t.textContent),
      revised: !!document.querySelector('#map path.revised'),
      arcs: !!document.querySelector('#map path.arc'),
      newest: !!document.querySelector('#map path.newest'),
      role: document.getElementById('map').getAttribute('role'),
      max: document.getElementById('map').getAttribute('aria-valuemax'),
    }));
    assert.deepEqual(drawn, { lanes: ['lane', 'lane br'], labels: ['alt'], revised: true, arcs: true, newest: true,
      role: 'slider', max: '40' });
    // The branch line starts at thought #3 on the main line.
    const branchStart = await page.evaluate(() => document.querySelector('#map path.lane.br').getAttribute('d').split('L')[0]);
    const mainThird = await page.evaluate(() => document.querySelector('#map path.lane:not(.br)').getAttribute('d').split('L')[2]);
    assert.equal(branchStart.slice(1), mainThird);

    // A click on the point of the 21st thought brings it to the top.
    const box = await page.locator('#map').boundingBox();
    const stepPx = (box.height - 20) / 39;
    await page.mouse.click(box.x + 14, box.y + 10 + 20 * stepPx);
    await page.waitForFunction(() => {
      const li = document.querySelectorAll('#tl li')[20];
      return Math.abs(li.getBoundingClientRect().top - document.getElementById('tlwrap').getBoundingClientRect().top - 10) < 3;
    });
    // Keys move along the thoughts.
    await page.focus('#map');
    const keys = [['End', '40', 39], ['Home', '1', 0], ['ArrowDown', '2', 1], ['PageDown', '12', 11], ['ArrowUp', '11', 10]];
    for (const [key, now, index] of keys) {
      await page.keyboard.press(key);
      assert.equal(await page.getAttribute('#map', 'aria-valuenow'), now, key);
      const top = await topOf(page, index);
      assert.ok(index === 39 ? top < 800 : Math.abs(top - 10) < 3, `${key}: ${top}`);
    }
    assert.match(await page.getAttribute('#map', 'aria-valuetext'), /^Thought #11 of 40/);
    await page.emulateMedia({ reducedMotion: 'no-preference' });
    checkConsole(browser);
  });

  test('a chain of 1000 thoughts: every thought can be reached and the map holds them all', async () => {
    const many = chain('th-many', Array.from({ length: 1000 }, (_, i) => thought(lines(i + 1, 1 + (i % 5)), i + 1, 1000)),
      1700000600);
    writeChains(server.stateDir, [many]);
    const { page } = browser;
    await openChain(page, 'th-many', 1000);
    assert.equal(await page.getAttribute('#map', 'aria-valuemax'), '1000');
    // Scrolling to the end shows the last thought.
    await scrollTimelineToEnd(page, 8);
    const last = await page.evaluate(() => {
      const w = document.getElementById('tlwrap').getBoundingClientRect();
      const li = [...document.querySelectorAll('#tl li')].pop();
      const r = li.getBoundingClientRect();
      return { num: li.querySelector('.th-num').textContent, inView: r.top >= w.top && r.bottom <= w.bottom + 1 };
    });
    assert.deepEqual(last, { num: '#1000 / 1000', inView: true });
    // The band over the map covers the end of the chain.
    const band = await page.evaluate(() => document.getElementById('mapView').getBoundingClientRect().bottom -
      document.getElementById('map').getBoundingClientRect().bottom);
    assert.ok(Math.abs(band) < 12, `band ends ${band}px from the map's end`);

    // A match far from the view, in thoughts not laid out yet, is brought
    // into view; so is a thought picked on the map.
    await page.evaluate(() => { document.getElementById('tlwrap').scrollTop = 0; });
    await page.fill('#findBox', 'thought 700, line 1 ');
    await waitText(page, '#findCount', '1 match');
    await page.press('#findBox', 'Enter');
    const inView = (selector) => page.waitForFunction((sel) => {
      const w = document.getElementById('tlwrap').getBoundingClientRect();
      const r = document.querySelector(sel).getBoundingClientRect();
      return r.top >= w.top && r.bottom <= w.bottom;
    }, selector, { timeout: 5000 });
    await inView('#tl mark.hit.cur');
    assert.equal(await page.textContent('#findCount'), '1 of 1');
    await page.focus('#map');
    await page.keyboard.press('Home');
    await page.keyboard.press('PageDown');
    await inView('#tl li:nth-child(11)');
    assert.equal(await page.getAttribute('#map', 'aria-valuenow'), '11');
    checkConsole(browser);
  });
});

describe('addresses', () => {
  test('opening a chain puts it in the address; loading the address opens it; Back and Forward move between views', async () => {
    writeChains(server.stateDir, [MIXED, NAV]);
    const { page } = browser;
    const query = '?node=n1&id=S1';
    const requests = recordRequests(page);
    await page.goto(`${server.url}/plugin_veltrane${query}#chain=th-nav`);
    await waitText(page, '#dId', 'th-nav');
    assert.ok(requests.some((r) => r.url === '/plugin_veltrane?action=chain&id=th-nav&node=n1&id=S1'));
    assert.equal(await page.getAttribute('body', 'data-view'), 'detail');
    // Back in the page from a chain loaded by its address goes to the list,
    // and the browser's Back returns to the chain.
    await page.click('#backBtn2');
    await waitCount(page, '#tl li', 0);
    assert.equal(await page.evaluate(() => location.hash), '');
    await page.goBack();
    await waitText(page, '#dId', 'th-nav');
    await waitCount(page, '#tl li', 40);

    await page.goto(`${server.url}/plugin_veltrane${query}`);
    await waitCount(page, '#chains li', 2);
    const here = () => page.evaluate(() => ({
      search: location.search, hash: location.hash,
      view: document.body.getAttribute('data-view'), id: document.getElementById('dId').textContent,
    }));
    await page.click('#chains li:has-text("th-mixed-1")');
    await waitText(page, '#dId', 'th-mixed-1');
    await page.click('#chains li:has-text("th-nav")');
    await waitText(page, '#dId', 'th-nav');
    assert.deepEqual(await here(), { search: query, hash: '#chain=th-nav', view: 'detail', id: 'th-nav' });
    const moves = [
      { go: () => page.goBack(), want: { hash: '#chain=th-mixed-1', view: 'detail', id: 'th-mixed-1' } },
      { go: () => page.goBack(), want: { hash: '', view: null } },
      { go: () => page.goForward(), want: { hash: '#chain=th-mixed-1', view: 'detail', id: 'th-mixed-1' } },
      { go: () => page.click('#backBtn2'), want: { hash: '', view: null } },
      // Back in the page returned to the list the chain was opened from.
      { go: () => page.goForward(), want: { hash: '#chain=th-mixed-1', view: 'detail', id: 'th-mixed-1' } },
    ];
    for (const [i, m] of moves.entries()) {
      await m.go();
      await page.waitForFunction((v) => document.body.getAttribute('data-view') === v, m.want.view);
      if (m.want.id) await waitText(page, '#dId', m.want.id);
      const got = await here();
      assert.equal(got.search, query, `move ${i}`);
      assert.equal(got.hash, m.want.hash, `move ${i}`);
      if (m.want.id) assert.equal(got.id, m.want.id, `move ${i}`);
    }
    checkConsole(browser);
  });
});

describe('taking a chain away', () => {
  const EXPORT = chain('th-export', [
    thought('Plan the <b>work</b>\n```\n  indented code\n```', 1, 3),
    thought('Revise it', 2, 3, { is_revision: true, revises: 1 }),
    thought('Other road', 3, 3, { branch_from: 1, branch_id: 'alt`x', next_needed: false, needs_more: true }),
  ], 1700000300);
  const MARKDOWN = [
    '# Thought chain `th-export`',
    '',
    'Started 2023-11-14 22:17:20 UTC, updated 2023-11-14 22:18:20 UTC, 3 thoughts, branches: ``alt`x``.',
    '',
    '## Thought 1 of 3',
    '',
    'Recorded 2023-11-14 22:13:21 UTC',
    '',
    'Plan the <b>work</b>',
    '```',
    '  indented code',
    '```',
    '',
    '## Thought 2 of 3 (revision of #1)',
    '',
    'Recorded 2023-11-14 22:13:22 UTC',
    '',
    'Revise it',
    '',
    '## Thought 3 of 3 (branch from #1, branch ``alt`x``, final, needs more thoughts)',
    '',
    'Recorded 2023-11-14 22:13:23 UTC',
    '',
    'Other road',
    '',
  ].join('\n');

  async function download(page, button) {
    const [dl] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
    const file = await dl.path();
    return { name: dl.suggestedFilename(), text: fs.readFileSync(file, 'utf8'), url: dl.url() };
  }

  test('Markdown and JSON downloads, the Markdown preview, and copies through the Clipboard API', async () => {
    writeChains(server.stateDir, [EXPORT, NAV]);
    const { page, context } = browser;
    await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: server.url });
    await openChain(page, 'th-export', 3);
    const md = await download(page, '#dlMdBtn');
    assert.equal(md.name, 'th-export.md');
    assert.match(md.url, /^blob:/);
    assert.equal(md.text, MARKDOWN);

    const json = await download(page, '#dlJsonBtn');
    assert.equal(json.name, 'th-export.json');
    const answer = await (await fetch(`${server.url}/plugin_veltrane?action=chain&id=th-export`)).text();
    assert.equal(json.text, answer, 'the chain exactly as the chain action returns it');
    const { ok, ...stored } = JSON.parse(json.text);
    assert.equal(ok, true);
    assert.deepEqual(stored, EXPORT);

    await page.click('#mdBtn');
    assert.equal(await page.textContent('#md'), MARKDOWN);
    assert.equal(await page.$$eval('#md b, #md pre, #md code', (e) => e.length), 0);
    await page.click('#mdBtn');

    await page.click('#copyMdBtn');
    await waitText(page, '#announce', 'Chain copied as Markdown');
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), MARKDOWN);
    await page.click('#tl li:nth-child(1) .th-copy');
    await waitText(page, '#tl li:nth-child(1) .th-copy', 'Copied');
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), EXPORT.thoughts[0].thought);
    await context.clearPermissions();
    checkConsole(browser);
  });

  test('without the Clipboard API the copy command is used', async () => {
    writeChains(server.stateDir, [EXPORT]);
    await withBrowser({}, async (plain) => {
      const { page } = plain;
      await plain.context.addInitScript(() => {
        Object.defineProperty(Navigator.prototype, 'clipboard', { get: () => undefined });
        window.__copied = [];
        document.addEventListener('copy', (e) => {
          const t = e.target;
          window.__copied.push(t && 'value' in t ? t.value.slice(t.selectionStart, t.selectionEnd) : '');
        });
      });
      await openChain(page, 'th-export', 3);
      assert.equal(await page.evaluate(() => navigator.clipboard), undefined);
      await page.click('#copyMdBtn');
      await page.click('#tl li:nth-child(2) .th-copy');
      assert.deepEqual(await page.evaluate(() => window.__copied), [MARKDOWN, 'Revise it']);
      checkConsole(plain);
    });
  });
});

describe('stored text is never markup', () => {
  test('in the map labels, the Markdown preview, the find highlights, the badges and the branch selector', async () => {
    const longEvil = chain('th-evil', [
      thought(`${EVIL} needle`, 1, 3),
      thought('<script>window.__pwned=2</script>', 2, 3, { branch_from: 1, branch_id: '<b>b</b>' }),
      thought(`${EVIL}`, 3, 3, { branch_from: 1, branch_id: EVIL }),
    ]);
    writeChains(server.stateDir, [longEvil]);
    const { page } = browser;
    await openChain(page, 'th-evil', 3);
    assert.deepEqual(await page.$$eval('#map text', (t) => t.map((e) => e.textContent)),
      ['<b>b</b>', `${EVIL.slice(0, 15)}\u2026`]);
    await page.fill('#findBox', 'img src');
    await waitText(page, '#findCount', '2 matches');
    assert.deepEqual(await page.$$eval('#tl mark', (m) => m.map((e) => e.textContent)), ['img src', 'img src']);
    await page.click('#mdBtn');
    assert.ok((await page.textContent('#md')).includes(`${EVIL} needle\n`));
    assert.equal(await page.textContent('#tl li:nth-child(3) .badge.br'), `branch from #1 \u00b7 ${EVIL}`);
    assert.equal(await page.$$eval('#tl img, #tl b, #tl script, #map b, #map image, #md *, #branchSel b', (e) => e.length), 0);
    assert.equal(await page.evaluate(() => window.__pwned), undefined);
    await page.click('#mdBtn');
    checkConsole(browser);
  });
});

describe('keyboard', () => {
  test('every new control is reached with Tab, has a name, and shows where the focus is', async () => {
    writeChains(server.stateDir, [MIXED]);
    const { page } = browser;
    await openChain(page, 'th-mixed-1', 4);
    await page.fill('#findBox', 'the');
    await waitText(page, '#findCount', 'matches');
    const named = [
      ['searchbox', 'Filter chains by id or text'], ['searchbox', 'Find in thoughts'], ['button', 'Previous match'],
      ['button', 'Next match'], ['combobox', 'Show branch'], ['button', 'Copy as Markdown'], ['button', 'Download Markdown'],
      ['button', 'Download JSON'], ['slider', 'Chain map'], ['button', 'Show Markdown'], ['button', 'Go to thought #1'],
      ['button', 'Copy the text of thought #1'],
    ];
    for (const [role, name] of named) {
      assert.ok(await page.getByRole(role, { name, exact: true }).first().isVisible(), `${role} "${name}"`);
    }
    // Tab through the page from the top and note each control once (the two
    // thoughts numbered 3 share a name).
    await page.evaluate(() => document.activeElement.blur());
    await page.mouse.click(5, 5);
    const reached = new Map();
    for (let i = 0; i < 40; i++) {
      await page.keyboard.press('Tab');
      const f = await page.evaluate(() => {
        const e = document.activeElement;
        const s = getComputedStyle(e);
        if (e === document.body) return null;
        return { key: e.id || `${e.tagName} ${e.getAttribute('aria-label') || e.textContent.slice(0, 40)}`,
          outline: `${s.outlineStyle} ${s.outlineWidth}` };
      });
      if (f && !reached.has(f.key)) reached.set(f.key, f.outline);
    }
    for (const id of ['filterBox', 'findBox', 'findPrev', 'findNext', 'branchSel', 'copyMdBtn', 'dlMdBtn', 'dlJsonBtn',
      'map', 'jsonBtn', 'mdBtn']) {
      assert.ok(reached.has(id), `${id} is reached with Tab: ${[...reached.keys()].join(', ')}`);
      assert.equal(reached.get(id), 'solid 2px', `${id} shows its focus`);
    }
    const refs = [...reached.keys()].filter((k) => k.includes('Go to thought #'));
    const copies = [...reached.keys()].filter((k) => k.includes('Copy the text of thought #'));
    assert.ok(refs.length >= 2 && copies.length >= 3, [...reached.keys()].join(', '));
    for (const k of [...refs, ...copies]) assert.equal(reached.get(k), 'solid 2px', k);
    checkConsole(browser);
  });
});

describe('screenshots', () => {
  const LAYOUTS = [
    { name: 'wide', viewport: { width: 1280, height: 820 } },
    { name: 'narrow', viewport: { width: 420, height: 860 } },
  ];
  for (const theme of ['dark', 'light']) {
    test(`the new views, wide and narrow, ${theme}`, async () => {
      const t = now();
      const code = 'Check the merge:\n```js\nconst out = merge(a, b);\nassert.deepEqual(out, want);\n```\nThen `out.length` must be 3.';
      const live = chain('th-live-demo', Array.from({ length: 60 }, (_, i) => {
        const n = i + 1;
        const base = { ...thought(n % 7 === 3 ? code : lines(n, 2 + (n % 3)), n, 60), at: t - (60 - n) * 20 };
        if (n === 12 || n === 13) return { ...base, branch_from: 10, branch_id: 'faster-path' };
        if (n === 30) return { ...base, branch_from: 25, branch_id: 'second-try' };
        if (n === 40) return { ...base, is_revision: true, revises: 8 };
        return base;
      }), t - 1);
      writeChains(server.stateDir, [MIXED, NAV, live]);
      const dir = path.join(artifacts, 'viewer');
      fs.mkdirSync(dir, { recursive: true });
      for (const layout of LAYOUTS) {
        await withBrowser({ viewport: layout.viewport, colorScheme: theme }, async (b) => {
          const { page } = b;
          await page.goto(`${server.url}/plugin_veltrane?theme=${theme}`);
          await waitCount(page, '#chains li', 3);
          await page.fill('#filterBox', 'th-');
          await page.screenshot({ path: path.join(dir, `list-${layout.name}-${theme}.png`) });
          await page.click('#chains li >> nth=0');
          await waitCount(page, '#tl li', 60);
          await page.fill('#findBox', 'merge');
          await page.press('#findBox', 'Enter');
          await page.waitForTimeout(700);
          await page.screenshot({ path: path.join(dir, `detail-find-${layout.name}-${theme}.png`) });
          await page.selectOption('#branchSel', { label: 'Branch faster-path and main line' });
          await page.click('#tl li:nth-child(12) .badge.br .ref');
          await page.waitForTimeout(700);
          await page.screenshot({ path: path.join(dir, `detail-branch-${layout.name}-${theme}.png`) });
          await page.click('#mdBtn');
          await page.screenshot({ path: path.join(dir, `markdown-${layout.name}-${theme}.png`) });
          checkConsole(b);
        });
      }
    });
  }
});
