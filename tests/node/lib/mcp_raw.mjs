// The built program's MCP server driven with raw newline-delimited JSON-RPC
// lines, as a model's client would send them.
import { spawn } from 'node:child_process';
import { exe } from './program.mjs';

// Returns { think(args) -> the tool result, close() }. Every accepted thought
// is recorded into one chain (this server run's) in stateDir.
export function startMcp(stateDir) {
  const child = spawn(exe, ['--mcp'], {
    env: { VELTRANE_STATE_DIR: stateDir, DISABLE_THOUGHT_LOGGING: '' },
    stdio: ['pipe', 'pipe', 'ignore'],
  });
  const waiting = new Map();
  let buffered = '';
  child.stdout.setEncoding('utf8');
  child.stdout.on('data', (chunk) => {
    buffered += chunk;
    let nl;
    while ((nl = buffered.indexOf('\n')) >= 0) {
      const line = buffered.slice(0, nl);
      buffered = buffered.slice(nl + 1);
      const msg = JSON.parse(line);
      waiting.get(msg.id)?.(msg);
      waiting.delete(msg.id);
    }
  });
  let nextId = 1;
  const send = (method, params) => new Promise((resolve, reject) => {
    const id = nextId++;
    const timer = setTimeout(() => reject(new Error(`no answer to ${method}`)), 5000);
    waiting.set(id, (msg) => { clearTimeout(timer); resolve(msg); });
    child.stdin.write(`${JSON.stringify({ jsonrpc: '2.0', id, method, params })}\n`);
  });
  return {
    async think(args) {
      const answer = await send('tools/call', { name: 'veltraneflowstream', arguments: args });
      if (!answer.result || answer.result.isError) throw new Error(`refused: ${JSON.stringify(answer)}`);
      return answer.result;
    },
    async close() {
      if (child.exitCode !== null) return;
      const exited = new Promise((r) => child.once('exit', r));
      child.stdin.end();
      await exited;
    },
  };
}
