// Drives Debian's chromium through playwright-core, with a fresh profile per
// browser, and records every security-policy complaint the page makes.
import { chromium } from 'playwright-core';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { root } from './program.mjs';
import { removeDir, tempDir } from './temp.mjs';

export const artifacts = path.join(root, 'tests/artifacts');

const ARGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--disable-background-networking',
  '--disable-component-update', '--disable-sync'];

// Returns { context, page, consoleLines, cspViolations(), close() }.
// options: { colorScheme, viewport } passed on to the browser context, and
// args: more command-line switches for chromium.
export async function openBrowser(options = {}) {
  const profile = tempDir('veltrane-chromium-');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: [...ARGS, ...(options.args || [])],
    viewport: options.viewport || { width: 1200, height: 800 },
    colorScheme: options.colorScheme || 'dark',
  });
  const consoleLines = [];
  const watch = (page) => {
    page.on('console', (m) => consoleLines.push(m.text()));
    page.on('pageerror', (e) => consoleLines.push(`pageerror: ${e.message}`));
  };
  context.pages().forEach(watch);
  context.on('page', watch);
  const page = context.pages()[0] || (await context.newPage());
  return {
    context,
    page,
    consoleLines,
    cspViolations: () => consoleLines.filter((l) => /Content Security Policy/i.test(l)),
    pageErrors: () => consoleLines.filter((l) => l.startsWith('pageerror:')),
    async close() {
      await context.close();
      removeDir(profile);
    },
  };
}

// Runs fn(browser) with a browser of its own (options as for openBrowser),
// closed afterwards whatever fn does; returns what fn returns.
export async function withBrowser(options, fn) {
  const browser = await openBrowser(options);
  try {
    return await fn(browser);
  } finally {
    await browser.close();
  }
}

// Fails the current test when any page of the browser complained about its
// security policy or threw a script error.
export function checkConsole(browser) {
  assert.deepEqual(browser.cspViolations(), []);
  assert.deepEqual(browser.pageErrors(), []);
}

// Records the requests the page's script makes to the program:
// [{ url (path and query), method, headers, body }].
export function recordRequests(page) {
  const seen = [];
  page.on('request', (req) => {
    const u = new URL(req.url());
    if (req.resourceType() === 'fetch' && (u.pathname === '/plugin_veltrane' || u.pathname === '/plugins')) {
      seen.push({ url: u.pathname + u.search, method: req.method(), headers: req.headers(), body: req.postData() });
    }
  });
  return seen;
}

// Records every request any page or frame of the browser makes, whatever
// its kind or address: [{ url (whole), method, type }].
export function recordAllRequests(context) {
  const seen = [];
  context.on('request', (req) => {
    seen.push({ url: req.url(), method: req.method(), type: req.resourceType() });
  });
  return seen;
}

export async function screenshot(page, name) {
  fs.mkdirSync(artifacts, { recursive: true });
  await page.screenshot({ path: path.join(artifacts, `${name}.png`), fullPage: true });
}
