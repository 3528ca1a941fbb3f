// The official MCP client against the built program: the handshake, the
// tool list, tool calls that succeed and fail, and pings, all of which the
// client must accept as valid protocol messages.
import test from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { McpError } from '@modelcontextprotocol/sdk/types.js';
import { exe } from './lib/program.mjs';

// Starts the program with --mcp under a connected client. The transport
// passes only a few variables through, so the state directory is given
// explicitly (a fresh temporary one).
async function connect(env = {}) {
  const stateDir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltrane-mcp-'));
  const transport = new StdioClientTransport({
    command: exe,
    args: ['--mcp'],
    env: { VELTRANE_STATE_DIR: stateDir, ...env },
    stderr: 'pipe',
  });
  let stderr = '';
  transport.stderr.on('data', (chunk) => { stderr += chunk; });
  const client = new Client({ name: 'veltrane-test', version: '0.0.1' });
  await client.connect(transport);
  return {
    client,
    stderr: () => stderr,
    async close() {
      await client.close();
      fs.rmSync(stateDir, { recursive: true, force: true });
    },
  };
}

const valid = { thought: 'Look at the problem', nextThoughtNeeded: true, thoughtNumber: 1, totalThoughts: 3 };

test('handshake and the tool list', async () => {
  const s = await connect({ DISABLE_THOUGHT_LOGGING: '1' });
  try {
    assert.deepEqual(s.client.getServerVersion(), { name: 'veltrane', version: '1.0.1' });
    assert.deepEqual(s.client.getServerCapabilities(), { tools: {} });
    const { tools } = await s.client.listTools();
    assert.equal(tools.length, 1);
    const [tool] = tools;
    assert.equal(tool.name, 'veltraneflowstream');
    assert.equal(tool.title, 'Veltrane Flowstream');
    assert.equal(tool.description.length, 1009);
    assert.equal(tool.description.split('\n').length, 17);
    assert.deepEqual(tool.inputSchema.required, ['thought', 'nextThoughtNeeded', 'thoughtNumber', 'totalThoughts']);
    assert.equal(Object.keys(tool.inputSchema.properties).length, 9);
    assert.deepEqual(Object.keys(tool.outputSchema.properties),
      ['thoughtNumber', 'totalThoughts', 'nextThoughtNeeded', 'branches', 'thoughtHistoryLength']);
    assert.deepEqual(tool.annotations,
      { readOnlyHint: false, destructiveHint: false, idempotentHint: false, openWorldHint: false });
    assert.deepEqual(await s.client.ping(), {});
  } finally {
    await s.close();
  }
});

test('tool calls: accepted thoughts, branches and the console lines', async () => {
  const s = await connect();
  try {
    await s.client.listTools(); // the client checks structured content against the output schema from here on
    const first = await s.client.callTool({ name: 'veltraneflowstream', arguments: valid });
    assert.equal(first.isError, false);
    assert.deepEqual(first.structuredContent,
      { thoughtNumber: 1, totalThoughts: 3, nextThoughtNeeded: true, branches: [], thoughtHistoryLength: 1 });
    assert.equal(first.content.length, 1);
    assert.equal(first.content[0].type, 'text');
    assert.deepEqual(JSON.parse(first.content[0].text), first.structuredContent);

    const branch = await s.client.callTool({
      name: 'veltraneflowstream',
      arguments: { ...valid, thought: 'Try another way – é', thoughtNumber: 5, totalThoughts: 4,
        branchFromThought: 1, branchId: 'alt "b"', nextThoughtNeeded: false },
    });
    assert.deepEqual(branch.structuredContent,
      { thoughtNumber: 5, totalThoughts: 5, nextThoughtNeeded: false, branches: ['alt "b"'], thoughtHistoryLength: 2 });
    assert.deepEqual(await s.client.ping(), {});
    assert.equal(s.stderr(),
      '[veltrane] Thought 1/3\n[veltrane] Branch 5/5 (from thought 1, ID: alt "b")\n');
  } finally {
    await s.close();
  }
});

test('tool calls: rejected arguments and an unknown tool', async () => {
  const s = await connect({ DISABLE_THOUGHT_LOGGING: 'true' });
  try {
    await s.client.listTools();
    const cases = [
      [{}, 'Invalid thought: must be a string'],
      [{ ...valid, thought: 'x'.repeat(65537) }, 'Invalid thought: too long (max 65536 bytes)'],
      [{ ...valid, nextThoughtNeeded: 'yes' }, 'Invalid nextThoughtNeeded: must be a boolean'],
      [{ ...valid, thoughtNumber: 0 }, 'Invalid thoughtNumber: must be a number'],
      [{ ...valid, totalThoughts: 2.5 }, 'Invalid totalThoughts: must be a number'],
      [{ ...valid, branchId: 'b'.repeat(129) }, 'Invalid branchId: too long (max 128 bytes)'],
    ];
    for (const [args, message] of cases) {
      const result = await s.client.callTool({ name: 'veltraneflowstream', arguments: args });
      assert.equal(result.isError, true, message);
      assert.deepEqual(result.structuredContent, { error: message, status: 'failed' });
      assert.deepEqual(JSON.parse(result.content[0].text), result.structuredContent);
    }
    await assert.rejects(
      s.client.callTool({ name: 'VeltraneFlowstream', arguments: valid }),
      (e) => e instanceof McpError && e.code === -32602 && /unknown tool/.test(e.message));
    // Nothing of the rejected calls entered the history.
    const ok = await s.client.callTool({ name: 'veltraneflowstream', arguments: valid });
    assert.equal(ok.structuredContent.thoughtHistoryLength, 1);
    assert.equal(s.stderr(), '');
  } finally {
    await s.close();
  }
});
