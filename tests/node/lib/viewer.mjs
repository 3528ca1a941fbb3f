// What the browser tests share: lighttpd serving the program over a state
// directory, and one browser; both are stopped after the file's last test.
// A test file starts them once, at its top:
//   const { server, browser } = await startViewer();
import { after } from 'node:test';
import { openBrowser } from './browser.mjs';
import { startServer } from './server.mjs';

// options: { server, browser }, passed on to startServer and openBrowser.
export async function startViewer(options = {}) {
  const server = await startServer(options.server);
  let browser;
  try {
    browser = await openBrowser(options.browser);
  } catch (e) {
    await server.stop();
    throw e;
  }
  after(async () => {
    await browser.close();
    await server.stop();
  });
  return { server, browser };
}
