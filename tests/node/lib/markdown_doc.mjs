// A small document that holds the vendored Markdown parser and the page's
// renderer as inline scripts, served under the viewer page's security policy
// from a made-up origin. Nothing leaves the browser: every other request is
// refused (the page's 'request' events still show each one it tried, even
// those its policy blocked).
import fs from 'node:fs';
import path from 'node:path';
import { root } from './program.mjs';

export const ORIGIN = 'http://md.test';
export const POLICY = "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:; "
  + "connect-src 'self'; form-action 'none'; base-uri 'none'";

export function markdownDocument() {
  const parser = fs.readFileSync(path.join(root, 'third_party/markdown-it/markdown-it.min.js'), 'utf8');
  const renderer = fs.readFileSync(path.join(root, 'src/web/page/markdown.js'), 'utf8');
  return '<!doctype html><html lang="en"><head><meta charset="utf-8"><title>Markdown</title></head>'
    + `<body><main id="out"></main><script>${parser}</script><script>${renderer}</script></body></html>`;
}

// Serves the document at ORIGIN/ in the browser's context, under the given
// security policy, and opens it.
export async function openMarkdownPage(browser, policy = POLICY) {
  const doc = markdownDocument();
  await browser.context.route('**/*', (route) => {
    if (route.request().url() !== `${ORIGIN}/`) return route.abort();
    return route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', headers: { 'Content-Security-Policy': policy }, body: doc });
  });
  await browser.page.goto(`${ORIGIN}/`);
}
