// Starts lighttpd on a free loopback port with the same configuration the
// serve script uses, running the program as a CGI.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { exe, root } from './program.mjs';
import { removeDir, tempDir } from './temp.mjs';

export function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.unref();
    srv.on('error', reject);
    srv.listen(0, '127.0.0.1', () => {
      const { port } = srv.address();
      srv.close(() => resolve(port));
    });
  });
}

async function waitForPort(port, child, ms = 5000) {
  const deadline = Date.now() + ms;
  while (Date.now() < deadline) {
    if (child.exitCode !== null) throw new Error(`lighttpd exited with ${child.exitCode}`);
    const ok = await new Promise((resolve) => {
      const s = net.connect(port, '127.0.0.1', () => { s.end(); resolve(true); });
      s.on('error', () => resolve(false));
    });
    if (ok) return;
    await new Promise((r) => setTimeout(r, 25));
  }
  throw new Error('lighttpd did not start listening');
}

// Options: { stateDir, password, env, allowHosts, exe }. The password
// reaches lighttpd through its environment, as scripts/serve.sh passes it.
// Returns { url, port, stateDir, workdir, accessLog(), stop() }.
// url has no trailing slash: fetch(`${server.url}/plugin_veltrane?action=chains`).
export async function startServer(options = {}) {
  const workdir = tempDir('veltrane-httpd-');
  const stateDir = options.stateDir || path.join(workdir, 'state');
  const port = await freePort();
  const env = { ...process.env, ...(options.env || {}), BOT_PASSWORD: options.password || '' };
  const hosts = (options.allowHosts || []).flatMap((h) => ['--allow-host', h]);
  const conf = execFileSync(
    path.join(root, 'scripts/lighttpd-conf.sh'),
    [...hosts, workdir, String(port), options.exe || exe, stateDir],
    { env },
  );
  const confPath = path.join(workdir, 'lighttpd.conf');
  fs.writeFileSync(confPath, conf);
  const child = spawn('lighttpd', ['-D', '-f', confPath], { stdio: ['ignore', 'ignore', 'pipe'], env });
  await waitForPort(port, child);
  return {
    url: `http://127.0.0.1:${port}`,
    port,
    stateDir,
    workdir,
    // The access log so far: lighttpd holds its lines in a buffer, which a
    // SIGHUP (reopen the logs) writes out.
    async accessLog() {
      child.kill('SIGHUP');
      await new Promise((r) => setTimeout(r, 300));
      try { return fs.readFileSync(path.join(workdir, 'access.log'), 'utf8'); } catch { return ''; }
    },
    async stop() {
      if (child.exitCode === null) {
        const exited = new Promise((r) => child.once('exit', r));
        child.kill('SIGTERM');
        await exited;
      }
      removeDir(workdir);
    },
  };
}
