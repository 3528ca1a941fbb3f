  // ---- live updates ----

  function schedulePoll() {
    window.clearTimeout(pollTimer);
    pollTimer = 0;
    if (document.visibilityState === "hidden") return;
    pollTimer = window.setTimeout(poll, POLL_MS);
  }

  function poll() {
    pollTimer = 0;
    if (document.visibilityState === "hidden" || pollBusy) return;
    pollBusy = true;
    refreshList().then(function () {
      pollBusy = false;
      refreshTimes();
      schedulePoll();
    });
  }

  document.addEventListener("visibilitychange", function () {
    if (document.visibilityState === "hidden") {
      window.clearTimeout(pollTimer);
      pollTimer = 0;
    } else if (!pollTimer && !pollBusy) {
      poll();
    }
  });

  // Asks for the open chain again when the list says it has changed since
  // the answer on screen.
  function checkOpenChain(d) {
    if (cur === null || view.id !== cur || !view.stamp || !Array.isArray(d.chains)) return;
    for (var i = 0; i < d.chains.length; i++) {
      var c = d.chains[i];
      if (!c || c.id !== cur) continue;
      if (c.updated_at !== view.stamp.updated_at || c.thoughts !== view.stamp.count) loadChain(cur, "update");
      return;
    }
  }

  function refreshTimes() {
    var now = serverNow();
    if (view.data) $("dLive").hidden = !isLive(view.data.updated_at, now);
    view.items.forEach(function (it) {
      if (!it.time) return;
      var text = ago(it.at, now);
      if (it.time.textContent !== text) it.time.textContent = text;
    });
    drawList();
  }
