/* Thoughts as Markdown, rendered safely. One set of rules for every document
 * that shows thoughts (the viewer page and the in-client view).
 *
 * Include: the vendored parser (third_party/markdown-it/markdown-it.min.js)
 * first, then this file, each as the text of an inline script element, or
 * both joined with a newline into one. Neither file names a script tag
 * (an HTML parser would end the element there), so keep it that way when
 * editing. They define two globals, `markdownit` (the parser) and
 * `VeltraneMarkdown`:
 *
 *   VeltraneMarkdown.render(text, { baseLevel }) -> DocumentFragment
 *     CommonMark with tables, task lists and strikethrough. A heading of
 *     level n renders as h(baseLevel + n), at most h6, so a thought's `#`
 *     sits below the thought's own heading (baseLevel 3: `#` is h4).
 *     baseLevel is 0 to 5, default 0.
 *   VeltraneMarkdown.title(text, maxChars) -> string
 *     The first line of the text that has any words, as plain text: heading,
 *     list, quote and task marks, emphasis, code ticks and link syntax gone,
 *     entities decoded, spaces collapsed. Longer than maxChars (when given)
 *     it is cut to maxChars characters ending in "…" (at a space when one
 *     falls in the second half). For chain titles.
 *
 * What the fragment holds, whatever the text:
 *   - Only these elements, each made here with document.createElement:
 *     p h1-h6 blockquote ul ol li hr pre code em strong s br table thead
 *     tbody tr th td a span. Every text is a text node; the text never
 *     reaches an HTML parser (no innerHTML or the like, and the parser's own
 *     HTML renderer is not used). Raw HTML, block or inline, stays text;
 *     entities are decoded to the characters they name, as text.
 *   - Attributes only from this file: a link's href, target, rel,
 *     referrerpolicy and title; an ordered list's start; a code block's
 *     class "language-<name>" when its fence names [A-Za-z0-9_-]{1,32}; a
 *     table cell's text-align (left, center or right) and a header cell's
 *     scope; a task item's list-style-type; the class names below. Style is
 *     set through the element's style object, which no content policy
 *     forbids.
 *   - Links (inline, reference, autolinks and bare addresses with a scheme)
 *     only to http:, https: and mailto: addresses, judged on the address as
 *     the URL parser reads it, so case, entities, spaces and control
 *     characters cannot disguise another scheme; relative and
 *     scheme-relative addresses are no links either. A link opens a new tab
 *     with no opener and no referrer. Any other link becomes
 *     <span class="md-nolink"> holding its text, followed by " (address)"
 *     when the text does not already show the address.
 *   - Images are never loaded: <span class="md-image"> holds
 *     "[image: alt] (address)". Addresses shown as text are cut to 200
 *     characters ending in "…".
 *   - A task item (`- [ ] ` / `- [x] `) is <li class="md-task"> with no
 *     list marker, starting with <span class="md-box" role="img"
 *     aria-label="not done|done"> holding ☐ or ☑ (no form control).
 *   - Code spans keep their spaces (white-space: pre-wrap); code blocks are
 *     <pre><code> with the code as written.
 *   - No network request, no script, no event handler.
 *   - Nothing of the text is lost: a text nested deeper than the parser
 *     follows (100 quotes or lists) is shown as written, in <pre><code>.
 * Blocks are not separated by whitespace text, so the container should not
 * use white-space: pre or pre-wrap; soft line breaks are "\n" text nodes.
 */
var VeltraneMarkdown = (function () {
  'use strict';

  var parser = null;

  // One parser for the page, made on first use: raw HTML off, tables and
  // strikethrough on (the default preset), bare addresses linked only when
  // they carry a scheme. Every link address passes the parser's own check;
  // the renderer decides which become links, so that a refused one can still
  // show its text and address.
  function markdown() {
    if (parser) return parser;
    if (typeof markdownit !== 'function') throw new Error('VeltraneMarkdown needs the markdown-it script before it');
    parser = markdownit({ html: false, xhtmlOut: false, breaks: false, linkify: true, typographer: false });
    parser.linkify.set({ fuzzyLink: false, fuzzyEmail: false, fuzzyIP: false });
    parser.validateLink = function () { return true; };
    // Blocks nested deeper than the parser's limit (100 quotes or lists) are
    // dropped by it, text and all; note when that happens, so that the text
    // can be shown as written instead of losing it.
    var tokenize = parser.block.tokenize;
    parser.block.tokenize = function (state, startLine, endLine) {
      if (state.level >= state.md.options.maxNesting) state.env.tooDeep = true;
      return tokenize.call(this, state, startLine, endLine);
    };
    return parser;
  }

  var LINK_SCHEMES = { 'http:': true, 'https:': true, 'mailto:': true };

  // The address to link to, or null when it must stay text. Only absolute
  // addresses parse without a base.
  function linkAddress(href) {
    var url;
    try {
      url = new URL(String(href).trim());
    } catch (e) {
      return null;
    }
    return LINK_SCHEMES[url.protocol.toLowerCase()] === true ? url.href : null;
  }

  // Addresses shown as text are cut to this many characters (a data:
  // address can be as long as the image).
  var SHOWN_ADDRESS_MAX = 200;

  // An address as a reader would type it (percent-escapes and punycode undone).
  function shownAddress(href) {
    var s;
    try {
      s = markdown().normalizeLinkText(String(href));
    } catch (e) {
      s = String(href);
    }
    return s;
  }

  var BLOCK_TAGS = {
    paragraph_open: 'p', blockquote_open: 'blockquote', bullet_list_open: 'ul', ordered_list_open: 'ol',
    list_item_open: 'li', table_open: 'table', thead_open: 'thead', tbody_open: 'tbody', tr_open: 'tr',
    th_open: 'th', td_open: 'td',
  };
  var INLINE_TAGS = { em_open: 'em', strong_open: 'strong', s_open: 's' };
  var ALIGN = { 'text-align:left': 'left', 'text-align:center': 'center', 'text-align:right': 'right' };
  var TASK = /^\[([ xX])\][ \t]+/;

  function element(doc, tag, text) {
    var e = doc.createElement(tag);
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // The text of inline tokens without their marks (an image's alt text).
  function plainText(children) {
    var out = '';
    for (var i = 0; i < (children || []).length; i++) {
      var c = children[i];
      if (c.type === 'text' || c.type === 'code_inline' || c.type === 'html_inline') out += c.content;
      else if (c.type === 'softbreak' || c.type === 'hardbreak') out += ' ';
      else if (c.type === 'image') out += plainText(c.children);
    }
    return out;
  }

  // When the list item at tokens[i] starts with a task box, takes the box
  // out of its text and returns whether it is ticked; otherwise null. The
  // raw text must show the box too, so an escaped "\[x]" stays text.
  function taskBox(tokens, i) {
    var p = tokens[i + 1], inline = tokens[i + 2];
    if (!p || p.type !== 'paragraph_open' || !inline || inline.type !== 'inline') return null;
    var first = inline.children && inline.children[0];
    if (!first || first.type !== 'text' || !TASK.test(inline.content)) return null;
    var m = TASK.exec(first.content);
    if (!m || (first.content.length === m[0].length && inline.children.length === 1)) return null;
    first.content = first.content.slice(m[0].length);
    return m[1] !== ' ';
  }

  function blockElement(doc, tokens, i, baseLevel) {
    var t = tokens[i];
    if (t.type === 'heading_open') {
      var level = Number(t.tag.slice(1)) || 1;
      return doc.createElement('h' + Math.min(6, level + baseLevel));
    }
    var tag = BLOCK_TAGS[t.type];
    if (!tag || (tag === 'p' && t.hidden)) return null;
    var e = doc.createElement(tag);
    if (tag === 'ol') {
      var start = t.attrGet('start');
      if (start !== null && /^\d{1,9}$/.test(String(start))) e.start = Number(start);
    } else if (tag === 'th' || tag === 'td') {
      var align = ALIGN[t.attrGet('style')];
      if (align) e.style.textAlign = align;
      if (tag === 'th') e.scope = 'col';
    } else if (tag === 'li') {
      var done = taskBox(tokens, i);
      if (done !== null) {
        e.className = 'md-task';
        e.style.listStyleType = 'none';
        var box = element(doc, 'span', done ? '\u2611' : '\u2610');
        box.className = 'md-box';
        box.setAttribute('role', 'img');
        box.setAttribute('aria-label', done ? 'done' : 'not done');
        e.appendChild(box);
        e.appendChild(doc.createTextNode(' '));
      }
    }
    return e;
  }

  function codeBlock(doc, t) {
    var pre = doc.createElement('pre');
    var code = element(doc, 'code', t.content);
    var lang = (t.info || '').trim().split(/\s+/)[0];
    if (/^[A-Za-z0-9_-]{1,32}$/.test(lang)) code.className = 'language-' + lang;
    pre.appendChild(code);
    return pre;
  }

  function image(doc, c) {
    var alt = plainText(c.children).replace(/\s+/g, ' ').trim();
    var src = c.attrGet('src') || '';
    var text = alt ? '[image: ' + alt + ']' : '[image]';
    if (src) text += ' (' + clip(shownAddress(src), SHOWN_ADDRESS_MAX) + ')';
    var e = element(doc, 'span', text);
    e.className = 'md-image';
    return e;
  }

  function renderInline(doc, children, parent) {
    // Each entry: the node children go into; for a refused link also the
    // address to show after its text.
    var stack = [{ node: parent }];
    for (var i = 0; i < children.length; i++) {
      var c = children[i];
      var top = stack[stack.length - 1].node;
      switch (c.type) {
        case 'text':
        case 'html_inline':
          top.appendChild(doc.createTextNode(c.content));
          break;
        case 'softbreak':
          top.appendChild(doc.createTextNode('\n'));
          break;
        case 'hardbreak':
          top.appendChild(doc.createElement('br'));
          break;
        case 'code_inline': {
          var code = element(doc, 'code', c.content);
          code.style.whiteSpace = 'pre-wrap';
          top.appendChild(code);
          break;
        }
        case 'image':
          top.appendChild(image(doc, c));
          break;
        case 'link_open': {
          var href = c.attrGet('href') || '';
          var address = linkAddress(href);
          var e;
          if (address !== null) {
            e = doc.createElement('a');
            e.href = address;
            e.target = '_blank';
            e.rel = 'noopener noreferrer';
            e.referrerPolicy = 'no-referrer';
            var title = c.attrGet('title');
            if (title) e.title = title;
          } else {
            e = doc.createElement('span');
            e.className = 'md-nolink';
          }
          top.appendChild(e);
          stack.push({ node: e, refused: address === null ? shownAddress(href) : null });
          break;
        }
        default: {
          var tag = INLINE_TAGS[c.type];
          if (tag) {
            var inner = doc.createElement(tag);
            top.appendChild(inner);
            stack.push({ node: inner });
          } else if (c.nesting === 1) {
            stack.push({ node: top });
          } else if (c.nesting === -1) {
            if (stack.length > 1) {
              var closed = stack.pop();
              var shown = closed.refused;
              if (shown && closed.node.textContent.trim() !== shown) {
                closed.node.appendChild(doc.createTextNode(' (' + clip(shown, SHOWN_ADDRESS_MAX) + ')'));
              }
            }
          } else if (c.content) {
            top.appendChild(doc.createTextNode(c.content));
          }
        }
      }
    }
  }

  function render(text, options) {
    var doc = document;
    var baseLevel = Math.max(0, Math.min(5, Math.floor(Number((options && options.baseLevel) || 0)) || 0));
    var source = text == null ? '' : String(text);
    var env = {};
    var tokens = markdown().parse(source, env);
    var fragment = doc.createDocumentFragment();
    if (env.tooDeep) {
      var pre = doc.createElement('pre');
      pre.appendChild(element(doc, 'code', source));
      fragment.appendChild(pre);
      return fragment;
    }
    var stack = [fragment];
    for (var i = 0; i < tokens.length; i++) {
      var t = tokens[i];
      var top = stack[stack.length - 1];
      if (t.type === 'inline') {
        renderInline(doc, t.children || [], top);
      } else if (t.type === 'fence' || t.type === 'code_block') {
        top.appendChild(codeBlock(doc, t));
      } else if (t.type === 'hr') {
        top.appendChild(doc.createElement('hr'));
      } else if (t.nesting === 1) {
        var e = blockElement(doc, tokens, i, baseLevel);
        if (e) top.appendChild(e);
        stack.push(e || top);
      } else if (t.nesting === -1) {
        if (stack.length > 1) stack.pop();
      } else if (t.content) {
        // Raw HTML blocks do not occur with HTML off; anything else of this
        // kind is shown as the text it holds.
        top.appendChild(element(doc, 'p', t.content));
      }
    }
    return fragment;
  }

  // Long lines are cut before parsing: a title needs only their start.
  var TITLE_LINE_MAX = 4096;

  function lineText(line) {
    var env = {};
    var tokens = markdown().parse(line.slice(0, TITLE_LINE_MAX), env);
    if (env.tooDeep) return line.slice(0, TITLE_LINE_MAX).replace(/^[\s>*+-]+/, '').replace(/\s+/g, ' ').trim();
    var parts = [];
    for (var i = 0; i < tokens.length; i++) {
      var t = tokens[i];
      if (t.type === 'inline') parts.push(plainText(t.children));
      else if (t.type === 'code_block' || t.type === 'fence') parts.push(t.content);
    }
    var s = parts.join(' ');
    if (tokens.length && tokens[0].type.slice(-10) === '_list_open') s = s.replace(TASK, '');
    return s.replace(/\s+/g, ' ').trim();
  }

  // Cuts s to at most maxChars characters (code points), the last one "…",
  // at a space when one falls in the second half.
  function clip(s, maxChars) {
    if (!(maxChars >= 1)) return s;
    var chars = Array.from(s);
    if (chars.length <= maxChars) return s;
    var keep = chars.slice(0, Math.floor(maxChars) - 1);
    var space = keep.lastIndexOf(' ');
    if (space > keep.length / 2) keep = keep.slice(0, space);
    return keep.join('').trimEnd() + '\u2026';
  }

  function title(text, maxChars) {
    var lines = (text == null ? '' : String(text)).split(/\r\n|\r|\n/);
    for (var i = 0; i < lines.length; i++) {
      if (!lines[i].trim()) continue;
      var s = lineText(lines[i]);
      if (s) return clip(s, maxChars);
    }
    return '';
  }

  return { render: render, title: title };
})();
