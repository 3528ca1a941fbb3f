  // ---- buttons ----

  $("backBtn").addEventListener("click", back);
  $("backBtn2").addEventListener("click", back);
  $("refreshBtn").addEventListener("click", function () { if (cur !== null) open(cur, "none"); else refreshList(); });
  $("jsonBtn").addEventListener("click", function () {
    var pre = $("json");
    if (pre.style.display !== "none") { pre.style.display = "none"; this.textContent = "Show JSON"; }
    else { pre.style.display = ""; this.textContent = "Hide JSON"; paintJson(); }
  });
  $("mdBtn").addEventListener("click", function () {
    var pre = $("md");
    if (pre.style.display !== "none") { pre.style.display = "none"; this.textContent = "Show Markdown"; }
    else { pre.style.display = ""; this.textContent = "Hide Markdown"; paintMarkdown(); }
  });
  $("clearBtn").addEventListener("click", function () {
    if (!window.confirm("Delete all recorded thought chains? This cannot be undone.")) return;
    api("clear", { confirm: true }).then(function (a) {
      var d = a.data;
      if (failed(d)) { showErr(errText(d, "clear failed"), "clear"); return; }
      setAddress(null, "replace");
      showList();
    }).catch(function (e) { showErr("clear: " + e, "clear"); });
  });
  $("themeToggle").addEventListener("click", function () {
    var now = document.documentElement.getAttribute("data-theme");
    if (typeof window.tkApplyTheme === "function") window.tkApplyTheme(now === "dark" ? "light" : "dark");
  });
  $("filterBox").addEventListener("input", drawList);
  $("filterBox").addEventListener("keydown", function (ev) {
    if (ev.key === "Escape" && this.value) { ev.preventDefault(); this.value = ""; drawList(); }
  });
  if (narrowScreen.addEventListener) narrowScreen.addEventListener("change", redrawMapSoon);

  var first = chainInAddress();
  if (first !== null) open(first, "none");
  else refreshList();
  schedulePoll();
