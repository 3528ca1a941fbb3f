// The web endpoint behind a real lighttpd, as a browser or the host's hub
// sees it: both routes, GET and POST, the password, status, headers, bodies.
import test from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { writeChains } from './lib/fixtures.mjs';
import { startServer } from './lib/server.mjs';
import { removeDir, tempDir } from './lib/temp.mjs';

const CHAINS = {
  chains: [
    {
      id: 'th-64-1a2c', started_at: 100, updated_at: 130,
      thoughts: [
        { thought: 'List the inputs', thought_number: 1, total_thoughts: 3, next_needed: true, at: 100 },
        { thought: 'Try the other order\nsecond line', thought_number: 2, total_thoughts: 3, next_needed: false,
          is_revision: true, revises: 1, branch_from: 1, branch_id: 'alt', at: 130 },
      ],
      count: 2, branches: ['alt'],
    },
    { id: 'th-65-9', started_at: 200, updated_at: 250, thoughts: [], count: 0, branches: [] },
  ],
};

// lighttpd over a state directory of its own that holds CHAINS, both gone
// after test t. options are passed on to startServer.
async function serveChains(t, options = {}) {
  const stateDir = tempDir('veltrane-state-');
  writeChains(stateDir, CHAINS.chains);
  const server = await startServer({ stateDir, ...options });
  t.after(async () => { await server.stop(); removeDir(stateDir); });
  return { server, stateDir };
}

function assertJsonHeaders(res, label) {
  assert.equal(res.headers.get('content-type'), 'application/json; charset=utf-8', label);
  assert.equal(res.headers.get('cache-control'), 'no-store', label);
  assert.equal(res.headers.get('x-content-type-options'), 'nosniff', label);
}

// The two ways in: the program's own path and the host's hub route.
const routes = {
  direct: (query) => `/plugin_veltrane${query ? `?${query}` : ''}`,
  hub: (query) => `/plugins?plugin=veltrane${query ? `&${query}` : ''}`,
};

test('without a password: every action on both routes', async (t) => {
  const { server, stateDir } = await serveChains(t, { env: { MAX_THOUGHT_HISTORY: '25' } });

  for (const [name, route] of Object.entries(routes)) {
    const list = await fetch(server.url + route('action=chains'));
    assert.equal(list.status, 200, name);
    assertJsonHeaders(list, name);
    const body = await list.json();
    assert.equal(body.ok, true);
    assert.equal(body.count, 2);
    assert.equal(body.state_dir_name, path.basename(stateDir));
    assert.deepEqual(body.chains[0], {
      id: 'th-64-1a2c', started_at: 100, updated_at: 130, thoughts: 2, branches: ['alt'],
      last_head: 'Try the other order', truncated: false, first_head: 'List the inputs',
    });

    // The page's own request for the list.
    const viaFormat = await (await fetch(server.url + route('format=json'))).json();
    assert.deepEqual(viaFormat, body, name);

    const one = await (await fetch(server.url + route('action=chain&id=th-64-1a2c'))).json();
    assert.deepEqual(one, { ok: true, ...CHAINS.chains[0] }, name);

    const stats = await (await fetch(server.url + route('action=stats'))).json();
    assert.deepEqual(stats, {
      ok: true, chains: 2, thoughts: 2, branches: 1, revisions: 1, last_activity: 250,
      max_chains: 50, max_thoughts_each: 1000, max_thought_history: 25,
    }, name);

    const info = await (await fetch(server.url + route('action=info'))).json();
    assert.equal(info.state_dir, stateDir, name);
    assert.deepEqual(info.tools, ['veltraneflowstream']);
    assert.deepEqual(info.tool_schema.required, ['thought', 'nextThoughtNeeded', 'thoughtNumber', 'totalThoughts']);

    const unknown = await fetch(server.url + route('action=nope'));
    assert.equal(unknown.status, 200, 'errors carry status 200');
    assert.deepEqual(await unknown.json(), { ok: false, error: 'unknown action' });

    const page = await fetch(server.url + route(''));
    assert.equal(page.status, 200, name);
    assert.match(page.headers.get('content-type'), /^text\/html/);
    assert.match(await page.text(), /<title>Thought Chains<\/title>/);
  }
});

test('POST bodies choose the action and carry its parameters', async (t) => {
  const { server, stateDir } = await serveChains(t);
  const post = (url, body) => fetch(url, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
  });

  const chain = await post(server.url + routes.hub('action=chains'), { action: 'chain', id: 'th-65-9' });
  assertJsonHeaders(chain, 'chain');
  assert.deepEqual(await chain.json(), { ok: true, ...CHAINS.chains[1] });

  const stats = await (await post(server.url + routes.direct(''), { action: 'stats' })).json();
  assert.equal(stats.chains, 2);

  // No action anywhere: a POST gets the list, never the page.
  const list = await post(server.url + routes.direct(''), {});
  assertJsonHeaders(list, 'list');
  assert.equal((await list.json()).count, 2);

  const refused = await (await post(server.url + routes.hub(''), { action: 'clear', confirm: false })).json();
  assert.deepEqual(refused, { ok: false, error: 'confirm=1 required' });
  assert.ok(fs.existsSync(path.join(stateDir, 'chains.json')));

  const cleared = await (await post(server.url + routes.hub(''), { action: 'clear', confirm: true })).json();
  assert.deepEqual(cleared, { ok: true, cleared: true });
  assert.ok(!fs.existsSync(path.join(stateDir, 'chains.json')));
  assert.ok(fs.statSync(stateDir).isDirectory(), 'the directory stays');

  const after = await (await fetch(server.url + routes.direct('action=stats'))).json();
  assert.equal(after.chains, 0);
});

test('with a password: 401 without it, any one source lets in', async (t) => {
  const password = 'p@ss+word';
  const { server, stateDir } = await serveChains(t, { password });
  const encoded = encodeURIComponent(password);

  for (const [name, route] of Object.entries(routes)) {
    for (const query of ['action=stats', '']) {
      const res = await fetch(server.url + route(query));
      assert.equal(res.status, 401, `${name} ${query}`);
      assert.equal(res.headers.get('content-type'), 'application/json; charset=utf-8');
      assert.equal(res.headers.get('cache-control'), null);
      assert.equal(await res.text(), '{"ok":false,"error":"invalid node password"}\n');
    }
    const wrong = await fetch(server.url + route('action=stats'), { headers: { 'X-Bot-Password': 'nope' } });
    assert.equal(wrong.status, 401, name);

    const admitted = [
      [route('action=stats'), { 'X-Bot-Password': password }],
      [route('action=stats'), { Authorization: `Bearer ${password}` }],
      [route(`action=stats&pwd=${encoded}`), {}],
      [route(`action=stats&pwd=${encoded}`), { 'X-Bot-Password': 'nope' }],
    ];
    for (const [url, headers] of admitted) {
      const res = await fetch(server.url + url, { headers });
      assert.equal(res.status, 200, `${name} ${url} ${JSON.stringify(headers)}`);
      assertJsonHeaders(res, url);
      assert.equal((await res.json()).chains, 2);
    }
    // A raw "+" in the query is a space, so it does not match.
    const plus = await fetch(server.url + route(`action=stats&pwd=${password}`));
    assert.equal(plus.status, 401, name);

    const page = await fetch(server.url + route(`pwd=${encoded}`));
    assert.equal(page.status, 200, name);
    assert.match(page.headers.get('content-type'), /^text\/html/);
  }

  // The server's root leads to the viewer with its query kept, so that a
  // ?pwd= given there still lets in.
  for (const query of ['', `?pwd=${encoded}`]) {
    const root = await fetch(`${server.url}/${query}`, { redirect: 'manual' });
    assert.equal(root.status, 302, query);
    assert.equal(root.headers.get('location'), `/plugin_veltrane${query}`);
  }
  const viewer = await fetch(`${server.url}/?pwd=${encoded}`);
  assert.equal(viewer.status, 200);
  assert.match(await viewer.text(), /<title>Thought Chains<\/title>/);

  // A refused clear deletes nothing.
  const res = await fetch(server.url + routes.direct('action=clear&confirm=1'), { method: 'POST', body: '' });
  assert.equal(res.status, 401);
  assert.ok(fs.existsSync(path.join(stateDir, 'chains.json')));
});
