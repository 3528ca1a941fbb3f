  // ---- one chain ----

  // Splits a thought into plain text, inline code and fenced code blocks.
  // Fences are lines of three or more backticks or tildes; an unclosed fence
  // runs to the end. Inline code is a run of backticks closed by a run of the
  // same length on the same line; unmatched backticks stay plain text.
  function segments(text) {
    var out = [];
    var lines = text.split("\n");
    var plain = [];
    function flush() { if (plain.length) { inlineSegments(plain.join("\n"), out); plain = []; } }
    for (var i = 0; i < lines.length;) {
      var open = /^ {0,3}(`{3,}|~{3,})([^`]*)$/.exec(lines[i]);
      if (!open) { plain.push(lines[i]); i++; continue; }
      var fence = open[1];
      var code = [];
      var j = i + 1;
      for (; j < lines.length; j++) {
        var close = /^ {0,3}(`{3,}|~{3,})[ \t\r]*$/.exec(lines[j]);
        if (close && close[1].charAt(0) === fence.charAt(0) && close[1].length >= fence.length) break;
        code.push(lines[j]);
      }
      flush();
      out.push({ kind: "block", text: code.join("\n"), lang: open[2].trim() });
      i = j + 1;
    }
    flush();
    return out;
  }

  function inlineSegments(text, out) {
    var from = 0;
    var at = 0;
    while ((at = text.indexOf("`", at)) >= 0) {
      var runEnd = at;
      while (text.charAt(runEnd) === "`") runEnd++;
      var len = runEnd - at;
      var lineEnd = text.indexOf("\n", runEnd);
      if (lineEnd < 0) lineEnd = text.length;
      var k = runEnd;
      var close = -1;
      while ((k = text.indexOf("`", k)) >= 0 && k < lineEnd) {
        var e = k;
        while (text.charAt(e) === "`") e++;
        if (e - k === len) { close = k; break; }
        k = e;
      }
      if (close < 0) { at = runEnd; continue; }
      if (at > from) out.push({ kind: "text", text: text.slice(from, at) });
      var code = text.slice(runEnd, close);
      if (code.length > 2 && code.charAt(0) === " " && code.charAt(code.length - 1) === " " && code.trim()) code = code.slice(1, -1);
      out.push({ kind: "code", text: code });
      from = at = close + len;
    }
    if (from < text.length) out.push({ kind: "text", text: text.slice(from) });
  }

  // Fills a thought's body from its segments, with the find matches marked.
  function fillBody(it) {
    var body = it.body;
    body.textContent = "";
    it.marks = [];
    var hits = it.hits || [];
    var h = 0;
    it.segs.forEach(function (s, si) {
      var host = body;
      if (s.kind === "block") {
        var pre = el("pre");
        if (s.lang) pre.setAttribute("data-lang", s.lang);
        host = el("code");
        pre.appendChild(host);
        body.appendChild(pre);
      } else if (s.kind === "code") {
        host = el("code");
        body.appendChild(host);
      }
      var pos = 0;
      for (; h < hits.length && hits[h].seg === si; h++) {
        var hit = hits[h];
        if (hit.at > pos) host.appendChild(document.createTextNode(s.text.slice(pos, hit.at)));
        var m = el("mark", "hit", s.text.slice(hit.at, hit.at + hit.len));
        host.appendChild(m);
        it.marks.push(m);
        pos = hit.at + hit.len;
      }
      if (pos < s.text.length) host.appendChild(document.createTextNode(pos ? s.text.slice(pos) : s.text));
    });
  }

  // A rough height for a thought not yet laid out, so that the scroll bar
  // of a long chain is close to right before every thought has been drawn.
  function estimateHeight(text, perLine) {
    var lines = 0;
    var parts = text.split("\n");
    for (var i = 0; i < parts.length; i++) lines += Math.max(1, Math.ceil(parts[i].length / perLine));
    return Math.round(48 + lines * 20.25);
  }

  function charsPerLine() {
    var w = $("tlwrap").clientWidth || 600;
    return Math.max(20, Math.floor((w - 90) / 7));
  }

  function refButton(n) {
    var b = el("button", "ref", "#" + n);
    b.type = "button";
    b.setAttribute("data-ref", String(n));
    b.setAttribute("aria-label", "Go to thought #" + n);
    return b;
  }

  function makeItem(t, perLine, now) {
    t = t && typeof t === "object" ? t : {};
    var it = { t: t, key: "", est: 0, part: null, segs: null, lower: null, li: null, body: null, time: null, at: 0, hits: null, marks: [],
               branch: t.branch_id === undefined || t.branch_id === null ? null : String(t.branch_id), idx: 0, lane: 0 };
    var text = str(t.thought);
    it.key = str(t.at) + "|" + str(t.thought_number) + "|" + str(t.total_thoughts) + "|" + text;
    it.segs = segments(text);
    var li = document.createElement("li");
    li.vItem = it;
    if (t.is_revision === true) li.className = "rev";
    else if (t.branch_from) li.className = "br";
    it.est = estimateHeight(text, perLine);
    li.appendChild(el("span", "dot"));
    var row = el("div", "th-row");
    var head = el("div", "th-head");
    head.appendChild(el("span", "th-num", "#" + str(t.thought_number) + " / " + str(t.total_thoughts)));
    if (t.is_revision === true) {
      var rev = el("span", "badge rev", "revision");
      if (t.revises) { rev.appendChild(document.createTextNode(" of ")); rev.appendChild(refButton(t.revises)); }
      head.appendChild(rev);
    }
    if (t.branch_from) {
      var br = el("span", "badge br", "branch from ");
      br.appendChild(refButton(t.branch_from));
      if (t.branch_id) br.appendChild(document.createTextNode(" · " + str(t.branch_id)));
      head.appendChild(br);
    }
    if (!t.next_needed) head.appendChild(el("span", "badge fin", "final"));
    if (t.needs_more === true) {
      head.appendChild(document.createTextNode(" "));
      head.appendChild(el("span", "th-more", "needs more thoughts"));
    }
    row.appendChild(head);
    if (typeof t.at === "number" && t.at > 0) {
      it.at = t.at;
      var time = el("time", "th-time", ago(t.at, now));
      try { time.setAttribute("datetime", new Date(t.at * 1000).toISOString()); } catch (e) {}
      time.title = exact(t.at);
      it.time = time;
      row.appendChild(time);
    }
    var copy = el("button", "th-copy", "Copy");
    copy.type = "button";
    copy.setAttribute("data-copy", "");
    copy.setAttribute("aria-label", "Copy the text of thought #" + str(t.thought_number));
    row.appendChild(copy);
    li.appendChild(row);
    it.body = el("div", "th-body");
    li.appendChild(it.body);
    it.li = li;
    fillBody(it);
    return it;
  }

  // The timeline is laid out in parts of PART_SIZE thoughts. A part out of
  // view is skipped by the browser (content-visibility) and stands in with
  // the estimated height of its thoughts; one part, not each thought, is the
  // unit the browser checks for visibility while scrolling.
  var PART_SIZE = 25;

  function sizePart(part) {
    var h = 0;
    var any = false;
    part.items.forEach(function (it) { if (!it.li.hidden) { h += it.est; any = true; } });
    part.el.style.containIntrinsicSize = "auto " + Math.max(1, h) + "px";
    if (part.el.hidden === any) part.el.hidden = !any;
  }

  function appendItems(items) {
    var parts = view.parts;
    var touched = [];
    var tl = $("tl");
    items.forEach(function (it) {
      var part = parts[parts.length - 1];
      if (!part || part.items.length >= PART_SIZE) {
        part = { el: el("div", "part"), items: [] };
        part.el.setAttribute("role", "none");
        parts.push(part);
        tl.appendChild(part.el);
      }
      part.items.push(it);
      part.el.appendChild(it.li);
      it.part = part;
      if (touched[touched.length - 1] !== part) touched.push(part);
    });
    touched.forEach(sizePart);
  }

  function removeItems(items) {
    var touched = [];
    items.forEach(function (it) {
      var part = it.part;
      it.li.remove();
      part.items.splice(part.items.indexOf(it), 1);
      if (touched.indexOf(part) < 0) touched.push(part);
    });
    touched.forEach(function (part) {
      if (part.items.length) { sizePart(part); return; }
      part.el.remove();
      view.parts.splice(view.parts.indexOf(part), 1);
    });
  }

  function lastOf(thoughts) { return thoughts.length ? thoughts[thoughts.length - 1] || {} : {}; }

  function renderHead(d, thoughts) {
    var n = thoughts.length;
    $("dhead").style.display = n ? "flex" : "none";
    $("dId").textContent = d.id === undefined || d.id === null ? "" : String(d.id);
    var last = lastOf(thoughts);
    var total = Number(last.total_thoughts) || 0;
    var numNow = Number(last.thought_number) || 0;
    $("dCount").textContent = n + " thoughts";
    var pct = total > 0 ? Math.max(0, Math.min(100, Math.round(100 * numNow / total))) : 0;
    $("dProg").style.width = pct + "%";
    $("dLive").hidden = !isLive(d.updated_at, serverNow());
    var empty = $("empty");
    if (n) {
      empty.style.display = "none";
    } else {
      empty.textContent = "This chain holds no thoughts.";
      empty.style.display = "";
    }
  }

  // Lanes of the map: the main line, then one per branch id in the order the
  // branches first appear.
  function assignLanes() {
    var lanes = [{ id: null, first: -1 }];
    var byId = {};
    view.items.forEach(function (it, i) {
      it.idx = i;
      if (it.branch === null) { it.lane = 0; return; }
      var key = "b:" + it.branch;
      if (!(key in byId)) { byId[key] = lanes.length; lanes.push({ id: it.branch, first: i }); }
      it.lane = byId[key];
    });
    view.lanes = lanes;
    fillBranchSelect();
  }

  function fillBranchSelect() {
    var sel = $("branchSel");
    var branches = view.lanes.slice(1);
    $("branchGrp").hidden = !branches.length;
    var want = view.branch;
    if (want !== "*" && want !== "main" && !branches.some(function (l) { return "b:" + l.id === want; })) want = "*";
    var labels = ["*", "main"].concat(branches.map(function (l) { return "b:" + l.id; }));
    var same = sel.options.length === labels.length;
    for (var i = 0; same && i < labels.length; i++) same = sel.options[i].vValue === labels[i];
    if (!same) {
      sel.textContent = "";
      labels.forEach(function (v, i) {
        var text = i === 0 ? "All thoughts" : i === 1 ? "Main line only" : "Branch " + (branches[i - 2].id || "(empty id)") + " and main line";
        var o = el("option", "", text);
        o.value = String(i);
        o.vValue = v;
        sel.appendChild(o);
      });
    }
    for (var k = 0; k < sel.options.length; k++) if (sel.options[k].vValue === want) sel.selectedIndex = k;
    view.branch = want;
  }

  function passes(it) {
    if (view.branch === "*" || it.branch === null) return true;
    return view.branch !== "main" && "b:" + it.branch === view.branch;
  }

  // Shows the thoughts the branch selector lets through.
  function applyBranch() {
    var shown = [];
    var lastShown = null;
    view.items.forEach(function (it) {
      var ok = passes(it);
      if (it.li.hidden === ok) it.li.hidden = !ok;
      if (it.li.hasAttribute("data-end")) it.li.removeAttribute("data-end");
      if (ok) { shown.push(it); lastShown = it; }
    });
    if (lastShown) lastShown.li.setAttribute("data-end", "");
    view.shown = shown;
    view.parts.forEach(sizePart);
  }
