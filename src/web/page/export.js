  // ---- taking a chain away ----

  function fileName(id, ext) { return (str(id).replace(/[^A-Za-z0-9_-]/g, "_") || "chain") + ext; }

  function utc(ts) {
    if (typeof ts !== "number" || !isFinite(ts) || ts <= 0) return "";
    try { return new Date(ts * 1000).toISOString().replace("T", " ").replace(/\.\d+Z$/, " UTC"); } catch (e) { return ""; }
  }

  // Ids go into code spans fenced by more backticks than they hold, so a
  // Markdown reader shows them literally.
  function codeSpan(text) {
    var longest = 0;
    var runs = text.match(/`+/g) || [];
    runs.forEach(function (r) { longest = Math.max(longest, r.length); });
    var fence = new Array(longest + 2).join("`");
    var pad = /^`|`$/.test(text) || !text ? " " : "";
    return fence + pad + text + pad + fence;
  }

  function chainMarkdown(d) {
    var thoughts = Array.isArray(d.thoughts) ? d.thoughts : [];
    var out = ["# Thought chain " + codeSpan(str(d.id)), ""];
    var facts = [];
    if (utc(d.started_at)) facts.push("Started " + utc(d.started_at));
    if (utc(d.updated_at)) facts.push("updated " + utc(d.updated_at));
    facts.push(thoughts.length + (thoughts.length === 1 ? " thought" : " thoughts"));
    var branches = Array.isArray(d.branches) ? d.branches : [];
    if (branches.length) facts.push("branches: " + branches.map(function (b) { return codeSpan(str(b)); }).join(", "));
    out.push(facts.join(", ") + ".", "");
    thoughts.forEach(function (t) {
      t = t && typeof t === "object" ? t : {};
      var marks = [];
      if (t.is_revision === true) marks.push(t.revises ? "revision of #" + str(t.revises) : "revision");
      if (t.branch_from) marks.push("branch from #" + str(t.branch_from));
      if (t.branch_id !== undefined && t.branch_id !== null) marks.push("branch " + codeSpan(str(t.branch_id)));
      if (!t.next_needed) marks.push("final");
      if (t.needs_more === true) marks.push("needs more thoughts");
      out.push("## Thought " + str(t.thought_number) + " of " + str(t.total_thoughts) + (marks.length ? " (" + marks.join(", ") + ")" : ""), "");
      if (utc(t.at)) out.push("Recorded " + utc(t.at), "");
      out.push(str(t.thought), "");
    });
    return out.join("\n");
  }

  function saveFile(name, text, type) {
    var url = URL.createObjectURL(new Blob([text], { type: type }));
    var a = el("a");
    a.href = url;
    a.download = name;
    a.hidden = true;
    document.body.appendChild(a);
    a.click();
    a.remove();
    window.setTimeout(function () { URL.revokeObjectURL(url); }, 30000);
  }

  // The Clipboard API needs a secure context and may be refused inside a
  // frame; the older copy command covers those cases.
  function copyText(text, button, done) {
    function legacy() {
      var ta = el("textarea");
      ta.value = text;
      ta.setAttribute("readonly", "");
      ta.style.position = "fixed";
      ta.style.opacity = "0";
      ta.style.top = "0";
      document.body.appendChild(ta);
      ta.select();
      var ok = false;
      try { ok = document.execCommand("copy"); } catch (e) { ok = false; }
      ta.remove();
      if (button) button.focus({ preventScroll: true });
      return ok;
    }
    function report(ok) {
      announce(ok ? done : "Copying failed");
      if (!button) return;
      var label = button.vLabel || button.textContent;
      button.vLabel = label;
      button.textContent = ok ? "Copied" : "Copy failed";
      window.setTimeout(function () { button.textContent = label; }, 1500);
    }
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(function () { report(true); }, function () { report(legacy()); });
    } else {
      report(legacy());
    }
  }

  $("copyMdBtn").addEventListener("click", function () {
    if (view.data) copyText(chainMarkdown(view.data), this, "Chain copied as Markdown");
  });
  $("dlMdBtn").addEventListener("click", function () {
    if (view.data) saveFile(fileName(view.id, ".md"), chainMarkdown(view.data), "text/markdown;charset=utf-8");
  });
  $("dlJsonBtn").addEventListener("click", function () {
    if (view.data) saveFile(fileName(view.id, ".json"), view.text, "application/json;charset=utf-8");
  });
