// The official MCP SDK clients (v1, and v2 in a given negotiation mode)
// connected over stdio to the built program's MCP server.
import { Client as ClientV1 } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport as TransportV1 } from '@modelcontextprotocol/sdk/client/stdio.js';
import { Client as ClientV2 } from '@modelcontextprotocol/client';
import { StdioClientTransport as TransportV2 } from '@modelcontextprotocol/client/stdio';
import { exe } from './program.mjs';

export const TOOL = 'veltraneflowstream';
// An answer that does not come back within this is a lost answer: the
// clients would otherwise wait a minute.
export const ANSWER_MS = 2000;

// A session of an SDK client: the client object and its transport's stderr.
async function sdkSession(Client, Transport, stateDir, clientOptions, callTool) {
  const transport = new Transport({
    command: exe, args: ['--mcp'], env: { VELTRANE_STATE_DIR: stateDir }, stderr: 'pipe',
  });
  let negotiated;
  if (!transport.setProtocolVersion) transport.setProtocolVersion = (v) => { negotiated = v; };
  let stderr = '';
  transport.stderr.on('data', (chunk) => { stderr += chunk; });
  const client = new Client({ name: 'veltrane-test', version: '0.0.1' }, clientOptions);
  await client.connect(transport);
  return {
    revision: () => client.getNegotiatedProtocolVersion?.() ?? negotiated,
    serverVersion: () => client.getServerVersion(),
    listTools: () => client.listTools(undefined, { timeout: ANSWER_MS }),
    callTool: (name, args) => callTool(client, { name, arguments: args }, { timeout: ANSWER_MS }),
    ping: () => client.ping({ timeout: ANSWER_MS }),
    stderr: () => stderr,
    // The server writes a thought's console line before its answer, but the
    // two pipes are read apart: the line may arrive after the answer.
    stderrOnceItHolds: async (want) => {
      for (const end = Date.now() + ANSWER_MS; stderr.length < want.length && Date.now() < end;)
        await new Promise((resolve) => setTimeout(resolve, 10));
      return stderr;
    },
    close: () => client.close(),
  };
}

// connectV1(stateDir) and connectV2(mode)(stateDir) start a server recording
// into stateDir and return its session once the client is connected.
export const connectV1 = (stateDir) => sdkSession(ClientV1, TransportV1, stateDir, {},
  (client, params, options) => client.callTool(params, undefined, options));
export const connectV2 = (mode) => (stateDir) => sdkSession(ClientV2, TransportV2, stateDir,
  { versionNegotiation: { mode } }, (client, params, options) => client.callTool(params, options));
