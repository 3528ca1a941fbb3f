  var $ = function (id) { return document.getElementById(id); };
  var SVG_NS = "http://www.w3.org/2000/svg";
  var POLL_MS = 2000;
  var LIVE_SECONDS = 60;
  var params = new URLSearchParams(window.location.search);
  var HUB = params.get("plugin") || "";
  var node = params.get("node") || "";
  var sid = params.get("id") || "";
  var pwd = params.get("pwd");
  if (pwd === null) {
    // Without a pwd parameter the password the host's pages remembered is used.
    pwd = "";
    try {
      if (node) pwd = window.localStorage.getItem("bot_pwd_" + node) || "";
      if (!pwd) pwd = window.localStorage.getItem("bot_active_pwd") || "";
    } catch (e) { pwd = ""; }
  }

  var reducedMotion = window.matchMedia("(prefers-reduced-motion: reduce)");
  var narrowScreen = window.matchMedia("(max-width: 860px)");

  var cur = null;          // id of the open chain, null in the list view
  var lastJson = "";       // text of the JSON panel
  var jsonSource = null;   // answer the JSON panel shows: { text, data }
  var errFrom = "";        // which request put the text in the error box
  var clockSkew = 0;       // server clock minus ours, in ms, from the answers' Date
  var listChains = [];     // the last list answer's chains, newest first
  var listSig = "";
  var listSeq = 0;         // numbers list requests; an answer older than the one shown is dropped
  var listShown = 0;
  var pollTimer = 0;
  var pollBusy = false;
  var chainSeq = 0;        // numbers chain requests, so an older answer never replaces a newer one
  var chainShown = 0;
  var chainBusy = null;    // id of the chain whose request is in flight

  // The chain on screen: its answer, one record per thought, the branches,
  // and the thoughts the branch selector lets through.
  var view = newView();
  function newView() {
    return { id: null, data: null, text: "", items: [], shown: [], parts: [], lanes: [], branch: "*", stamp: null };
  }

  function str(v) { return v === null || v === undefined ? "" : String(v); }
  function num(v) { return typeof v === "number" && isFinite(v) ? v : 0; }

  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // One formatter for every date: toLocaleString builds a new one per call.
  var localTime = null;
  try {
    localTime = new Intl.DateTimeFormat(undefined, {
      year: "numeric", month: "numeric", day: "numeric", hour: "numeric", minute: "numeric", second: "numeric" });
  } catch (e) {}

  function fmt(ts) {
    if (!ts) return "-";
    try { return localTime ? localTime.format(new Date(ts * 1000)) : new Date(ts * 1000).toLocaleString(); } catch (e) { return String(ts); }
  }

  var exactTime = null;
  try { exactTime = new Intl.DateTimeFormat(undefined, { dateStyle: "medium", timeStyle: "medium" }); } catch (e) {}
  function exact(ts) {
    try { return exactTime ? exactTime.format(new Date(ts * 1000)) : new Date(ts * 1000).toLocaleString(); } catch (e) { return String(ts); }
  }

  function serverNow() { return (Date.now() + clockSkew) / 1000; }

  function ago(ts, now) {
    var s = Math.floor(now - ts);
    if (s < 10) return "just now";
    if (s < 60) return s + " s ago";
    if (s < 3600) return Math.floor(s / 60) + " min ago";
    if (s < 86400) return Math.floor(s / 3600) + " h ago";
    if (s < 7 * 86400) return Math.floor(s / 86400) + " d ago";
    try { return new Date(ts * 1000).toLocaleDateString(); } catch (e) { return String(ts); }
  }

  function isLive(updatedAt, now) { var u = num(updatedAt); return u > 0 && now - u < LIVE_SECONDS; }

  function mark(name) {
    try { performance.clearMarks(name); performance.mark(name); } catch (e) {}
  }

  function smooth() { return reducedMotion.matches ? "auto" : "smooth"; }

  // Repeated messages are announced again: the region is emptied first.
  function announce(text) {
    var a = $("announce");
    a.textContent = "";
    window.setTimeout(function () { a.textContent = text; }, 50);
  }

  function showErr(msg, from) { var b = $("errbox"); b.textContent = String(msg); b.style.display = ""; errFrom = from || ""; }
  function clearErr() { $("errbox").style.display = "none"; errFrom = ""; }

  function failed(d) { return !d || d.ok === false; }
  function errText(d, fallback) { return d && d.error ? d.error : fallback; }

  // The chain id of a detail request travels as the extra, ahead of the
  // passed-on id, so the program's first-occurrence lookup takes it.
  // Resolves to the answer's text and its parsed value.
  function api(action, extra) {
    var url = HUB ? "/plugins?plugin=" + encodeURIComponent(HUB) + "&action=" + action
                  : "/plugin_veltrane?action=" + action;
    if (extra) url += "&" + extra;
    if (node) url += "&node=" + encodeURIComponent(node);
    if (sid) url += "&id=" + encodeURIComponent(sid);
    if (pwd) url += "&pwd=" + encodeURIComponent(pwd);
    var init = { method: "GET", cache: "no-store", credentials: "same-origin" };
    if (pwd) init.headers = { "X-Bot-Password": pwd };
    return fetch(url, init).then(function (r) {
      // Times are compared with the server's clock, which may differ from ours.
      var date = Date.parse(r.headers.get("Date") || "");
      if (!isNaN(date)) clockSkew = date + 500 - Date.now();
      return r.text();
    }).then(function (text) { return { text: text, data: JSON.parse(text) }; });
  }

  // ---- JSON and Markdown panels ----

  function panelOpen(id) { return $(id).style.display !== "none"; }

  function setJson(answer) {
    jsonSource = answer;
    if (panelOpen("json")) paintJson();
  }

  function paintJson() {
    var text = jsonSource ? JSON.stringify(jsonSource.data, null, 2) : "";
    if (text !== lastJson) { lastJson = text; $("json").textContent = lastJson; }
  }

  function paintMarkdown() {
    if (!panelOpen("md")) return;
    var text = view.data ? chainMarkdown(view.data) : "";
    if ($("md").textContent !== text) $("md").textContent = text;
  }
