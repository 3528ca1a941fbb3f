// The web endpoint behind a real lighttpd, as a browser or the host's hub
// sees it: both routes, GET and POST, the password, status, headers, bodies.
import test from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { writeChains } from './lib/fixtures.mjs';
import { exe, root } from './lib/program.mjs';
import { freePort, startServer } from './lib/server.mjs';
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
  assert.equal(res.headers.get('referrer-policy'), 'no-referrer', label);
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
    assert.equal(page.headers.get('referrer-policy'), 'no-referrer', name);
    assert.equal(page.headers.get('cross-origin-opener-policy'), 'same-origin', name);
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
    for (const query of ['action=stats', 'format=json']) {
      const res = await fetch(server.url + route(query));
      assert.equal(res.status, 401, `${name} ${query}`);
      assert.equal(res.headers.get('content-type'), 'application/json; charset=utf-8');
      assert.equal(res.headers.get('cache-control'), null);
      assert.equal(res.headers.get('referrer-policy'), 'no-referrer');
      assert.equal(await res.text(), '{"ok":false,"error":"invalid node password"}\n');
    }
    // The page holds no data and opens without the password, which it asks for.
    const plain = await fetch(server.url + route(''));
    assert.equal(plain.status, 200, name);
    assert.match(await plain.text(), /<title>Thought Chains<\/title>/);
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

// A CGI in place of the program that notes each run in `ran` and hands over
// to the program, with a file beside it whose name merely starts with the
// program's: lighttpd must never run that one.
function wrappedProgram(t) {
  const dir = tempDir('veltrane-cgi-');
  t.after(() => removeDir(dir));
  const ran = path.join(dir, 'ran');
  const wrapper = path.join(dir, 'plugin_veltrane');
  fs.writeFileSync(wrapper, `#!/bin/sh\necho "$REQUEST_URI" >> '${ran}'\nexec '${exe}' "$@"\n`, { mode: 0o755 });
  fs.writeFileSync(`${wrapper}_x`, `#!/bin/sh\necho "$REQUEST_URI x" >> '${ran}'\necho 'Content-Type: text/plain'\necho\necho ran\n`,
    { mode: 0o755 });
  return { exe: wrapper, runs: () => (fs.existsSync(ran) ? fs.readFileSync(ran, 'utf8').split('\n').filter(Boolean) : []) };
}

// One request with a Host header of our choosing: { status, body }.
function request(port, { host, method = 'GET', path: p = '/plugin_veltrane?action=stats', headers = {}, body = null }) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, method, path: p, headers: { Host: host, ...headers } }, (res) => {
      let text = '';
      res.setEncoding('utf8');
      res.on('data', (c) => { text += c; });
      res.on('end', () => resolve({ status: res.statusCode, body: text }));
    });
    req.on('error', reject);
    if (body) req.end(body); else req.end();
  });
}

test('the served set-up: only its own host names, bodies up to the program\'s limit, the program at its exact paths', async (t) => {
  const program = wrappedProgram(t);
  const { server } = await serveChains(t, { exe: program.exe, allowHosts: ['Viewer.Example'] });
  const p = server.port;
  const hosts = [
    [`127.0.0.1:${p}`, 200], [`localhost:${p}`, 200], [`LOCALHOST:${p}`, 200], [`viewer.example:${p}`, 200],
    [`evil.test:${p}`, 403], [`localhost.evil.test:${p}`, 403], [`127.0.0.1.evil.test:${p}`, 403],
    ['127.0.0.1', 403], [`127.0.0.1:${p + 1}`, 403], [`viewer.example.evil:${p}`, 403],
  ];
  for (const [host, status] of hosts) {
    const before = program.runs().length;
    for (const route of ['/plugin_veltrane?action=stats', '/plugins?plugin=veltrane&action=stats', '/']) {
      const res = await request(p, { host, path: route });
      const want = route === '/' && status === 200 ? 302 : status;
      assert.equal(res.status, want, `${host} ${route}`);
      if (status === 200 && route !== '/') assert.equal(JSON.parse(res.body).chains, 2, host);
    }
    assert.equal(program.runs().length - before, status === 200 ? 2 : 0, `${host}: the program ran only for allowed names`);
  }

  // Bodies: the program's largest is read; 64 MiB is refused before the
  // program runs, and is not stored.
  const largest = `{"action":"stats"}${' '.repeat(2097152 - 18)}`;
  const big = await request(p, { host: `127.0.0.1:${p}`, method: 'POST', path: '/plugin_veltrane', body: largest,
    headers: { 'Content-Type': 'application/json' } });
  assert.equal(big.status, 200);
  assert.equal(JSON.parse(big.body).chains, 2);
  const before = program.runs().length;
  const huge = await new Promise((resolve) => {
    const req = http.request({ host: '127.0.0.1', port: p, method: 'POST', path: '/plugin_veltrane',
      headers: { 'Content-Type': 'application/json', 'Content-Length': 64 * 1024 * 1024 } }, (res) => {
      res.resume();
      res.on('end', () => resolve(res.statusCode));
    });
    req.on('error', () => {});
    const chunk = Buffer.alloc(1024 * 1024, 0x20);
    let sent = 0;
    const more = () => {
      while (sent < 64 && req.write(chunk)) sent++;
      if (sent < 64) req.once('drain', () => { sent++; more(); }); else req.end();
    };
    more();
  });
  assert.equal(huge, 413);
  assert.equal(program.runs().length, before, 'the program did not run');

  // Only the exact paths run anything.
  for (const [route, status] of [['/plugin_veltrane_x', 403], ['/plugin_veltrane%5Fx', 403], ['/plugin_veltrane/', 403],
    ['/plugin_veltrane/x', 403], ['/pluginsx', 404], ['/plugins/x', 404]]) {
    const res = await request(p, { host: `127.0.0.1:${p}`, path: route });
    assert.equal(res.status, status, route);
  }
  assert.equal(program.runs().some((r) => r.endsWith(' x')), false, 'the file beside the program never ran');
  assert.equal(program.runs().length, before);
});

test('serve.sh takes the password from the environment only and says how to open the viewer', async (t) => {
  const password = `pw-${process.pid}-${Date.now()}`;
  const stateDir = tempDir('veltrane-state-');
  writeChains(stateDir, CHAINS.chains);
  const port = await freePort();
  const child = spawn(path.join(root, 'scripts/serve.sh'), ['--port', String(port), exe], {
    env: { ...process.env, BOT_PASSWORD: password, VELTRANE_STATE_DIR: stateDir },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  t.after(async () => {
    if (child.exitCode === null) {
      const exited = new Promise((r) => child.once('exit', r));
      child.kill('SIGTERM');
      await exited;
    }
    removeDir(stateDir);
  });
  let out = '';
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`serve.sh did not start: ${out}`)), 10000);
    child.stdout.on('data', (c) => {
      out += c;
      if (out.includes('Press Ctrl-C')) { clearTimeout(timer); resolve(); }
    });
    child.once('exit', (code) => reject(new Error(`serve.sh exited with ${code}: ${out}`)));
  });
  assert.match(out, new RegExp(`Open http://127\\.0\\.0\\.1:${port}/ `));
  assert.match(out, /type the password in the page/);
  assert.ok(!out.includes(password));

  const commandLines = execFileSync('ps', ['-eo', 'args'], { encoding: 'utf8' });
  assert.ok(commandLines.includes(`lighttpd -D -f `), commandLines);
  assert.ok(!commandLines.includes(password), 'no command line holds the password');
  const conf = commandLines.split('\n').map((l) => /lighttpd -D -f (\S*veltrane-serve-\S*)/.exec(l)?.[1]).filter(Boolean)
    .find((f) => fs.existsSync(f) && fs.readFileSync(f, 'utf8').includes(`server.port           = ${port}`));
  assert.ok(conf, 'the configuration serve.sh wrote');
  assert.ok(!fs.readFileSync(conf, 'utf8').includes(password), 'nor does the configuration');

  const url = `http://127.0.0.1:${port}/plugin_veltrane`;
  assert.equal((await fetch(`${url}?action=stats`)).status, 401);
  const admitted = await fetch(`${url}?action=stats`, { headers: { 'X-Bot-Password': password } });
  assert.equal((await admitted.json()).chains, 2);
  assert.equal((await fetch(url)).status, 200, 'the viewer opens at its plain address');
});
