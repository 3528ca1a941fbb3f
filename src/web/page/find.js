  // ---- find ----

  var find = { q: "", hits: [], cur: -1, timer: 0 };

  function lowerSegs(it) {
    if (!it.lower) it.lower = it.segs.map(function (s) { return s.text.toLowerCase(); });
    return it.lower;
  }

  // Marks every match of the find text in the shown thoughts; keepPlace
  // keeps the current match on the same thought when it still matches.
  function runFind(keepPlace) {
    var q = $("findBox").value.toLowerCase();
    var before = keepPlace && find.cur >= 0 ? find.hits[find.cur] : null;
    find.q = q;
    find.hits = [];
    find.cur = -1;
    view.items.forEach(function (it) {
      var had = it.hits && it.hits.length;
      var hits = [];
      if (q && passes(it)) {
        lowerSegs(it).forEach(function (s, si) {
          for (var at = s.indexOf(q); at >= 0; at = s.indexOf(q, at + q.length)) hits.push({ seg: si, at: at, len: q.length });
        });
      }
      it.hits = hits;
      if (had || hits.length) fillBody(it);
      hits.forEach(function (h, k) { find.hits.push({ it: it, k: k }); });
    });
    if (before) {
      for (var i = 0; i < find.hits.length; i++) if (find.hits[i].it === before.it && find.hits[i].k === before.k) find.cur = i;
    }
    paintFind();
    drawHits();
  }

  function paintFind() {
    var n = find.hits.length;
    $("findCount").textContent = !find.q ? "" : !n ? "no match" : find.cur < 0 ? n + (n === 1 ? " match" : " matches") : find.cur + 1 + " of " + n;
    $("findPrev").disabled = $("findNext").disabled = !n;
    find.hits.forEach(function (h, i) {
      var m = h.it.marks[h.k];
      if (m) m.className = i === find.cur ? "hit cur" : "hit";
    });
  }

  function stepFind(delta) {
    if (find.timer) { window.clearTimeout(find.timer); find.timer = 0; runFind(false); }
    var n = find.hits.length;
    if (!n) return;
    find.cur = find.cur < 0 ? (delta > 0 ? 0 : n - 1) : (find.cur + delta + n) % n;
    paintFind();
    var h = find.hits[find.cur];
    var m = h.it.marks[h.k];
    if (m) reveal(m, "center", false);
  }

  $("findBox").addEventListener("input", function () {
    window.clearTimeout(find.timer);
    find.timer = window.setTimeout(function () { find.timer = 0; runFind(false); }, 150);
  });
  $("findBox").addEventListener("keydown", function (ev) {
    if (ev.key === "Enter") { ev.preventDefault(); stepFind(ev.shiftKey ? -1 : 1); }
    else if (ev.key === "Escape" && this.value) { ev.preventDefault(); this.value = ""; runFind(false); }
  });
  $("findNext").addEventListener("click", function () { stepFind(1); });
  $("findPrev").addEventListener("click", function () { stepFind(-1); });

  // ---- navigation inside a chain ----

  // Scrolls the timeline to an element. Thoughts laid out on the way are
  // seldom as tall as estimated, which moves the element after the scroll
  // has aimed at it; so the element is put in place again once the scroll
  // has ended, over the next frames. Far jumps are never smooth.
  var revealSeq = 0;
  function reveal(target, block, instant) {
    var wrap = $("tlwrap");
    var distance = Math.abs(target.getBoundingClientRect().top - wrap.getBoundingClientRect().top);
    var behavior = instant || distance > 2 * wrap.clientHeight ? "auto" : smooth();
    var seq = ++revealSeq;
    target.scrollIntoView({ block: block, behavior: behavior });
    function settle(frames) {
      if (seq !== revealSeq || !target.isConnected) return;
      target.scrollIntoView({ block: block, behavior: "auto" });
      if (frames > 1) window.requestAnimationFrame(function () { settle(frames - 1); });
    }
    if (behavior === "auto") { window.requestAnimationFrame(function () { settle(3); }); return; }
    var done = false;
    function ended() {
      if (done) return;
      done = true;
      wrap.removeEventListener("scrollend", ended);
      settle(3);
    }
    wrap.addEventListener("scrollend", ended);
    window.setTimeout(ended, 1500);
  }

  // Scrolls a thought to the top of the timeline and marks it briefly.
  function goTo(it, opts) {
    if (!passes(it)) {
      view.branch = "*";
      fillBranchSelect();
      applyBranch();
      runFind(true);
      drawMap();
    }
    reveal(it.li, "start", opts.instant);
    if (opts.flash) {
      it.li.removeAttribute("data-flash");
      void it.li.offsetWidth;
      it.li.setAttribute("data-flash", "");
      var li = it.li;
      window.setTimeout(function () { li.removeAttribute("data-flash"); }, 1600);
    }
    setCursor(it.idx);
  }

  $("tl").addEventListener("click", function (ev) {
    var b = ev.target.closest ? ev.target.closest("button") : null;
    if (!b) return;
    var li = b.closest("li");
    var it = li && li.vItem;
    if (!it) return;
    if (b.hasAttribute("data-ref")) {
      var target = findRef(it, Number(b.getAttribute("data-ref")));
      if (target) goTo(target, { flash: true });
    } else if (b.hasAttribute("data-copy")) {
      copyText(str(it.t.thought), b, "Copied thought #" + str(it.t.thought_number));
    }
  });

  $("branchSel").addEventListener("change", function () {
    var o = this.options[this.selectedIndex];
    var wrap = $("tlwrap");
    var seen = visibleItems();
    var anchor = seen ? seen.first : null;
    view.branch = o ? o.vValue : "*";
    applyBranch();
    if (anchor && passes(anchor)) anchor.li.scrollIntoView({ block: "start" });
    else if (!view.shown.length || wrap.scrollTop > wrap.scrollHeight) wrap.scrollTop = 0;
    runFind(false);
    drawMap();
  });
