#include "shop/ShopPage.h"

#include <string_view>

namespace {

// Everything the browser needs is here: nothing is fetched from elsewhere, and every value
// that comes from a machine or a file is set as text, never as markup.
constexpr std::string_view kPageHead = R"PAGE(<!DOCTYPE html>
<html lang=")PAGE";

constexpr std::string_view kPageBody = R"PAGE(">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Hoopwatch</title>
<style>
:root { color-scheme: light; --ink: #1d2330; --muted: #667085; --line: #d9dee7; --card: #fff;
        --bg: #f2f4f7; --work: #1a7f37; --stand: #9a6700; --off: #b42318; --wait: #667085; }
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.4 system-ui, "Noto Sans CJK SC", "Microsoft YaHei", sans-serif;
       color: var(--ink); background: var(--bg); }
header { position: sticky; top: 0; z-index: 1; display: flex; flex-wrap: wrap; gap: 8px 16px;
         align-items: center; padding: 10px 16px; background: #24324a; color: #fff; }
header h1 { font-size: 18px; margin: 0; flex: 1 1 auto; }
#conn { font-size: 13px; padding: 2px 8px; border-radius: 10px; background: #b42318; }
#conn.live { background: #1a7f37; }
.lang button { font: inherit; font-size: 13px; border: 1px solid #8ea0c0; background: transparent;
               color: #fff; padding: 2px 10px; border-radius: 4px; cursor: pointer; }
.lang button[aria-pressed="true"] { background: #fff; color: #24324a; }
#summary { padding: 8px 16px; color: var(--muted); font-size: 14px; display: flex;
           flex-wrap: wrap; gap: 4px 18px; }
#summary b { color: var(--ink); }
main { display: grid; grid-template-columns: repeat(auto-fill, minmax(280px, 1fr)); gap: 12px;
       padding: 0 16px 16px; }
.machine { background: var(--card); border: 1px solid var(--line); border-radius: 8px;
           padding: 10px 12px; display: grid; grid-template-columns: 1fr auto; gap: 4px 8px; }
.machine .name { font-weight: 600; overflow-wrap: anywhere; }
.machine .address { color: var(--muted); font-size: 13px; grid-column: 1 / -1; margin-top: -4px; }
.machine .state { font-size: 13px; font-weight: 600; padding: 1px 8px; border-radius: 10px;
                  color: #fff; background: var(--wait); align-self: start; white-space: nowrap; }
.machine[data-state="working"] .state { background: var(--work); }
.machine[data-state="standing"] .state { background: var(--stand); }
.machine[data-state="finished"] .state { background: #0b5cad; }
.machine[data-state="offline"] .state { background: var(--off); }
.machine[data-state="offline"] { opacity: .75; }
.machine .picture { grid-column: 1 / -1; display: flex; justify-content: center;
                    align-items: center; height: 180px; background: #fafbfc;
                    border: 1px solid var(--line); border-radius: 4px; overflow: hidden; }
.machine .picture img { max-width: 100%; max-height: 100%; }
.machine .picture span { color: var(--muted); font-size: 13px; }
.machine .design { grid-column: 1 / -1; overflow-wrap: anywhere; font-size: 14px; }
.bar { grid-column: 1 / -1; height: 10px; background: #e4e7ec; border-radius: 5px;
       overflow: hidden; }
.bar span { display: block; height: 100%; width: 0; background: var(--work);
            transition: width .4s; }
.figures { grid-column: 1 / -1; display: flex; justify-content: space-between; gap: 8px;
           font-size: 14px; color: var(--muted); }
.figures span { white-space: nowrap; }
.figures .pct { color: var(--ink); font-weight: 600; }
#events { margin: 0 16px 16px; padding: 0; list-style: none; font-size: 13px;
          color: var(--muted); }
#events li { padding: 2px 0; }
#empty { padding: 16px; color: var(--muted); }
@media (max-width: 480px) {
  header h1 { font-size: 16px; }
  main { grid-template-columns: 1fr; padding: 0 8px 8px; gap: 8px; }
  #summary { padding: 6px 8px; }
}
</style>
</head>
<body>
<header>
<h1 id="title">Hoopwatch</h1>
<span id="conn"></span>
<span class="lang"><button id="lang-zh" type="button">中文</button>
<button id="lang-en" type="button">English</button></span>
</header>
<div id="summary"><span id="counts"></span><span id="production"></span></div>
<p id="empty" hidden></p>
<main id="machines"></main>
<ul id="events"></ul>
<script>
"use strict";
const TEXTS = {
  zh: { title: "Hoopwatch 车间", live: "实时", reconnecting: "重新连接中…",
        waiting: "等待应答", offline: "离线", working: "绣作中", standing: "停止",
        finished: "完成", noDesign: "未从本机发送花样", noDrawing: "无图样",
        stitch: "针数", left: "剩余时间", speed: "针/分",
        minutes: "约剩%d分钟", hours: "约剩%d小时%d分钟",
        counts: "机器 %d 台：绣作中 %w，离线 %o", empty: "机器表中没有机器。",
        production: "今日产量", pieces: "完成件数", stitchesSewn: "已绣针数",
        utilisation: "利用率", started: "%s 开始绣作", stopped: "%s 停止",
        finishedEvent: "机器%s花样绣作完成", offlineEvent: "%s 离线",
        offlineWhileSewing: "机器%s在绣作中离线!", back: "%s 重新在线" },
  en: { title: "Hoopwatch shop floor", live: "live", reconnecting: "reconnecting…",
        waiting: "Waiting", offline: "Offline", working: "Working", standing: "Standing",
        finished: "Finished", noDesign: "No design sent from this PC", noDrawing: "No drawing",
        stitch: "Stitch", left: "Time left", speed: "/min",
        minutes: "about %d min left", hours: "about %d h %d min left",
        counts: "%d machines: %w working, %o offline", empty: "The machine table holds no machine.",
        production: "Today", pieces: "pieces", stitchesSewn: "stitches",
        utilisation: "utilisation", started: "%s started", stopped: "%s stopped",
        finishedEvent: "%s finished its design", offlineEvent: "%s went offline",
        offlineWhileSewing: "%s went offline while sewing!", back: "%s is back online" }
};
const params = new URLSearchParams(location.search);
const token = params.get("token");
const withToken = (path, extra) => {
  const q = new URLSearchParams(extra || {});
  if (token) q.set("token", token);
  const s = q.toString();
  return s ? path + "?" + s : path;
};
let lang = localStorage.getItem("hoopwatch-lang") || document.documentElement.lang ||
           (navigator.language || "en").slice(0, 2);
if (!TEXTS[lang]) lang = "en";
const machines = new Map();   // address -> latest JSON
const cards = new Map();      // address -> card elements
let production = null;
let connected = false;
const eventLines = [];

const t = key => TEXTS[lang][key];
const fill = (template, ...values) => {
  let i = 0;
  return template.replace(/%[dswo]/g, () => String(values[i++]));
};

function stateOf(m) {
  if (m.online && m.work === null) return "waiting";
  if (!m.online) return m.work === null ? "waiting" : "offline";
  if (m.work !== 0) return "working";
  if (m.percent !== null && m.percent >= 100) return "finished";
  return "standing";
}

function leftText(m) {
  if (m.secondsLeft === null || !m.online) return "";
  const minutes = Math.max(1, Math.ceil(m.secondsLeft / 60));
  if (minutes < 60) return fill(t("minutes"), minutes);
  return fill(t("hours"), Math.floor(minutes / 60), minutes % 60);
}

function element(tag, cls, parent) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (parent) parent.appendChild(e);
  return e;
}

function cardFor(address) {
  let c = cards.get(address);
  if (c) return c;
  const root = element("section", "machine");
  root.dataset.address = address;
  c = { root, name: element("div", "name", root), state: element("div", "state", root),
        address: element("div", "address", root), picture: element("div", "picture", root),
        design: element("div", "design", root), bar: element("div", "bar", root),
        figures: element("div", "figures", root), drawnKey: "", drawnAt: 0 };
  c.barFill = element("span", "", c.bar);
  c.pct = element("span", "pct", c.figures);
  c.stitch = element("span", "stitch", c.figures);
  c.left = element("span", "left", c.figures);
  c.img = element("img", "drawing");
  c.img.alt = "";
  c.img.onerror = () => { c.img.remove(); c.drawnKey = ""; showNoDrawing(c); };
  c.img.onload = () => { if (!c.img.parentNode) { c.picture.textContent = ""; c.picture.appendChild(c.img); } };
  cards.set(address, c);
  document.getElementById("machines").appendChild(root);
  return c;
}

function showNoDrawing(c) {
  const m = machines.get(c.root.dataset.address);
  c.picture.textContent = "";
  element("span", "", c.picture).textContent = m && m.design ? t("noDrawing") : t("noDesign");
}

function render(m) {
  const c = cardFor(m.address);
  const state = stateOf(m);
  c.root.dataset.state = state;
  c.name.textContent = m.name || m.address;
  c.address.textContent = m.name ? m.address : "";
  c.state.textContent = t(state);
  c.design.textContent = m.design ? m.design.name : t("noDesign");
  const pct = m.percent === null ? 0 : Math.min(100, m.percent);
  c.barFill.style.width = pct + "%";
  c.pct.textContent = m.percent === null ? "–" : m.percent.toFixed(1) + " %";
  c.stitch.textContent = m.stitch === null ? "" :
      t("stitch") + " " + m.stitch + (m.design && m.percent !== null ? " / " + m.design.stitches : "");
  c.left.textContent = leftText(m);
  if (!m.design) {
    c.drawnKey = "";
    c.img.remove();
    showNoDrawing(c);
    return;
  }
  // The picture changes slowly: fetched again at most every 2 seconds, and only when the
  // design or the stitch moved.
  const key = m.design.name + "|" + m.design.sentAt + "|" + m.stitch;
  const now = Date.now();
  if (key !== c.drawnKey && now - c.drawnAt >= 2000) {
    c.drawnKey = key;
    c.drawnAt = now;
    c.img.src = withToken("drawing.png", { address: m.address, s: m.design.sentAt + "-" + m.stitch });
    if (!c.img.parentNode && !c.picture.firstChild) showNoDrawing(c);
  } else if (key !== c.drawnKey) {
    clearTimeout(c.later);
    c.later = setTimeout(() => { const latest = machines.get(m.address); if (latest) render(latest); }, 2100);
  }
}

function renderSummary() {
  let working = 0, offline = 0;
  for (const m of machines.values()) {
    const s = stateOf(m);
    if (s === "working") working++;
    if (s === "offline") offline++;
  }
  document.getElementById("counts").textContent = fill(t("counts"), machines.size, working, offline);
  const empty = document.getElementById("empty");
  empty.hidden = machines.size !== 0 || !connected;
  empty.textContent = t("empty");
  const p = document.getElementById("production");
  p.textContent = "";
  if (production && typeof production === "object") {
    const names = { pieces: t("pieces"), stitches: t("stitchesSewn"), utilisation: t("utilisation") };
    const parts = Object.entries(production).filter(([, v]) => v !== null)
      .map(([k, v]) => (names[k] || k) + " " + v + (k === "utilisation" ? " %" : ""));
    p.textContent = t("production") + ": " + parts.join(", ");
  }
}

function renderEvents() {
  const list = document.getElementById("events");
  list.textContent = "";
  for (const e of eventLines.slice(-8).reverse()) {
    const m = machines.get(e.address);
    const who = m && m.name ? m.name : e.address;
    const key = e.kind === "finished" ? "finishedEvent" :
                e.kind === "offline" ? (e.whileWorking ? "offlineWhileSewing" : "offlineEvent") : e.kind;
    const li = element("li", "", list);
    li.textContent = e.time + "  " + fill(t(key) || e.kind, who);
  }
}

function applyLanguage() {
  document.documentElement.lang = lang;
  document.title = t("title");
  document.getElementById("title").textContent = t("title");
  document.getElementById("lang-zh").setAttribute("aria-pressed", lang === "zh");
  document.getElementById("lang-en").setAttribute("aria-pressed", lang === "en");
  const conn = document.getElementById("conn");
  conn.textContent = connected ? t("live") : t("reconnecting");
  conn.className = connected ? "live" : "";
  for (const m of machines.values()) render(m);
  renderSummary();
  renderEvents();
}

for (const code of ["zh", "en"]) {
  document.getElementById("lang-" + code).addEventListener("click", () => {
    lang = code;
    localStorage.setItem("hoopwatch-lang", code);
    applyLanguage();
  });
}

function connect() {
  const source = new EventSource(withToken("events"));
  source.onopen = () => { connected = true; applyLanguage(); };
  source.onerror = () => { connected = false; applyLanguage(); };
  source.onmessage = message => {
    let update;
    try { update = JSON.parse(message.data); } catch (e) { return; }
    if (update.reset) {
      for (const c of cards.values()) c.root.remove();
      cards.clear();
      machines.clear();
    }
    for (const m of update.machines || []) {
      if (!m || typeof m.address !== "string") continue;
      machines.set(m.address, m);
      render(m);
    }
    for (const e of update.events || []) {
      e.time = new Date().toLocaleTimeString();
      eventLines.push(e);
    }
    if (eventLines.length > 50) eventLines.splice(0, eventLines.length - 50);
    if ("production" in update) production = update.production;
    renderSummary();
    renderEvents();
  };
}

applyLanguage();
connect();
</script>
</body>
</html>
)PAGE";

} // namespace

std::string shopPage(const std::string& language)
{
    std::string page(kPageHead);
    page += language == "zh" ? "zh" : "en";
    page += kPageBody;
    return page;
}
