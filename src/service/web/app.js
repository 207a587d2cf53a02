// The web remote: every unit with its state, the ways' mute and gain, the Main level, preset
// recall and a section's response curve. Changes from other clients arrive through the event
// stream and are shown at once. Everything shown is built as DOM text, never as HTML.
"use strict";

const WAYS = ["High", "Mid", "Low"];
const SECTIONS = ["High", "Mid", "Low", "Main"];
const units = new Map(); // "line/id" -> {unit, parameters: Map("Section/Parameter" -> value), view}
let token = sessionStorage.getItem("quellatond-token") || "";
let presetNames = []; // {preset, name}, as the service names them

function key(line, id) { return line + "/" + id; }

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (name === "text") node.textContent = value;
    else if (value === true) node.setAttribute(name, "");
    else if (value !== false && value !== null && value !== undefined) node.setAttribute(name, value);
  }
  for (const child of children) node.append(child);
  return node;
}

function setConnection(text) { document.getElementById("connection").textContent = text; }

async function api(method, path, body) {
  const headers = { "Content-Type": "application/json" };
  if (token) headers.Authorization = "Bearer " + token;
  const reply = await fetch(path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body) });
  if (reply.status === 401) {
    document.getElementById("token-form").hidden = false;
    throw new Error("a valid access token is needed");
  }
  const json = await reply.json().catch(() => ({}));
  if (!reply.ok) throw new Error(json.error || reply.statusText);
  return json;
}

function number(text) { const n = parseFloat(text); return Number.isFinite(n) ? n : 0; }

// ---- one unit's card ----

function buildUnit(entry) {
  const u = entry.unit;
  const id = "u" + u.line + "-" + u.id;
  const title = u.label ? u.label + " (ID " + u.id + ")" : "ID " + u.id;
  const view = {};
  view.card = el("section", { class: "unit", id, "aria-labelledby": id + "-title" });
  view.title = el("h2", { id: id + "-title", text: title });
  view.state = el("span", { id: id + "-state" });
  view.temperature = el("span", { id: id + "-temperature" });
  view.attenuation = el("span", { id: id + "-attenuation" });
  view.preset = el("span", { id: id + "-preset" });
  const status = el("p", { class: "status" }, el("span", { text: u.port }), view.state,
    view.temperature, view.attenuation, view.preset);

  view.controls = el("fieldset", {}, el("legend", { text: "Ways" }));
  view.ways = {};
  for (const way of WAYS) {
    const w = {};
    const gainId = id + "-gain-" + way.toLowerCase();
    const muteId = id + "-mute-" + way.toLowerCase();
    w.mute = el("input", { type: "checkbox", id: muteId });
    w.gain = el("input", { type: "range", id: gainId, min: -20, max: way === "Low" ? 0 : 5, step: 0.1,
      "aria-label": way + " gain" });
    w.value = el("output", { class: "value", for: gainId, id: gainId + "-value" });
    w.mute.addEventListener("change", () =>
      change(entry, way, "Mute", w.mute.checked));
    w.gain.addEventListener("input", () => { w.value.textContent = Number(w.gain.value).toFixed(1) + " dB"; });
    w.gain.addEventListener("change", () => change(entry, way, "Gain", Number(w.gain.value)));
    const row = el("div", { class: "way" },
      el("span", { class: "name", text: way, "aria-hidden": "true" }),
      el("label", { class: "mute", for: muteId }, w.mute, el("span", { text: "Mute" })),
      w.gain, w.value);
    w.mute.setAttribute("aria-label", way + " mute");
    view.controls.append(row);
    view.ways[way] = w;
  }
  const levelId = id + "-level";
  view.level = el("input", { type: "range", id: levelId, min: -60, max: 0, step: 0.2, "aria-label": "Main level" });
  view.levelValue = el("output", { class: "value", for: levelId, id: levelId + "-value" });
  view.level.addEventListener("input", () => { view.levelValue.textContent = Number(view.level.value).toFixed(1) + " dB"; });
  view.level.addEventListener("change", () => change(entry, "Main", "Level", Number(view.level.value)));
  view.controls.append(el("div", { class: "way" }, el("span", { class: "name", text: "Main" }),
    el("label", { for: levelId, text: "Level" }), view.level, view.levelValue));

  const presetId = id + "-recall-preset";
  view.recallPreset = el("select", { id: presetId });
  for (const p of presetNames) view.recallPreset.append(el("option", { value: p.preset, text: p.name }));
  view.recallButton = el("button", { type: "button", id: id + "-recall" , text: "Recall" });
  view.recallButton.addEventListener("click", async () => {
    try {
      await api("POST", "/api/units/" + u.line + "/" + u.id + "/recall", { preset: Number(view.recallPreset.value) });
      setConnection("Recalling preset " + view.recallPreset.value + " on " + title + "…");
    } catch (e) { setConnection("Recall failed: " + e.message); }
  });
  view.recall = el("fieldset", {}, el("legend", { text: "Preset" }),
    el("div", { class: "recall" }, el("label", { for: presetId, text: "Preset to recall" }), view.recallPreset, view.recallButton));

  const sectionId = id + "-curve-section";
  view.curveSection = el("select", { id: sectionId });
  for (const s of SECTIONS) view.curveSection.append(el("option", { value: s.toLowerCase(), text: s }));
  view.curveSection.addEventListener("change", () => refreshCurve(entry));
  view.curve = el("div", { class: "curve" });
  view.curveFieldset = el("fieldset", {}, el("legend", { text: "Response" }),
    el("div", { class: "curve-head" }, el("label", { for: sectionId, text: "Section" }), view.curveSection), view.curve);

  view.card.append(view.title, status, view.controls, view.recall, view.curveFieldset);
  entry.view = view;
  document.getElementById("units").append(view.card);
}

function showUnit(entry) {
  const u = entry.unit;
  const v = entry.view;
  v.state.textContent = u.online ? "online" : "offline";
  v.state.className = u.online ? "online" : "offline";
  v.temperature.textContent = u.temperatureText ? "Temperature " + u.temperatureText : "Temperature –";
  v.attenuation.textContent = u.attenuation !== null && u.attenuation !== undefined ? "Attenuation " + u.attenuation + " dB" : "Attenuation –";
  v.preset.textContent = u.presetName ? "Preset " + u.presetName : "";
  const usable = !!u.available;
  v.controls.disabled = !usable;
  v.recall.disabled = !usable;
  v.curveFieldset.disabled = !usable;
}

function showParameters(entry) {
  const p = entry.parameters;
  const v = entry.view;
  for (const way of WAYS) {
    const w = v.ways[way];
    if (p.has(way + "/Mute")) w.mute.checked = p.get(way + "/Mute") === "on";
    if (p.has(way + "/Gain") && document.activeElement !== w.gain) {
      w.gain.value = number(p.get(way + "/Gain"));
      w.value.textContent = p.get(way + "/Gain");
    }
  }
  if (p.has("Main/Level") && document.activeElement !== v.level) {
    const level = p.get("Main/Level");
    v.level.value = level === "Mute" ? -60 : number(level);
    v.levelValue.textContent = level;
  }
}

function takeRows(entry, rows) {
  for (const row of rows || []) entry.parameters.set(row.section + "/" + row.parameter, row.value);
}

async function change(entry, section, parameter, value) {
  const u = entry.unit;
  try {
    const reply = await api("PATCH", "/api/units/" + u.line + "/" + u.id, { section, parameter, value });
    takeRows(entry, reply.changes);
    showParameters(entry);
    refreshCurve(entry);
  } catch (e) {
    setConnection(section + " " + parameter + " not changed: " + e.message);
  }
}

// ---- the response curve ----

const CURVE = { width: 480, height: 180, left: 30, right: 6, top: 6, bottom: 18, min: -30, max: 15 };
function curveX(hz) { return CURVE.left + (Math.log10(hz / 20) / 3) * (CURVE.width - CURVE.left - CURVE.right); }
function curveY(db) {
  const d = Math.min(CURVE.max, Math.max(CURVE.min, db));
  return CURVE.top + ((CURVE.max - d) / (CURVE.max - CURVE.min)) * (CURVE.height - CURVE.top - CURVE.bottom);
}

function svg(tag, attributes) {
  const node = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  return node;
}

function drawCurve(entry, reply) {
  const chart = svg("svg", { viewBox: "0 0 " + CURVE.width + " " + CURVE.height, role: "img" });
  const levels = reply.points.filter((p) => p.level !== null);
  const at1k = levels.reduce((best, p) => Math.abs(p.frequency - 1000) < Math.abs(best.frequency - 1000) ? p : best, levels[0] || { level: 0, frequency: 1000 });
  chart.setAttribute("aria-label", reply.section + " response, 20 Hz to 20 kHz; " + at1k.level.toFixed(1) + " dB at 1 kHz");
  for (const hz of [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000]) {
    chart.append(svg("line", { class: "grid", x1: curveX(hz), x2: curveX(hz), y1: CURVE.top, y2: CURVE.height - CURVE.bottom }));
    const label = svg("text", { x: curveX(hz), y: CURVE.height - 5,
      "text-anchor": hz === 20 ? "start" : hz === 20000 ? "end" : "middle" });
    label.textContent = hz >= 1000 ? hz / 1000 + "k" : String(hz);
    chart.append(label);
  }
  for (let db = CURVE.min; db <= CURVE.max; db += 15) {
    chart.append(svg("line", { class: db === 0 ? "zero" : "grid", x1: CURVE.left, x2: CURVE.width - CURVE.right, y1: curveY(db), y2: curveY(db) }));
    const label = svg("text", { x: 2, y: curveY(db) + 3 });
    label.textContent = String(db);
    chart.append(label);
  }
  const points = levels.map((p) => curveX(p.frequency).toFixed(1) + "," + curveY(p.level).toFixed(1)).join(" ");
  chart.append(svg("polyline", { class: "trace", points }));
  entry.view.curve.replaceChildren(chart);
}

async function refreshCurve(entry) {
  const u = entry.unit;
  if (!u.available) return;
  if (entry.curvePending) { entry.curveAgain = true; return; }
  entry.curvePending = true;
  try {
    const section = entry.view.curveSection.value;
    drawCurve(entry, await api("GET", "/api/units/" + u.line + "/" + u.id + "/response?section=" + section));
  } catch (e) {
    /* the state line says what went wrong with the unit */
  }
  entry.curvePending = false;
  if (entry.curveAgain) { entry.curveAgain = false; refreshCurve(entry); }
}

// ---- the event stream ----

function entryFor(unit) {
  const k = key(unit.line, unit.id);
  let entry = units.get(k);
  if (!entry) {
    entry = { unit, parameters: new Map() };
    units.set(k, entry);
    buildUnit(entry);
  }
  return entry;
}

function handle(message) {
  if (message.type === "snapshot") {
    presetNames = message.presets || [];
    for (const unit of message.units) {
      const entry = entryFor(unit);
      entry.unit = unit;
      takeRows(entry, unit.parameters);
      showUnit(entry);
      showParameters(entry);
      refreshCurve(entry);
    }
    return;
  }
  if (message.type === "unit") {
    const entry = entryFor(message.unit);
    const wasAvailable = entry.unit.available;
    entry.unit = message.unit;
    showUnit(entry);
    if (!wasAvailable && entry.unit.available) refreshCurve(entry);
    return;
  }
  const entry = units.get(key(message.line, message.id));
  if (!entry) return;
  if (message.type === "parameters" || message.type === "recall") {
    takeRows(entry, message.changes);
    takeRows(entry, message.parameters);
    showParameters(entry);
    refreshCurve(entry);
    if (message.type === "recall") setConnection("Preset " + message.preset + " recalled");
  }
}

function connect() {
  const url = new URL("/api/events", location.href);
  url.protocol = location.protocol === "https:" ? "wss:" : "ws:";
  if (token) url.searchParams.set("token", token);
  const socket = new WebSocket(url);
  socket.addEventListener("open", () => setConnection("Live"));
  socket.addEventListener("message", (event) => {
    try { handle(JSON.parse(event.data)); } catch (e) { /* a message this page does not know */ }
  });
  socket.addEventListener("close", () => {
    setConnection("Connection lost; trying again…");
    setTimeout(connect, 2000);
  });
}

document.getElementById("token-form").addEventListener("submit", (event) => {
  event.preventDefault();
  token = document.getElementById("token").value.trim();
  sessionStorage.setItem("quellatond-token", token);
  document.getElementById("token-form").hidden = true;
  start();
});

async function start() {
  try {
    await api("GET", "/api/units");
    connect();
  } catch (e) {
    setConnection(e.message);
  }
}

start();
