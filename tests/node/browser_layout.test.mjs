// The viewer's two layouts (two columns, and one column on narrow screens)
// in both themes; screenshots of each view go to tests/artifacts/.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { startServer } from './lib/server.mjs';
import { checkConsole, screenshot, withBrowser } from './lib/browser.mjs';
import { CAPPED, MIXED, chain, thought, writeChains } from './lib/fixtures.mjs';
import { visible, waitCount } from './lib/wait.mjs';

const server = await startServer();
after(() => server.stop());
writeChains(server.stateDir, [
  MIXED,
  CAPPED,
  chain('th-long-0123456789abcdef0123456789abcdef', [
    thought('A long thought that wraps over several lines in the list and in the timeline, '.repeat(4), 1, 2),
  ], 1700000100),
]);

const LAYOUTS = [
  { name: 'wide', viewport: { width: 1200, height: 800 }, narrow: false },
  { name: 'narrow', viewport: { width: 420, height: 800 }, narrow: true },
];

for (const theme of ['dark', 'light']) {
  for (const layout of LAYOUTS) {
    test(`${layout.name} layout, ${theme} theme`, async () => {
      await withBrowser({ viewport: layout.viewport, colorScheme: theme }, async (browser) => {
        const { page } = browser;
        await page.goto(`${server.url}/plugin_veltrane?theme=${theme}`);
        await waitCount(page, '#chains li', 3);
        // List view: the list shows; on narrow screens the timeline does not.
        assert.equal(await visible(page, '#listCard'), true);
        assert.equal(await visible(page, '#backBtn'), false);
        assert.equal(await visible(page, '#empty'), !layout.narrow);
        await screenshot(page, `list-${layout.name}-${theme}`);

        await page.click('#chains li >> nth=0');
        await waitCount(page, '#tl li', 4);
        assert.equal(await visible(page, '#dhead'), true);
        assert.equal(await visible(page, '#listCard'), !layout.narrow, 'narrow detail hides the list');
        assert.equal(await visible(page, '#backBtn'), layout.narrow, 'narrow detail shows the header Back');
        await screenshot(page, `detail-${layout.name}-${theme}`);

        await page.click(layout.narrow ? '#backBtn' : '#backBtn2');
        await waitCount(page, '#tl li', 0);
        assert.equal(await visible(page, '#listCard'), true);
        assert.equal(await visible(page, '#dhead'), false);
        assert.equal(await visible(page, '#backBtn'), false);
        checkConsole(browser);
      });
    });
  }
}
