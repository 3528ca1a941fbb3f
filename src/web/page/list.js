  // ---- list of chains ----

  function chip(id, word, value) {
    var c = $(id);
    c.textContent = word + " ";
    c.appendChild(el("b", "", String(value)));
  }

  function noChainsMessage(box) {
    box.textContent = "No thought chains recorded yet.";
    box.appendChild(el("br"));
    box.appendChild(document.createTextNode("Call the "));
    box.appendChild(el("code", "", "veltraneflowstream"));
    box.appendChild(document.createTextNode(" MCP tool ("));
    box.appendChild(el("code", "", "plugin_veltrane --mcp"));
    box.appendChild(document.createTextNode(") and press Refresh."));
  }

  function renderList(d) {
    var chains = Array.isArray(d.chains) ? d.chains : [];
    var total = 0;
    chains.forEach(function (c) { total += (c && Number(c.thoughts)) || 0; });
    chip("chipChains", "chains", d.count !== undefined && d.count !== null ? d.count : chains.length);
    chip("chipThoughts", "thoughts", total);
    chip("chipState", "state", d.state_dir_name ? d.state_dir_name : "-");
    // Newest first: by the last recording, then by the start; the answer's
    // order settles the rest.
    listChains = chains.map(function (c, i) { return { c: c || {}, i: i }; }).sort(function (a, b) {
      return (num(b.c.updated_at) - num(a.c.updated_at)) || (num(b.c.started_at) - num(a.c.started_at)) || (a.i - b.i);
    }).map(function (x) { return x.c; });
    var empty = $("empty");
    if (!chains.length) {
      if (cur === null) { noChainsMessage(empty); empty.style.display = ""; }
    } else if (cur === null) {
      empty.textContent = "Select a chain to see its thoughts.";
      empty.style.display = "";
    }
    drawList();
  }

  function filterText() { return $("filterBox").value.trim().toLowerCase(); }

  // Rebuilds the list only when something it shows has changed; the list's
  // scroll position and the focused entry survive a rebuild.
  function drawList() {
    var q = filterText();
    var now = serverNow();
    var shown = listChains.filter(function (c) {
      return !q || str(c.id).toLowerCase().indexOf(q) >= 0 || str(c.last_head).toLowerCase().indexOf(q) >= 0;
    });
    var sig = JSON.stringify([cur, q, shown.map(function (c) {
      return [c.id, c.updated_at, c.thoughts, c.last_head, Array.isArray(c.branches) ? c.branches.length : 0,
        c.truncated === true, isLive(c.updated_at, now)];
    })]);
    var note = $("listNote");
    if (q && listChains.length && !shown.length) { note.textContent = "No chain matches the filter."; note.hidden = false; }
    else if (q) { note.textContent = shown.length + " of " + listChains.length + " chains"; note.hidden = false; }
    else note.hidden = true;
    if (sig === listSig) return;
    listSig = sig;
    var list = $("chains");
    var focusKey = document.activeElement && document.activeElement.parentNode === list ? document.activeElement.vKey : null;
    // Reading the scroll position forces a layout; an empty list has none to keep.
    var top = list.firstChild ? list.scrollTop : 0;
    list.textContent = "";
    var seen = {};
    var refocus = null;
    shown.forEach(function (c) {
      var id = str(c.id);
      seen[id] = (seen[id] || 0) + 1;
      var li = document.createElement("li");
      li.vKey = id + "\n" + seen[id];
      if (c.id === cur) { li.className = "sel"; li.setAttribute("aria-current", "true"); }
      var topRow = el("div", "cl-top");
      topRow.appendChild(el("span", "cl-id", id));
      if (isLive(c.updated_at, now)) topRow.appendChild(el("span", "livemark", "live"));
      topRow.appendChild(el("span", "cl-when", fmt(c.updated_at)));
      li.appendChild(topRow);
      li.appendChild(el("div", "cl-last", str(c.last_head)));
      var meta = el("div", "cl-meta");
      meta.appendChild(el("span", "pill t", "thoughts " + str(c.thoughts)));
      if (Array.isArray(c.branches) && c.branches.length) meta.appendChild(el("span", "pill b", "branches " + c.branches.length));
      if (c.truncated === true) meta.appendChild(el("span", "pill", "capped"));
      li.appendChild(meta);
      li.tabIndex = 0;
      li.addEventListener("click", function () { open(c.id, "push"); });
      li.addEventListener("keydown", function (ev) {
        if (ev.key === "Enter" || ev.key === " ") { ev.preventDefault(); open(c.id, "push"); }
      });
      if (li.vKey === focusKey) refocus = li;
      list.appendChild(li);
    });
    if (top) list.scrollTop = top;
    if (refocus) refocus.focus({ preventScroll: true });
  }

  function refreshList() {
    var seq = ++listSeq;
    return api("chains").then(function (a) {
      if (seq < listShown) return;
      listShown = seq;
      var d = a.data;
      if (failed(d)) { listFailed(errText(d, "chains failed")); return; }
      // A list error clears itself once the list answers again.
      if (errFrom === "list") clearErr();
      renderList(d);
      mark("veltrane:list-ready");
      if (cur === null) setJson(a);
      checkOpenChain(d);
    }).catch(function (e) { if (seq >= listShown) listFailed("chains: " + e); });
  }

  // A failing list request is reported once: while the same failure repeats,
  // the error box is left as it is, and what the page shows stays.
  function listFailed(msg) {
    if (errFrom === "list" && $("errbox").textContent === msg && $("errbox").style.display !== "none") return;
    showErr(msg, "list");
  }
