  // The thought a "#N" of the given thought points at: the nearest earlier
  // thought numbered N, else the first one anywhere.
  function findRef(from, n) {
    var items = view.items;
    for (var i = from.idx - 1; i >= 0; i--) if (Number(items[i].t.thought_number) === n) return items[i];
    for (var j = 0; j < items.length; j++) if (j !== from.idx && Number(items[j].t.thought_number) === n) return items[j];
    return null;
  }

  function renderDetail(answer) {
    var d = answer.data;
    var thoughts = Array.isArray(d.thoughts) ? d.thoughts : [];
    renderHead(d, thoughts);
    var keepBranch = view.id === cur ? view.branch : "*";
    view = newView();
    view.id = cur;
    view.data = d;
    view.text = answer.text;
    view.branch = keepBranch;
    view.stamp = { updated_at: d.updated_at, count: thoughts.length };
    var perLine = charsPerLine();
    var now = serverNow();
    $("tl").textContent = "";
    view.items = thoughts.map(function (t) { return makeItem(t, perLine, now); });
    appendItems(view.items);
    assignLanes();
    applyBranch();
    $("tlwrap").scrollTop = 0;
    runFind(false);
    drawMap();
    paintMarkdown();
    mark("veltrane:chain-ready");
  }

  // The first and the last shown thought in view. Parts are searched first,
  // so that only thoughts of parts in view are asked for their position.
  function visibleItems() {
    var wrap = $("tlwrap");
    var top = wrap.scrollTop;
    var bottom = top + wrap.clientHeight;
    var parts = view.parts.filter(function (p) { return !p.el.hidden; });
    // below: the first box whose bottom is below the top of the view;
    // otherwise the last box whose top is above the bottom of the view.
    function search(list, box, below) {
      var lo = 0, hi = list.length - 1, ans = -1;
      while (lo <= hi) {
        var mid = (lo + hi) >> 1;
        var e = box(list[mid]);
        if (below) {
          if (e.offsetTop + e.offsetHeight > top) { ans = mid; hi = mid - 1; } else lo = mid + 1;
        } else {
          if (e.offsetTop < bottom) { ans = mid; lo = mid + 1; } else hi = mid - 1;
        }
      }
      return ans;
    }
    function partEl(p) { return p.el; }
    function itemEl(it) { return it.li; }
    function pick(below) {
      var pi = search(parts, partEl, below);
      if (pi < 0) return null;
      var shown = parts[pi].items.filter(function (it) { return !it.li.hidden; });
      var ii = search(shown, itemEl, below);
      return ii < 0 ? shown[below ? 0 : shown.length - 1] : shown[ii];
    }
    var first = pick(true);
    return first ? { first: first, last: pick(false) || first } : null;
  }

  // A newer answer for the chain on screen: thoughts that are gone from its
  // start (a capped chain drops its oldest) are removed and new ones appended,
  // so what the reader looks at stays where it is. A reader at the end
  // follows the newest thought.
  function updateDetail(answer) {
    var d = answer.data;
    var thoughts = Array.isArray(d.thoughts) ? d.thoughts : [];
    var wrap = $("tlwrap");
    var atEnd = wrap.scrollHeight - wrap.scrollTop - wrap.clientHeight < 40;
    var perLine = charsPerLine();
    var now = serverNow();
    var old = view.items;
    var fresh = thoughts.map(function (t) {
      t = t && typeof t === "object" ? t : {};
      return str(t.at) + "|" + str(t.thought_number) + "|" + str(t.total_thoughts) + "|" + str(t.thought);
    });
    var drop = -1;
    if (!fresh.length) drop = old.length;
    for (var k = 0; k < old.length && drop < 0; k++) {
      if (old[k].key !== fresh[0]) continue;
      var ok = true;
      for (var j = k; j < old.length && ok; j++) ok = j - k < fresh.length && old[j].key === fresh[j - k];
      if (ok) drop = k;
    }
    if (drop < 0 && !old.length) drop = 0;
    if (drop < 0) { renderDetail(answer); return; }
    var seen = visibleItems();
    var anchor = seen ? seen.first : null;
    var anchorGap = anchor ? anchor.li.offsetTop - wrap.scrollTop : 0;
    renderHead(d, thoughts);
    view.data = d;
    view.text = answer.text;
    view.stamp = { updated_at: d.updated_at, count: thoughts.length };
    removeItems(old.slice(0, drop));
    var kept = old.slice(drop);
    var added = [];
    for (var i = kept.length; i < thoughts.length; i++) added.push(makeItem(thoughts[i], perLine, now));
    view.items = kept.concat(added);
    appendItems(added);
    assignLanes();
    applyBranch();
    if (atEnd) {
      followEnd();
    } else if (anchor && anchor.li.isConnected) {
      wrap.scrollTop = anchor.li.offsetTop - anchorGap;
    }
    runFind(true);
    drawMap();
    paintMarkdown();
    if (added.length) {
      var lastNum = str(added[added.length - 1].t.thought_number);
      announce(added.length === 1 ? "New thought #" + lastNum : added.length + " new thoughts, the latest #" + lastNum);
    }
    mark("veltrane:chain-ready");
  }

  // Thoughts near the end are laid out only when they come into view, which
  // changes their height; the end is pinned again over the next two frames.
  function followEnd() {
    var wrap = $("tlwrap");
    var frames = 3;
    (function pin() {
      wrap.scrollTop = wrap.scrollHeight;
      if (--frames > 0) window.requestAnimationFrame(pin);
    })();
  }

  function loadChain(id, how) {
    // The answer in flight is at most one poll older than the list; the next
    // poll asks again if it is already out of date.
    if (how === "update" && chainBusy === id) return;
    var seq = ++chainSeq;
    chainBusy = id;
    api("chain", { id: str(id) }).then(function (a) {
      // An answer for a chain that is no longer the open one is dropped, so
      // a slow answer never overwrites the chain the user has moved on to.
      if (cur !== id || seq < chainShown) return;
      var d = a.data;
      if (failed(d)) { showErr(errText(d, "chain failed"), "chain"); return; }
      chainShown = seq;
      if (errFrom === "chain") clearErr();
      if (how === "update" && view.id === id) updateDetail(a); else renderDetail(a);
      setJson(a);
    }).catch(function (e) { if (cur === id) showErr("chain: " + e, "chain"); }).then(function () {
      if (seq === chainSeq) chainBusy = null;
    });
  }

  // ---- addresses ----

  function chainInAddress() {
    var m = /^#chain=(.*)$/.exec(window.location.hash);
    if (!m) return null;
    try { return decodeURIComponent(m[1]); } catch (e) { return null; }
  }

  // Only the fragment changes; the query (node, id, pwd, plugin) stays.
  function setAddress(id, how) {
    if (how !== "push" && how !== "replace") return;
    var frag = id === null ? "" : "#chain=" + encodeURIComponent(str(id));
    if (window.location.hash === frag) return;
    var url = window.location.pathname + window.location.search + frag;
    var state = { veltrane: true, chain: id, fromList: cur === null };
    try {
      if (how === "push") window.history.pushState(state, "", url);
      else window.history.replaceState(state, "", url);
    } catch (e) {}
  }

  function followAddress() {
    var want = chainInAddress();
    if (want === null) { if (cur !== null) showList(); }
    else if (want !== cur) open(want, "none");
  }
  window.addEventListener("popstate", followAddress);
  window.addEventListener("hashchange", followAddress);

  // ---- views ----

  function open(id, how) {
    var same = cur === id && view.id === id;
    setAddress(id, how);
    cur = id;
    document.body.setAttribute("data-view", "detail");
    clearErr();
    loadChain(id, same ? "update" : "open");
    refreshList();
  }

  function showList() {
    cur = null;
    document.body.removeAttribute("data-view");
    $("tl").textContent = "";
    $("dhead").style.display = "none";
    view = newView();
    clearMap();
    refreshList();
  }

  function back() {
    var st = window.history.state;
    if (st && st.veltrane && st.fromList && st.chain === cur) { window.history.back(); return; }
    setAddress(null, "push");
    showList();
  }
