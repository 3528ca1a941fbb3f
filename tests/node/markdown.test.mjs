// Thoughts as Markdown (src/web/page/markdown.js over the vendored parser) in
// real chromium, inside a document under the viewer page's security policy:
// what each construct becomes, and hostile text that must stay inert.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { openBrowser } from './lib/browser.mjs';
import { ORIGIN, openMarkdownPage } from './lib/markdown_doc.mjs';

let browser;
const requests = [];

before(async () => {
  browser = await openBrowser();
  browser.page.on('request', (r) => {
    if (r.url() !== `${ORIGIN}/`) requests.push(r.url());
  });
  await openMarkdownPage(browser);
});
after(async () => {
  await browser?.close();
});

// Renders text into a new element of the document (kept, so that anything
// that would load or fire later still can) and reports its markup, its text
// and every element or attribute the renderer may not make.
async function render(markdown, options = {}) {
  return browser.page.evaluate(([md, opts]) => {
    const ALLOWED = {
      p: {}, h1: {}, h2: {}, h3: {}, h4: {}, h5: {}, h6: {}, blockquote: {}, ul: {}, hr: {}, pre: {},
      em: {}, strong: {}, s: {}, br: {}, table: {}, thead: {}, tbody: {}, tr: {},
      ol: { start: /^\d+$/ },
      li: { class: /^md-task$/, style: /^list-style-type: none;$/ },
      code: { class: /^language-[A-Za-z0-9_-]+$/, style: /^white-space: pre-wrap;$/ },
      th: { scope: /^col$/, style: /^text-align: (left|center|right);$/ },
      td: { style: /^text-align: (left|center|right);$/ },
      span: { class: /^md-(nolink|image|box)$/, role: /^img$/, 'aria-label': /^(done|not done)$/ },
      a: { href: /^(https?:\/\/|mailto:)/, target: /^_blank$/, rel: /^noopener noreferrer$/, referrerpolicy: /^no-referrer$/, title: /^/ },
    };
    const box = document.createElement('div');
    document.getElementById('out').appendChild(box);
    box.appendChild(VeltraneMarkdown.render(md, opts));
    const bad = [];
    for (const el of box.querySelectorAll('*')) {
      const rules = ALLOWED[el.localName];
      if (!rules) {
        bad.push(`<${el.localName}>`);
        continue;
      }
      for (const a of el.attributes) {
        if (!rules[a.name] || !rules[a.name].test(a.value)) bad.push(`${el.localName} ${a.name}="${a.value}"`);
      }
      if (el.localName === 'a' && !(el.target && el.rel && el.referrerPolicy)) bad.push('a without target, rel or referrerpolicy');
    }
    return { html: box.innerHTML, text: box.textContent, bad, links: [...box.querySelectorAll('a')].map((a) => a.href) };
  }, [markdown, options]);
}

const title = (text, max) => browser.page.evaluate(([t, m]) => VeltraneMarkdown.title(t, m), [text, max]);

// Waits for anything a made image or handler would do, then checks nothing
// happened: no request, no policy complaint, no script error, no script run.
async function checkNothingHappened() {
  await browser.page.evaluate(() => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 200))));
  assert.deepEqual(requests, []);
  assert.deepEqual(browser.cspViolations(), []);
  assert.deepEqual(browser.pageErrors(), []);
  assert.equal(await browser.page.evaluate(() => window.__pwned), undefined);
}

// The addresses of the links in expected markup.
const linksIn = (html = '') => [...html.matchAll(/<a href="([^"]*)"/g)].map((m) => m[1].replace(/&amp;/g, '&'));

const LINK = 'target="_blank" rel="noopener noreferrer" referrerpolicy="no-referrer"';
const CODE = 'style="white-space: pre-wrap;"';

describe('what Markdown becomes', () => {
  const groups = {
    headings: [
      { md: '# One\n## Two\n### Three\n#### Four\n###### Six', opts: { baseLevel: 3 }, html: '<h4>One</h4><h5>Two</h5><h6>Three</h6><h6>Four</h6><h6>Six</h6>' },
      { md: '# One\n## Two', opts: { baseLevel: 1 }, html: '<h2>One</h2><h3>Two</h3>' },
      { md: '# One\n###### Six', html: '<h1>One</h1><h6>Six</h6>' },
      { md: 'Setext\n===\n\nTwo\n---', opts: { baseLevel: 3 }, html: '<h4>Setext</h4><h5>Two</h5>' },
      { md: '# One', opts: { baseLevel: 9 }, html: '<h6>One</h6>' },
      { md: '#No space\n\n####### seven', html: '<p>#No space</p><p>####### seven</p>' },
    ],
    emphasis: [
      { md: '*em* _em_ **strong** __strong__ ~~gone~~', html: '<p><em>em</em> <em>em</em> <strong>strong</strong> <strong>strong</strong> <s>gone</s></p>' },
      { md: '***both*** **a *b* c**', html: '<p><em><strong>both</strong></em> <strong>a <em>b</em> c</strong></p>' },
      { md: 'snake_case_name and 2*3*4 and \\*not\\*', html: '<p>snake_case_name and 2<em>3</em>4 and *not*</p>' },
      { md: 'line one\nline two  \nline three', html: '<p>line one\nline two<br>line three</p>' },
      { md: '> quoted\n> **text**\n\n---', html: '<blockquote><p>quoted\n<strong>text</strong></p></blockquote><hr>' },
    ],
    lists: [
      { md: '- a\n- b\n  - c', html: '<ul><li>a</li><li>b<ul><li>c</li></ul></li></ul>' },
      { md: '- a\n\n- b', html: '<ul><li><p>a</p></li><li><p>b</p></li></ul>' },
      { md: '3. three\n4. four', html: '<ol start="3"><li>three</li><li>four</li></ol>' },
      { md: '1. one\n1. two', html: '<ol><li>one</li><li>two</li></ol>' },
    ],
    'task lists': [
      {
        md: '- [ ] open\n- [x] done\n- [X] **bold** one',
        html: '<ul><li class="md-task" style="list-style-type: none;"><span class="md-box" role="img" aria-label="not done">☐</span> open</li>'
          + '<li class="md-task" style="list-style-type: none;"><span class="md-box" role="img" aria-label="done">☑</span> done</li>'
          + '<li class="md-task" style="list-style-type: none;"><span class="md-box" role="img" aria-label="done">☑</span> <strong>bold</strong> one</li></ul>',
      },
      { md: '1. [x] numbered', html: '<ol><li class="md-task" style="list-style-type: none;"><span class="md-box" role="img" aria-label="done">☑</span> numbered</li></ol>' },
      // Not tasks: escaped, empty, no space after the box, a box later on.
      { md: '- \\[x] escaped\n- [ ]\n- [x]no\n- a [ ] b', html: '<ul><li>[x] escaped</li><li>[ ]</li><li>[x]no</li><li>a [ ] b</li></ul>' },
      { md: '[x] not in a list', html: '<p>[x] not in a list</p>' },
    ],
    tables: [
      {
        md: '| left | mid | right | none |\n|:-|:-:|-:|-|\n| `a  b` | *b* | x \\| y | 4 |',
        html: '<table><thead><tr><th scope="col" style="text-align: left;">left</th><th scope="col" style="text-align: center;">mid</th>'
          + '<th scope="col" style="text-align: right;">right</th><th scope="col">none</th></tr></thead>'
          + `<tbody><tr><td style="text-align: left;"><code ${CODE}>a  b</code></td><td style="text-align: center;"><em>b</em></td>`
          + '<td style="text-align: right;">x | y</td><td>4</td></tr></tbody></table>',
      },
      // A short row is filled, a long one cut, a header alone has no body.
      {
        md: '| a | b |\n|---|---|\n| 1 |\n| 1 | 2 | 3 |',
        html: '<table><thead><tr><th scope="col">a</th><th scope="col">b</th></tr></thead>'
          + '<tbody><tr><td>1</td><td></td></tr><tr><td>1</td><td>2</td></tr></tbody></table>',
      },
      { md: '| a |\n|---|', html: '<table><thead><tr><th scope="col">a</th></tr></thead></table>' },
      { md: '| a | b |\n| no delimiter row |', html: '<p>| a | b |\n| no delimiter row |</p>' },
    ],
    code: [
      { md: '`a  b` ``x ` y`` ` <b> `', html: `<p><code ${CODE}>a  b</code> <code ${CODE}>x \` y</code> <code ${CODE}>&lt;b&gt;</code></p>` },
      { md: '```js\nif (a < b)\n  x = "&amp;";\n```', html: '<pre><code class="language-js">if (a &lt; b)\n  x = "&amp;amp;";\n</code></pre>' },
      { md: '~~~ c++ {.x}\nint a;\n~~~\n```\nplain\n```', html: '<pre><code>int a;\n</code></pre><pre><code>plain\n</code></pre>' },
      { md: '```my-lang_2 extra\nx\n```', html: '<pre><code class="language-my-lang_2">x\n</code></pre>' },
      { md: '    indented\n      more', html: '<pre><code>indented\n  more\n</code></pre>' },
      { md: '```\nunclosed\n\nstill code', html: '<pre><code>unclosed\n\nstill code</code></pre>' },
    ],
    links: [
      { md: '[site](https://a.test/p?q=1&r=2 "Title")', html: `<p><a href="https://a.test/p?q=1&amp;r=2" ${LINK} title="Title">site</a></p>` },
      { md: '[HTTP](HTTP://A.TEST) <mailto:me@a.test> <me@a.test>', html: `<p><a href="http://a.test/" ${LINK}>HTTP</a> <a href="mailto:me@a.test" ${LINK}>mailto:me@a.test</a> <a href="mailto:me@a.test" ${LINK}>me@a.test</a></p>` },
      { md: 'see https://a.test/x, then www.a.test and a.test', html: `<p>see <a href="https://a.test/x" ${LINK}>https://a.test/x</a>, then www.a.test and a.test</p>` },
      { md: '[ref][r] and [r]\n\n[r]: https://a.test/r', html: `<p><a href="https://a.test/r" ${LINK}>ref</a> and <a href="https://a.test/r" ${LINK}>r</a></p>` },
      { md: '[**bold** `code`](https://a.test)', html: `<p><a href="https://a.test/" ${LINK}><strong>bold</strong> <code ${CODE}>code</code></a></p>` },
      // A space ends the address: no link, but the bare address is one.
      { md: '[münchen](https://münchen.test/ä b)', html: `<p>[münchen](<a href="https://xn--mnchen-3ya.test/%C3%A4" ${LINK}>https://münchen.test/ä</a> b)</p>` },
      { md: '[münchen](https://münchen.test/ä)', html: `<p><a href="https://xn--mnchen-3ya.test/%C3%A4" ${LINK}>münchen</a></p>` },
      // Refused: shown as text with the address when the text does not show it.
      { md: '[docs](./README.md) [up](../x) [root](/x) [far](//b.test/x) [frag](#top)', html: '<p><span class="md-nolink">docs (./README.md)</span> <span class="md-nolink">up (../x)</span> <span class="md-nolink">root (/x)</span> <span class="md-nolink">far (//b.test/x)</span> <span class="md-nolink">frag (#top)</span></p>' },
      { md: '<ftp://b.test/f> [tel](tel:123) ftp://b.test/g', html: '<p><span class="md-nolink">ftp://b.test/f</span> <span class="md-nolink">tel (tel:123)</span> <span class="md-nolink">ftp://b.test/g</span></p>' },
      { md: '[undefined reference][nope]', html: '<p>[undefined reference][nope]</p>' },
    ],
  };
  for (const [name, cases] of Object.entries(groups)) {
    test(name, async () => {
      for (const c of cases) {
        const got = await render(c.md, c.opts);
        assert.equal(got.html, c.html, `markdown ${JSON.stringify(c.md)}`);
        assert.deepEqual(got.bad, [], `markdown ${JSON.stringify(c.md)}`);
      }
      await checkNothingHappened();
    });
  }
});

describe('hostile text stays inert', () => {
  test('the watchers see markup that is made from text (the check below can fail)', async () => {
    await browser.page.evaluate(async () => {
      document.getElementById('out').insertAdjacentHTML('beforeend',
        '<img src="https://evil.test/p.png"><img src="data:," onerror="window.__pwned=1">');
      await fetch('/made').catch(() => {});
      await new Promise((r) => setTimeout(r, 200));
    });
    assert.equal(await browser.page.evaluate(() => window.__pwned), 1);
    assert.equal(browser.cspViolations().length, 1);
    assert.deepEqual(requests.sort(), [`${ORIGIN}/made`, 'https://evil.test/p.png']);
    // Back to a clean document for the cases that follow.
    await browser.page.evaluate(() => {
      document.getElementById('out').replaceChildren();
      delete window.__pwned;
    });
    requests.length = 0;
    browser.consoleLines.length = 0;
  });

  // Each case: the text, and the markup or the text it must show.
  const groups = {
    'raw HTML': [
      { md: '<script>window.__pwned=1</script>', html: '<p>&lt;script&gt;window.__pwned=1&lt;/script&gt;</p>' },
      { md: '<img src="data:," onerror="window.__pwned=1">', html: '<p>&lt;img src="data:," onerror="window.__pwned=1"&gt;</p>' },
      { md: '<iframe src="javascript:window.__pwned=1"></iframe>', text: '<iframe src="javascript:window.__pwned=1"></iframe>' },
      { md: 'a <a href="javascript:window.__pwned=1">x</a> b', html: '<p>a &lt;a href="javascript:window.__pwned=1"&gt;x&lt;/a&gt; b</p>' },
      { md: '<div>\n*in a block*\n</div>', html: '<p>&lt;div&gt;\n<em>in a block</em>\n&lt;/div&gt;</p>' },
      { md: '<style>*{display:none}</style><svg onload="window.__pwned=1"><!-- c --><?x?><![CDATA[y]]>', text: '<style>*{display:none}</style><svg onload="window.__pwned=1"><!-- c --><?x?><![CDATA[y]]>' },
      { md: '<details open ontoggle="window.__pwned=1">', text: '<details open ontoggle="window.__pwned=1">' },
      { md: '- <b onmouseover="window.__pwned=1">item</b>\n\n| <i>h</i> |\n|-|\n| <u>c</u> |', text: '<b onmouseover="window.__pwned=1">item</b><i>h</i><u>c</u>' },
      { md: '```html\n<script>window.__pwned=1</script>\n```', html: '<pre><code class="language-html">&lt;script&gt;window.__pwned=1&lt;/script&gt;\n</code></pre>' },
      { md: '```"><img src=x onerror=window.__pwned=1>\nx\n```', html: '<pre><code>x\n</code></pre>' },
    ],
    'links to other schemes, in every form': [
      { md: '[a](javascript:window.__pwned=1)', text: 'a (javascript:window.__pwned=1)' },
      { md: '[a](JaVaScRiPt:window.__pwned=1)', text: 'a (JaVaScRiPt:window.__pwned=1)' },
      { md: '[a](&#106;avascript&#x3A;window.__pwned=1)', text: 'a (javascript:window.__pwned=1)' },
      { md: '[a](java&#x09;script:window.__pwned=1)', text: 'a (java\tscript:window.__pwned=1)' },
      { md: '[a](&#x20;javascript:window.__pwned=1)', text: 'a (javascript:window.__pwned=1)' },
      { md: '[a](<java\u0000script:window.__pwned=1>)', text: 'a (java\ufffdscript:window.__pwned=1)' },
      { md: '[a](<javascript :window.__pwned=1>) [b](jav%61script:x)', text: 'a (javascript :window.__pwned=1) b (javascript:x)' },
      { md: '[a](javascript:window.__pwned=1 "t")', html: '<p><span class="md-nolink">a (javascript:window.__pwned=1)</span></p>' },
      { md: '[a][r]\n\n[r]: javascript:window.__pwned=1', text: 'a (javascript:window.__pwned=1)' },
      { md: '[r]\n\n[r]: <JAVASCRIPT:window.__pwned=1>', text: 'r (JAVASCRIPT:window.__pwned=1)' },
      { md: '<javascript:window.__pwned=1> <JavaScript:x> <vbscript:msgbox> <data:text/html,x>', text: 'javascript:window.__pwned=1 JavaScript:x vbscript:msgbox data:text/html,x' },
      { md: '[a](data:text/html;base64,PHNjcmlwdD4=) [b](vbscript:msgbox) [c](file:///etc/passwd)', text: 'a (data:text/html;base64,PHNjcmlwdD4=) b (vbscript:msgbox) c (file:///etc/passwd)' },
      { md: 'bare javascript:window.__pwned=1 and data:text/html,x', html: '<p>bare javascript:window.__pwned=1 and data:text/html,x</p>' },
      { md: '[a](\\\\evil.test/x) [b](/\\evil.test) [c](https:/\\evil.test)', text: 'a (\\evil.test/x) b (/\\evil.test) c (https:/\\evil.test)' },
      { md: '[a](https://a.test/"onclick="window.__pwned=1)', links: ['https://a.test/%22onclick=%22window.__pwned=1'] },
    ],
    images: [
      { md: '![a cat](https://img.test/cat.png "t")', html: '<p><span class="md-image">[image: a cat] (https://img.test/cat.png)</span></p>' },
      { md: '![*nested* `alt`](/x.png) ![](http://img.test/y.png)', text: '[image: nested alt] (/x.png) [image] (http://img.test/y.png)' },
      { md: `![pixel](data:image/png;base64,${'A'.repeat(400)})`, text: `[image: pixel] (data:image/png;base64,${'A'.repeat(177)}…)` },
      { md: '![x](javascript:window.__pwned=1) ![y][r]\n\n[r]: https://img.test/r.png', text: '[image: x] (javascript:window.__pwned=1) [image: y] (https://img.test/r.png)' },
      { md: '[![inner](https://img.test/i.png)](https://a.test)', html: `<p><a href="https://a.test/" ${LINK}><span class="md-image">[image: inner] (https://img.test/i.png)</span></a></p>` },
      { md: '![<img src=x onerror=window.__pwned=1>](https://img.test/z.png)', text: '[image: <img src=x onerror=window.__pwned=1>] (https://img.test/z.png)' },
    ],
    'HTML entities': [
      { md: '&lt;script&gt;window.__pwned=1&lt;/script&gt;', html: '<p>&lt;script&gt;window.__pwned=1&lt;/script&gt;</p>' },
      { md: '&#60;img src=x onerror=window.__pwned=1&#62; &#x3C;b&#x3E;', text: '<img src=x onerror=window.__pwned=1> <b>' },
      { md: '&amp;lt; &copy; &#x1F600; &#0; &#x110000; &nosuch; &amp', text: '&lt; © 😀 \ufffd \ufffd &nosuch; &amp' },
      { md: '&#42;not em&#42; &#91;a&#93;(https://a.test)', html: `<p>*not em* [a](<a href="https://a.test/" ${LINK}>https://a.test</a>)</p>` },
      { md: '`&amp;` and\n\n    &lt;', text: '&amp; and&lt;\n' },
    ],
    'emphasis that would close a tag': [
      { md: '*a **b* c**', html: '<p><em>a <em><em>b</em> c</em></em></p>' },
      { md: '**a *b** c*', html: '<p><em><em>a <em>b</em></em> c</em></p>' },
      { md: '~~a *b~~ c*', html: '<p><s>a *b</s> c*</p>' },
      { md: '**</strong><script>window.__pwned=1</script>**', html: '<p><strong>&lt;/strong&gt;&lt;script&gt;window.__pwned=1&lt;/script&gt;</strong></p>' },
      { md: '_<em>_</em> *[a*](https://a.test)', text: '<em></em> *a*', links: ['https://a.test/'] },
      { md: `${'*'.repeat(5000)}x${'*'.repeat(5000)}`, text: null },
      // Deeper than the parser follows: shown as written, not dropped.
      { md: `${'> '.repeat(300)}deep`, html: `<pre><code>${'&gt; '.repeat(300)}deep</code></pre>` },
      { md: `${'> '.repeat(50)}fifty`, text: 'fifty' },
      { md: Array.from({ length: 120 }, (_, i) => `${'  '.repeat(i)}- level ${i}`).join('\n'), text: null },
      // Links hold no links: one link, the rest text whose bare addresses are links.
      { md: `${'['.repeat(3000)}x${'](https://a.test)'.repeat(3000)}`, links: Array(3000).fill('https://a.test/') },
    ],
    'chain and branch ids': [
      { md: 'feature/**fix**_<b>1</b>', html: '<p>feature/<strong>fix</strong>_&lt;b&gt;1&lt;/b&gt;</p>' },
      { md: '[th-1](javascript:window.__pwned=1)`x`', text: 'th-1 (javascript:window.__pwned=1)x' },
      { md: 'b-<img src=x onerror=window.__pwned=1>#1', text: 'b-<img src=x onerror=window.__pwned=1>#1' },
    ],
  };
  for (const [name, cases] of Object.entries(groups)) {
    test(name, async () => {
      for (const c of cases) {
        const where = `markdown ${JSON.stringify(c.md.slice(0, 120))}`;
        const got = await render(c.md, { baseLevel: 3 });
        assert.deepEqual(got.bad, [], where);
        if (c.html !== undefined) assert.equal(got.html, c.html, where);
        if (c.text) assert.equal(got.text, c.text, where);
        assert.deepEqual(got.links, c.links || linksIn(c.html), where);
      }
      await checkNothingHappened();
    });
  }
});

test('a title is the first line with words, without its marks', async () => {
  const cases = [
    ['## Problem: p99 latency\n\nbody', 80, 'Problem: p99 latency'],
    ['\n\n   \n**Bold** _it_ ~~old~~ `code`', 80, 'Bold it old code'],
    ['[the link](https://a.test) and <https://b.test>', 80, 'the link and https://b.test'],
    ['- [ ] write the test', 80, 'write the test'],
    ['1. [x] first', 80, 'first'],
    ['> quoted **words**', 80, 'quoted words'],
    ['---\n***\n```js\nconst x = 1;\n```', 80, 'const x = 1;'],
    ['[r]: https://a.test\nThen text', 80, 'Then text'],
    ['![diagram](https://img.test/d.png) of it', 80, 'diagram of it'],
    ['&amp; &lt;b&gt; <b>raw</b> \\*x\\*', 80, '& <b> <b>raw</b> *x*'],
    ['a   b\tc', 80, 'a b c'],
    ['One two three four', 10, 'One two…'],
    ['12345', 5, '12345'],
    ['😀😀😀😀😀😀', 4, '😀😀😀…'],
    ['', 80, ''],
    ['   \n\n', 80, ''],
    ['plain', undefined, 'plain'],
    [`# ${'word '.repeat(2000)}`, 12, 'word word…'],
  ];
  for (const [text, max, want] of cases) {
    assert.equal(await title(text, max), want, `title of ${JSON.stringify(text.slice(0, 60))}`);
  }
  await checkNothingHappened();
});

test('under a policy that forbids inline style too, cells keep their alignment and code its spaces', async () => {
  const strict = await openBrowser();
  try {
    await openMarkdownPage(strict, "default-src 'none'; script-src 'unsafe-inline'");
    const got = await strict.page.evaluate(() => {
      const out = document.getElementById('out');
      out.appendChild(VeltraneMarkdown.render('| a |\n|--:|\n| `x  y` |'));
      return { align: getComputedStyle(out.querySelector('td')).textAlign, space: getComputedStyle(out.querySelector('code')).whiteSpace };
    });
    assert.deepEqual(got, { align: 'right', space: 'pre-wrap' });
    assert.deepEqual(strict.cspViolations(), []);
    assert.deepEqual(strict.pageErrors(), []);
  } finally {
    await strict.close();
  }
});
