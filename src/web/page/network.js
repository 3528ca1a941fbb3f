  var $ = function (id) { return document.getElementById(id); };
  var SVG_NS = "http://www.w3.org/2000/svg";
  var POLL_MS = 2000;
  var LIVE_SECONDS = 60;
  var params = new URLSearchParams(window.location.search);
  var HUB = params.get("plugin") || "";
  var node = params.get("node") || "";
  var sid = params.get("id") || "";
  // The password this tab was given (in its address or in the page's
  // password field) is kept for the tab alone, so that a reload finds it;
  // the host's pages own localStorage, which the page only reads.
  var PWD_KEY = "veltrane_pwd:" + HUB + ":" + node;
  var pwd = params.get("pwd");
  if (pwd !== null) {
    // Taken out of the address at once, so that it stays in no address bar,
    // history entry, link or request address.
    dropFromAddress("pwd");
    keepPassword(pwd);
  } else {
    pwd = "";
    try { pwd = window.sessionStorage.getItem(PWD_KEY) || ""; } catch (e) { pwd = ""; }
    if (!pwd) {
      // Else the password the host's pages remembered.
      try {
        if (node) pwd = window.localStorage.getItem("bot_pwd_" + node) || "";
        if (!pwd) pwd = window.localStorage.getItem("bot_active_pwd") || "";
      } catch (e) { pwd = ""; }
    }
  }

  // Removes every parameter called name (as URLSearchParams reads names)
  // from the address, keeping every other byte of it.
  function dropFromAddress(name) {
    var parts = window.location.search.replace(/^\?/, "").split("&").filter(function (part) {
      var key = part.split("=")[0];
      try { key = decodeURIComponent(key.replace(/\+/g, " ")); } catch (e) {}
      return key !== name;
    });
    var search = parts.join("") ? "?" + parts.join("&") : "";
    try {
      window.history.replaceState(window.history.state, "", window.location.pathname + search + window.location.hash);
    } catch (e) {}
  }

  function keepPassword(value) {
    pwd = value;
    try {
      if (value) window.sessionStorage.setItem(PWD_KEY, value); else window.sessionStorage.removeItem(PWD_KEY);
    } catch (e) {}
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

  // The actions that change the store: sent as a POST of JSON, the only
  // request the program lets change anything.
  var CHANGES = { clear: true };

  // A query from name and value pairs, every name and value encoded, the
  // empty values left out.
  function queryOf(pairs) {
    return pairs.filter(function (p) { return p[1] !== ""; }).map(function (p) {
      return encodeURIComponent(p[0]) + "=" + encodeURIComponent(p[1]);
    }).join("&");
  }

  // The address of a request: always this origin's own path, the action word
  // from the page's code, then the values. The chain id of a detail request
  // comes ahead of the passed-on id, so the program's first-occurrence
  // lookup takes it. On the direct route the password goes in its header
  // only; the hub's proxy may need it as a parameter too.
  function requestUrl(action, values) {
    var pairs = [["action", action]];
    if (!CHANGES[action]) Object.keys(values).forEach(function (k) { pairs.push([k, str(values[k])]); });
    pairs.push(["node", node], ["id", sid]);
    if (HUB) pairs.push(["pwd", pwd]);
    return HUB ? "/plugins?" + queryOf([["plugin", HUB]].concat(pairs)) : "/plugin_veltrane?" + queryOf(pairs);
  }

  function send(action, values) {
    var init = { method: "GET", cache: "no-store", credentials: "same-origin", headers: {} };
    if (pwd) init.headers["X-Bot-Password"] = pwd;
    if (CHANGES[action]) {
      var body = { action: action };
      Object.keys(values).forEach(function (k) { body[k] = values[k]; });
      init.method = "POST";
      init.headers["Content-Type"] = "application/json";
      init.body = JSON.stringify(body);
    }
    return fetch(requestUrl(action, values), init).then(function (r) {
      // Times are compared with the server's clock, which may differ from ours.
      var date = Date.parse(r.headers.get("Date") || "");
      if (!isNaN(date)) clockSkew = date + 500 - Date.now();
      return r.text().then(function (text) { return { status: r.status, text: text }; });
    });
  }

  // Resolves to the answer's text and its parsed value. An answer of 401
  // asks the reader for the password and sends the request again with it,
  // as often as it takes; the request resolves once it is let in.
  function api(action, values) {
    values = values || {};
    // While the field waits, nothing more is sent that would be refused;
    // the reader may have moved to the other pane, and the field goes along.
    if (pwdWait) {
      placePasswordForm();
      return pwdWait.promise.then(function () { return api(action, values); });
    }
    var sent = pwd;
    return send(action, values).then(function (a) {
      if (a.status !== 401) return { text: a.text, data: JSON.parse(a.text) };
      if (pwd !== sent) return api(action, values);
      return askPassword(sent !== "").then(function () { return api(action, values); });
    });
  }

  // ---- the password field ----

  var pwdWait = null;  // { promise, resolve } while the field waits for the reader

  function askPassword(refused) {
    // A refused password is not offered to the next reload; it stays in
    // memory until another is typed, so that the other requests sent with
    // it wait for the same answer.
    if (refused) {
      try { window.sessionStorage.removeItem(PWD_KEY); } catch (e) {}
    }
    if (!pwdWait) {
      var w = {};
      w.promise = new Promise(function (resolve) { w.resolve = resolve; });
      pwdWait = w;
    }
    showPasswordForm(refused);
    return pwdWait.promise;
  }

  // The field goes where the reader is looking: the timeline's pane where it
  // is shown (a wide window, or a chain open), else the list's.
  function placePasswordForm() {
    var form = $("pwdForm");
    var wrap = $("tlwrap");
    if (wrap.getClientRects().length) {
      if (form.parentNode !== wrap) wrap.insertBefore(form, wrap.firstChild);
      $("empty").style.display = "none";
    } else if (form.parentNode !== $("listCard")) {
      $("listCard").insertBefore(form, $("listTitle").nextSibling);
    }
  }

  function showPasswordForm(refused) {
    var form = $("pwdForm");
    var first = form.hidden;
    $("pwdNote").textContent = refused ? "That password was not accepted. Try again."
                                       : "This node asks for its password before it shows the chains.";
    $("pwdNote").classList.toggle("refused", !!refused);
    form.hidden = false;
    placePasswordForm();
    if (first) { $("pwdBox").value = ""; $("pwdBox").focus(); }
    else if (refused) $("pwdBox").select();
  }

  function submitPassword() {
    var value = $("pwdBox").value;
    if (!value) { $("pwdBox").focus(); return; }
    keepPassword(value);
    $("pwdForm").hidden = true;
    $("pwdBox").value = "";
    var w = pwdWait;
    pwdWait = null;
    if (w) w.resolve();
  }
  $("pwdBtn").addEventListener("click", submitPassword);
  $("pwdBox").addEventListener("keydown", function (ev) {
    if (ev.key === "Enter") { ev.preventDefault(); submitPassword(); }
  });
  if (narrowScreen.addEventListener) {
    narrowScreen.addEventListener("change", function () { if (!$("pwdForm").hidden) placePasswordForm(); });
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
