import test from 'node:test';
import assert from 'node:assert/strict';
import { startServer } from './lib/server.mjs';

test('the program answers as a CGI behind lighttpd', async () => {
  const server = await startServer();
  try {
    const res = await fetch(`${server.url}/plugin_veltrane?action=chains`);
    assert.equal(res.status, 200);
    assert.match(res.headers.get('content-type'), /application\/json/);
  } finally {
    await server.stop();
  }
});
