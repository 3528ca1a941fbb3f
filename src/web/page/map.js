  // ---- the map ----

  var map = { vertical: true, pad: 10, step: 0, cursor: 0, view: null, cur: null, hits: null, pressed: false, moved: false };

  function svgEl(tag, cls, attrs) {
    var e = document.createElementNS(SVG_NS, tag);
    if (cls) e.setAttribute("class", cls);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    return e;
  }

  function clearMap() {
    $("mapView").hidden = true;
    var svg = $("map");
    svg.textContent = "";
    svg.setAttribute("width", "0");
    svg.setAttribute("height", "0");
    svg.setAttribute("tabindex", "-1");
  }

  function f1(v) { return Math.round(v * 10) / 10; }
  function dotPath(x, y, r) {
    return "M" + f1(x - r) + " " + f1(y) + "a" + r + " " + r + " 0 1 0 " + f1(2 * r) + " 0a" + r + " " + r + " 0 1 0 " + f1(-2 * r) + " 0";
  }

  // Draws the chain's structure: the main line, each branch leaving from the
  // thought it branches from, revisions joined to the thought they revise
  // (ringed), the newest thought, the part of the timeline in view and the
  // find matches. Points follow the order of recording, one per thought.
  function drawMap() {
    var svg = $("map");
    var items = view.items;
    var n = items.length;
    svg.textContent = "";
    if (!n) { clearMap(); return; }
    var wrap = $("mapWrap");
    var vertical = !narrowScreen.matches;
    var lanes = view.lanes.length;
    var pad = 10;
    var W, H, step, gap;
    if (vertical) {
      W = wrap.clientWidth || 150;
      step = n > 1 ? Math.min(24, Math.max(0, (wrap.clientHeight || 400) - 2 * pad) / (n - 1)) : 0;
      H = Math.ceil(2 * pad + (n - 1) * step);
      gap = lanes > 1 ? Math.max(3, Math.min(16, (W - 2 * pad - 60) / (lanes - 1))) : 0;
    } else {
      W = wrap.clientWidth || 300;
      step = n > 1 ? Math.min(24, Math.max(0, W - 2 * pad - 40) / (n - 1)) : 0;
      gap = 12;
      H = Math.ceil(2 * pad + 10 + (lanes - 1) * gap);
    }
    map.vertical = vertical;
    map.pad = pad;
    map.step = step;
    svg.setAttribute("width", String(W));
    svg.setAttribute("height", String(H));
    svg.setAttribute("viewBox", "0 0 " + W + " " + H);
    svg.setAttribute("tabindex", "0");
    svg.setAttribute("aria-orientation", vertical ? "vertical" : "horizontal");
    svg.setAttribute("aria-valuemax", String(n));
    var xy = vertical
      ? function (i, lane) { return [pad + 4 + lane * gap, pad + i * step]; }
      : function (i, lane) { return [pad + i * step, pad + 10 + lane * gap]; };
    map.xy = xy;
    var r = Math.max(1.5, Math.min(4, step / 2));

    // Lines: each lane through its thoughts; a branch starts at its source.
    var lanePaths = view.lanes.map(function () { return ""; });
    var prev = view.lanes.map(function () { return null; });
    view.lanes.forEach(function (lane, k) {
      if (k === 0) return;
      var first = items[lane.first];
      var source = findRef(first, Number(first.t.branch_from));
      if (source && source.idx < first.idx) { var p = xy(source.idx, source.lane); lanePaths[k] = "M" + f1(p[0]) + " " + f1(p[1]); prev[k] = p; }
    });
    var dots = { main: "", rev: "", br: "", dim: "" };
    var arcs = "";
    var rings = "";
    items.forEach(function (it, i) {
      var p = xy(i, it.lane);
      lanePaths[it.lane] += (prev[it.lane] ? "L" : "M") + f1(p[0]) + " " + f1(p[1]);
      prev[it.lane] = p;
      var kind = !passes(it) ? "dim" : it.t.is_revision === true ? "rev" : it.t.branch_from ? "br" : "main";
      dots[kind] += dotPath(p[0], p[1], r);
      if (it.t.is_revision === true && it.t.revises) {
        var target = findRef(it, Number(it.t.revises));
        if (target) {
          var q = xy(target.idx, target.lane);
          rings += dotPath(q[0], q[1], r + 2);
          arcs += vertical
            ? "M" + f1(p[0]) + " " + f1(p[1]) + "C" + f1(p[0] - 9) + " " + f1(p[1]) + " " + f1(q[0] - 9) + " " + f1(q[1]) + " " + f1(q[0]) + " " + f1(q[1])
            : "M" + f1(p[0]) + " " + f1(p[1]) + "C" + f1(p[0]) + " " + f1(p[1] - 9) + " " + f1(q[0]) + " " + f1(q[1] - 9) + " " + f1(q[0]) + " " + f1(q[1]);
        }
      }
    });
    map.W = W;
    map.H = H;
    lanePaths.forEach(function (d, k) { if (d) svg.appendChild(svgEl("path", k ? "lane br" : "lane", { d: d })); });
    if (arcs) svg.appendChild(svgEl("path", "arc", { d: arcs }));
    map.hits = svgEl("path", "hits", { d: "" });
    svg.appendChild(map.hits);
    if (dots.dim) svg.appendChild(svgEl("path", "pt dim", { d: dots.dim }));
    if (dots.main) svg.appendChild(svgEl("path", "pt", { d: dots.main }));
    if (dots.br) svg.appendChild(svgEl("path", "pt br", { d: dots.br }));
    if (dots.rev) svg.appendChild(svgEl("path", "pt rev", { d: dots.rev }));
    if (rings) svg.appendChild(svgEl("path", "revised", { d: rings }));
    var last = xy(n - 1, items[n - 1].lane);
    svg.appendChild(svgEl("path", "newest", { d: dotPath(last[0], last[1], r + 3) }));
    view.lanes.forEach(function (lane, k) {
      if (!k) return;
      var p = xy(lane.first, k);
      var name = lane.id || "(empty id)";
      if (name.length > 16) name = name.slice(0, 15) + "\u2026";
      var label = svgEl("text", "", { x: f1(p[0] + r + 3), y: f1(p[1] + 3.5) });
      label.textContent = name;
      svg.appendChild(label);
    });
    map.cur = svgEl("path", "cursor", { d: "" });
    svg.appendChild(map.cur);
    drawHits();
    updateViewBand();
  }

  function drawHits() {
    if (!map.hits || !view.items.length) return;
    var d = "";
    var seen = -1;
    find.hits.forEach(function (h) {
      if (h.it.idx === seen) return;
      seen = h.it.idx;
      var p = map.xy(h.it.idx, h.it.lane);
      d += map.vertical ? "M0 " + f1(p[1] - 1) + "h5v2h-5z" : "M" + f1(p[0] - 1) + " 0v5h2v-5z";
    });
    map.hits.setAttribute("d", d);
  }

  // The part of the timeline in view, as a band over the map. It is a box of
  // its own, moved and stretched by a transform, so that scrolling never
  // repaints the drawing.
  function updateViewBand() {
    if (!map.xy || !view.shown.length) return;
    var seen = visibleItems();
    if (!seen) return;
    var i = seen.first.idx;
    var j = seen.last.idx;
    var s = map.step;
    var lo = map.pad + i * s - Math.max(3, s / 2);
    var len = (j - i) * s + Math.max(6, s);
    var band = $("mapView");
    var w = (map.vertical ? map.W : Math.round(len)) + "px";
    var h = (map.vertical ? Math.round(len) : map.H) + "px";
    if (band.style.width !== w) band.style.width = w;
    if (band.style.height !== h) band.style.height = h;
    band.style.transform = map.vertical ? "translateY(" + f1(lo) + "px)" : "translateX(" + f1(lo) + "px)";
    if (band.hidden) band.hidden = false;
    if (document.activeElement !== $("map")) setCursor(i, true);
  }

  function setCursor(i, quiet) {
    var items = view.items;
    if (!items.length) return;
    i = Math.max(0, Math.min(items.length - 1, i));
    if (quiet && map.cursor === i && !map.curShown) return;
    map.cursor = i;
    map.curShown = !quiet;
    var it = items[i];
    var svg = $("map");
    svg.setAttribute("aria-valuenow", String(i + 1));
    var marks = [];
    if (it.t.is_revision === true) marks.push("revision");
    if (it.branch !== null) marks.push("branch " + it.branch);
    svg.setAttribute("aria-valuetext", "Thought #" + str(it.t.thought_number) + " of " + str(it.t.total_thoughts) +
      (marks.length ? ", " + marks.join(", ") : "") + " (" + (i + 1) + " of " + items.length + " recorded)");
    if (map.cur && map.xy && !quiet) {
      var p = map.xy(i, it.lane);
      map.cur.setAttribute("d", dotPath(p[0], p[1], Math.max(4, Math.min(6, map.step)) + 2));
    } else if (map.cur && quiet) {
      map.cur.setAttribute("d", "");
    }
  }

  function nearestShown(i) {
    var items = view.items;
    for (var d = 0; d < items.length; d++) {
      if (i - d >= 0 && passes(items[i - d])) return items[i - d];
      if (i + d < items.length && passes(items[i + d])) return items[i + d];
    }
    return null;
  }

  function mapIndexAt(ev) {
    var rect = $("map").getBoundingClientRect();
    var c = map.vertical ? ev.clientY - rect.top : ev.clientX - rect.left;
    var n = view.items.length;
    return map.step > 0 ? Math.max(0, Math.min(n - 1, Math.round((c - map.pad) / map.step))) : 0;
  }

  $("map").addEventListener("pointerdown", function (ev) {
    if (!view.items.length) return;
    map.pressed = true;
    map.moved = false;
    try { this.setPointerCapture(ev.pointerId); } catch (e) {}
    var it = nearestShown(mapIndexAt(ev));
    if (it) goTo(it, { instant: true, flash: false });
  });
  $("map").addEventListener("pointermove", function (ev) {
    if (!map.pressed) return;
    map.moved = true;
    var it = nearestShown(mapIndexAt(ev));
    if (it) goTo(it, { instant: true, flash: false });
  });
  function release(ev) {
    if (!map.pressed) return;
    map.pressed = false;
    if (!map.moved) { var it = nearestShown(mapIndexAt(ev)); if (it) goTo(it, { instant: true, flash: true }); }
  }
  $("map").addEventListener("pointerup", release);
  $("map").addEventListener("pointercancel", function () { map.pressed = false; });
  $("map").addEventListener("focus", function () { setCursor(map.cursor); });
  $("map").addEventListener("keydown", function (ev) {
    var n = view.items.length;
    if (!n) return;
    var i = map.cursor;
    var steps = { ArrowDown: 1, ArrowRight: 1, ArrowUp: -1, ArrowLeft: -1, PageDown: 10, PageUp: -10 };
    var dir = 1;
    if (ev.key in steps) { dir = steps[ev.key] > 0 ? 1 : -1; i += steps[ev.key]; }
    else if (ev.key === "Home") { i = 0; dir = -1; }
    else if (ev.key === "End") i = n - 1;
    else if (ev.key === "Enter" || ev.key === " ") { ev.preventDefault(); var here = view.items[i]; if (here) goTo(here, { instant: true, flash: true }); return; }
    else return;
    ev.preventDefault();
    i = Math.max(0, Math.min(n - 1, i));
    while (i >= 0 && i < n && !passes(view.items[i])) i += dir;
    var it = view.items[Math.max(0, Math.min(n - 1, i))];
    if (it && passes(it)) goTo(it, { instant: true, flash: false });
  });

  var bandQueued = false;
  $("tlwrap").addEventListener("scroll", function () {
    if (bandQueued) return;
    bandQueued = true;
    window.requestAnimationFrame(function () { bandQueued = false; updateViewBand(); });
  }, { passive: true });

  var mapQueued = false;
  function redrawMapSoon() {
    if (mapQueued || cur === null) return;
    mapQueued = true;
    window.requestAnimationFrame(function () { mapQueued = false; drawMap(); });
  }
  if (window.ResizeObserver) new ResizeObserver(redrawMapSoon).observe($("mapWrap"));
