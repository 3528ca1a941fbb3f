// The official MCP clients against the built program, in every revision they
// speak: the v1 SDK client, the v2 client in its legacy, auto and pinned
// modes, and the MCP Inspector's command line in both eras. Each lists the
// tool, calls it (accepted, rejected, unknown tool, arguments holding "id"),
// and the accepted thoughts must be in chains.json.
import test from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { exe } from './lib/program.mjs';
import { recordedTexts } from './lib/fixtures.mjs';
import { ANSWER_MS, TOOL, connectV1, connectV2 } from './lib/mcp_sdk.mjs';
import { removeDir, tempDir } from './lib/temp.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));

const valid = { thought: 'Look at the problem', nextThoughtNeeded: true, thoughtNumber: 1, totalThoughts: 3 };
// Arguments that hold "id" every way a careless scan for it could trip on.
const holdingId = {
  id: 7, thought: 'Compare "id":5 with the rest', nextThoughtNeeded: false, thoughtNumber: 2, totalThoughts: 2,
  branchFromThought: 1, branchId: 'id',
};

const sdkClients = [
  { name: 'v1 client', connect: connectV1, revision: '2025-11-25' },
  { name: 'v2 client, legacy', connect: connectV2('legacy'), revision: '2025-11-25' },
  { name: 'v2 client, auto', connect: connectV2('auto'), revision: '2026-07-28' },
  { name: 'v2 client, pinned to 2026-07-28', connect: connectV2({ pin: '2026-07-28' }), revision: '2026-07-28' },
];

for (const c of sdkClients) {
  test(`${c.name}: negotiation, the tool list and tool calls`, async () => {
    const stateDir = tempDir('veltrane-mcp-');
    const s = await c.connect(stateDir);
    try {
      assert.equal(s.revision(), c.revision);
      assert.deepEqual(s.serverVersion(), { name: 'veltrane', version: '1.0.1' });
      // Listing first: the clients check structured content against the
      // listed output schema from then on.
      const { tools } = await s.listTools();
      assert.deepEqual(tools.map((t) => [t.name, t.title]), [[TOOL, 'Veltrane Flowstream']]);
      assert.equal(tools[0].description.split('\n').length, 17);

      const first = await s.callTool(TOOL, valid);
      assert.equal(first.isError, false);
      assert.deepEqual(first.structuredContent,
        { thoughtNumber: 1, totalThoughts: 3, nextThoughtNeeded: true, branches: [], thoughtHistoryLength: 1 });
      assert.deepEqual(JSON.parse(first.content[0].text), first.structuredContent);

      const rejected = await s.callTool(TOOL, { ...valid, thoughtNumber: 0 });
      assert.equal(rejected.isError, true);
      assert.deepEqual(rejected.structuredContent,
        { error: 'Invalid thoughtNumber: must be a number', status: 'failed' });

      await assert.rejects(s.callTool('VeltraneFlowstream', valid), (e) => e.code === -32602 && /unknown tool/.test(e.message));

      const withId = await s.callTool(TOOL, holdingId);
      assert.deepEqual(withId.structuredContent,
        { thoughtNumber: 2, totalThoughts: 2, nextThoughtNeeded: false, branches: ['id'], thoughtHistoryLength: 2 });
      if (c.revision !== '2026-07-28') assert.deepEqual(await s.ping(), {});
      const lines = '[veltrane] Thought 1/3\n[veltrane] Branch 2/2 (from thought 1, ID: id)\n';
      assert.equal(await s.stderrOnceItHolds(lines), lines);
    } finally {
      await s.close();
    }
    // One chain: a probe process records nothing.
    assert.deepEqual(recordedTexts(stateDir), [[valid.thought, holdingId.thought]]);
    removeDir(stateDir);
  });
}

// The Inspector's command line: one server process per invocation. Its
// catalog and npm's files go to a temporary home.
function inspector(era, stateDir, home, method, ...rest) {
  const bin = path.join(here, 'node_modules/.bin/mcp-inspector');
  const args = ['--cli', '--protocol-era', era, '-e', `VELTRANE_STATE_DIR=${stateDir}`, exe, '--mcp', '--method', method, ...rest];
  return new Promise((resolve) => {
    execFile(bin, args, { env: { ...process.env, HOME: home }, timeout: 30000 }, (error, stdout, stderr) => {
      resolve({ code: error ? error.code : 0, stdout, stderr });
    });
  });
}

const toolArgs = (args) => ['--tool-args-json', JSON.stringify(args)];

for (const era of ['legacy', 'modern']) {
  test(`MCP Inspector command line, ${era} era`, async () => {
    const stateDir = tempDir('veltrane-inspector-');
    const home = tempDir('veltrane-inspector-home-');
    try {
      const list = await inspector(era, stateDir, home, 'tools/list');
      assert.equal(list.code, 0, list.stderr);
      assert.deepEqual(JSON.parse(list.stdout).tools.map((t) => t.name), [TOOL]);

      let started = Date.now();
      const ok = await inspector(era, stateDir, home, 'tools/call', '--tool-name', TOOL, ...toolArgs(valid));
      const plainCallMs = Date.now() - started;
      assert.equal(ok.code, 0, ok.stderr);
      assert.deepEqual(JSON.parse(ok.stdout).structuredContent,
        { thoughtNumber: 1, totalThoughts: 3, nextThoughtNeeded: true, branches: [], thoughtHistoryLength: 1 });

      // A tool result with isError ends the command line with status 5.
      const bad = await inspector(era, stateDir, home, 'tools/call', '--tool-name', TOOL, ...toolArgs({ ...valid, totalThoughts: 'x' }));
      assert.equal(bad.code, 5, bad.stdout + bad.stderr);
      assert.deepEqual(JSON.parse(bad.stdout).structuredContent,
        { error: 'Invalid totalThoughts: must be a number', status: 'failed' });

      // The command line checks the name against the listed tools itself,
      // and refuses without calling.
      const unknown = await inspector(era, stateDir, home, 'tools/call', '--tool-name', 'nope', ...toolArgs(valid));
      assert.notEqual(unknown.code, 0);
      assert.match(unknown.stdout + unknown.stderr, /Tool 'nope' not found/);

      started = Date.now();
      const withId = await inspector(era, stateDir, home, 'tools/call', '--tool-name', TOOL, ...toolArgs(holdingId));
      assert.equal(withId.code, 0, withId.stderr);
      assert.deepEqual(JSON.parse(withId.stdout).structuredContent,
        { thoughtNumber: 2, totalThoughts: 2, nextThoughtNeeded: false, branches: ['id'], thoughtHistoryLength: 1 });
      assert.ok(Date.now() - started < plainCallMs + ANSWER_MS,
        `answered in ${Date.now() - started} ms, a plain call in ${plainCallMs} ms`);

      // One chain per server run; the failed calls recorded nothing.
      assert.deepEqual(recordedTexts(stateDir), [[valid.thought], [holdingId.thought]]);
    } finally {
      removeDir(stateDir);
      removeDir(home);
    }
  });
}
