// Pages of another site, for the tests of what such a page can do to the
// endpoint: a small web server on another loopback address (127.0.0.2, a
// different site to the browser than 127.0.0.1), and a proxy that plays a
// DNS-rebinding name: it serves the attacker's page and forwards every
// other request to the endpoint under the attacker's host name.
import http from 'node:http';

// Answers GET /NAME with pages[NAME] (HTML) and records every request it
// gets ({ method, url, body }), so that a page can report what it read by
// sending it back. Returns { origin, seen, close() }.
export async function startAttacker(pages, host = '127.0.0.2') {
  const seen = [];
  const server = http.createServer((req, res) => {
    let body = '';
    req.on('data', (c) => { body += c; });
    req.on('end', () => {
      seen.push({ method: req.method, url: req.url, body });
      const name = req.url.split('?')[0].slice(1);
      if (req.method === 'GET' && pages[name] !== undefined) {
        res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store' });
        res.end(pages[name]);
      } else {
        res.writeHead(204, { 'Access-Control-Allow-Origin': '*' });
        res.end();
      }
    });
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, host, resolve);
  });
  return {
    origin: `http://${host}:${server.address().port}`,
    seen,
    close: () => new Promise((r) => { server.closeAllConnections(); server.close(r); }),
  };
}

// Listens on 127.0.0.1 under the name `name` (the browser maps it there, as
// a rebound name would be): serves `page` at "/" and "/report" records what
// the page sends; every other request goes to 127.0.0.1:targetPort with the
// Host the browser sent, its port changed to the target's, as a browser
// that resolved the attacker's name to this machine would send it.
// Returns { origin, port, reports, forwarded, close() }.
export async function startRebindProxy(name, targetPort, page) {
  const reports = [];
  const forwarded = [];
  const server = http.createServer((req, res) => {
    if (req.url === '/' || req.url === '/report') {
      let body = '';
      req.on('data', (c) => { body += c; });
      req.on('end', () => {
        if (req.url === '/report') reports.push(body);
        res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
        res.end(req.url === '/' ? page : '');
      });
      return;
    }
    const headers = { ...req.headers, host: `${name}:${targetPort}` };
    const out = http.request({ host: '127.0.0.1', port: targetPort, method: req.method, path: req.url, headers }, (up) => {
      forwarded.push({ url: req.url, status: up.statusCode });
      res.writeHead(up.statusCode, up.headers);
      up.pipe(res);
    });
    out.on('error', () => { res.writeHead(502); res.end(); });
    req.pipe(out);
  });
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolve);
  });
  const { port } = server.address();
  return {
    origin: `http://${name}:${port}`,
    port,
    reports,
    forwarded,
    close: () => new Promise((r) => { server.closeAllConnections(); server.close(r); }),
  };
}

// A page that tries, from its own site, every way a page can send a request
// that would clear the store at `base` (the endpoint's origin) without
// asking first: images on both routes, forms posting text/plain (a body that
// parses as JSON) and urlencoded bodies, no-cors fetches, and a fetch of
// JSON, which needs a preflight. query is added to each address (a
// password, say). When all have settled, window.done holds what the page
// saw of each.
export function clearAttackPage(base, query = '') {
  const q = query ? `&${query}` : '';
  const direct = `${base}/plugin_veltrane`;
  const hub = `${base}/plugins?plugin=veltrane`;
  const targets = {
    imgDirect: `${direct}?action=clear&confirm=1${q}`,
    imgHub: `${hub}&action=clear&confirm=1${q}`,
    plain: `${direct}${query ? `?${query}` : ''}`,
    urlencoded: `${direct}?action=clear&confirm=1${q}`,
    noCorsDirect: `${direct}?action=clear&confirm=1${q}`,
    noCorsHub: `${hub}&action=clear${q}`,
    preflighted: `${direct}?action=clear${q}`,
  };
  return `<!DOCTYPE html><html><body>
<iframe name="sinkPlain"></iframe><iframe name="sinkForm"></iframe>
<form id="plain" method="post" enctype="text/plain" target="sinkPlain" action="${targets.plain}">
<input name='{"action":"clear","confirm":"1","x":"' value='"}'></form>
<form id="urlencoded" method="post" target="sinkForm" action="${targets.urlencoded}">
<input name="action" value="clear"><input name="confirm" value="1"></form>
<script>
const t = ${JSON.stringify(targets)};
const image = (src) => new Promise((r) => { const i = new Image(); i.onload = () => r('loaded'); i.onerror = () => r('error'); i.src = src; });
const post = (form, frame) => new Promise((r) => {
  document.getElementsByName(frame)[0].onload = () => r('loaded');
  document.getElementById(form).submit();
});
const settle = (p) => p.then((x) => x, (e) => 'refused: ' + e.name);
(async () => {
  const seen = {};
  seen.imgDirect = await image(t.imgDirect);
  seen.imgHub = await image(t.imgHub);
  seen.plain = await post('plain', 'sinkPlain');
  seen.urlencoded = await post('urlencoded', 'sinkForm');
  const body = '{"action":"clear","confirm":1}';
  seen.noCorsDirect = await settle(fetch(t.noCorsDirect, { method: 'POST', mode: 'no-cors', body }).then((r) => r.type));
  seen.noCorsHub = await settle(fetch(t.noCorsHub, { method: 'POST', mode: 'no-cors', body }).then((r) => r.type));
  seen.preflighted = await settle(fetch(t.preflighted, {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{"action":"clear","confirm":true}',
  }).then((r) => 'answered ' + r.status));
  window.done = seen;
})();
</script></body></html>`;
}
