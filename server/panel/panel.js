// The forecourt panel: draws /api/state, follows /api/events and sends a
// person's actions to /api/action.
"use strict";

// A server open beyond its machine gives its panel's address with
// ?token=...; every request of the page carries it.
const TOKEN = new URLSearchParams(location.search).get("token");
const AUTH = TOKEN ? { Authorization: "Bearer " + TOKEN } : {};

const LETTERS = { 0: "F", 1: "F", 2: "F", 3: "B", 4: "P", 5: "P", 6: "P", 7: "E",
  8: "A", 9: "B", 10: "E", 11: "A", 12: "A", 13: "P", 14: "B", 15: "F" };
const OPERATIONS = ["ClientLogonEx", "ClientLogoff", "TestConnection", "GetPumpsCount",
  "ProcessEvents", "GetEventsCount", "GetNextEventType", "GetNextPumpEventEx2",
  "DiscardNextEvent", "GetDeliveriesCount", "GetDeliveryByOrdinal",
  "GetDeliveryPropertiesEx2", "LockDelivery", "ClearDelivery", "GetHoseByOrdinal",
  "GetHosePropertiesEx2", "SetHosePrices", "Authorise", "TempStop", "ReAuthorise",
  "AllStop", "AllReAuthorise"];

const $ = (selector) => document.querySelector(selector);
const fixed = (n, places) => Number(n).toFixed(places);

function el(tag, attributes, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attributes || {})) {
    if (k.startsWith("on")) e.addEventListener(k.slice(2), v); else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c instanceof Node ? c : String(c));
  return e;
}

async function act(action) {
  $("#message").textContent = "";
  try {
    const r = await fetch("/api/action", { method: "POST", body: JSON.stringify(action),
      headers: { "Content-Type": "application/json", ...AUTH } });
    const answer = await r.json();
    if (!answer.ok) $("#message").textContent = answer.error || "refused";
  } catch (e) {
    $("#message").textContent = "the server does not answer";
  }
}

function hoseRow(pump, hose) {
  const volume = el("input", { type: "number", step: "0.01", min: "0.01", value: "10",
    "aria-label": "litres", "data-hose": hose.id });
  const amount = el("input", { type: "number", step: "0.01", min: "0.01", placeholder: "amount",
    "aria-label": "amount" });
  const price = el("input", { type: "number", step: "0.001", value: fixed(hose.price, 3),
    "aria-label": "price" });
  const lifted = pump.hose === hose.id;
  return el("div", { class: "hose", id: "hose-" + hose.id },
    el("span", { class: lifted ? "lifted" : "" }, `Hose ${hose.id} · ${hose.grade || "no grade"}`),
    el("span", {}, fixed(hose.price, 3)),
    el("small", {}, `nozzle ${hose.number}, ordinal ${hose.ordinal}`),
    el("small", { class: "totalizer" }, "totalizer " + fixed(hose.totalizer, 3)),
    el("div", { class: "buttons" },
      el("button", { class: "lift", onclick: () => act({ action: "lift", hose: hose.id }) }, "Lift"),
      volume, el("button", { class: "run", onclick: () => act({ action: "run", hose: hose.id,
        volume: Number(volume.value) }) }, "Run litres"),
      amount, el("button", { onclick: () => act({ action: "run", hose: hose.id,
        amount: Number(amount.value) }) }, "Run amount"),
      price, el("button", { onclick: () => act({ action: "price", hose: hose.id,
        price: Number(price.value) }) }, "Set price")));
}

function drawPumps(state) {
  const box = $("#pumps");
  // Keep what a person is typing: redraw a pump only when it changed.
  for (const pump of state.pumps) {
    const key = JSON.stringify(pump);
    let card = document.getElementById("pump-" + pump.number);
    if (card && card.dataset.key === key) continue;
    const typing = document.activeElement && document.activeElement.tagName === "INPUT";
    if (card && typing && card.contains(document.activeElement)) continue;
    const letter = LETTERS[pump.state] || "F";
    const next = el("article", { class: "pump " + letter, id: "pump-" + pump.number },
      el("h3", {}, `${pump.name || "Pump " + pump.number}`,
        el("span", { class: "state" }, `${letter} · ${pump.stateName}`)),
      el("div", { class: "running" },
        `${fixed(pump.volume, 3)} L  ${fixed(pump.value, 2)}`),
      el("div", { class: "buttons" },
        el("button", { onclick: () => act({ action: "hangup", pump: pump.number }) }, "Hang up"),
        el("button", { onclick: () => act({ action: "stop", pump: pump.number }) }, "Stop"),
        el("button", { onclick: () => act({ action: "resume", pump: pump.number }) }, "Resume")),
      ...pump.hoses.map((h) => hoseRow(pump, h)));
    next.dataset.key = key;
    if (card) card.replaceWith(next); else box.append(next);
  }
}

function rows(selector, items, cells) {
  const body = $(selector + " tbody");
  body.replaceChildren(...items.map((item) => el("tr", { id: selector.slice(1) + "-" + item.id },
    ...cells(item).map(([text, cls]) => el("td", cls ? { class: cls } : {}, text)))));
}

function draw(state) {
  drawPumps(state);
  rows("#waiting", state.waiting, (d) => [[d.id], [d.hose], [fixed(d.volume, 3), "num"],
    [fixed(d.price, 3), "num"], [fixed(d.amount, 2), "num"],
    [d.lockedBy === -1 ? "free" : "client " + d.lockedBy]]);
  rows("#cleared", state.cleared, (d) => [[d.id], [d.hose], [fixed(d.volume, 3), "num"],
    [fixed(d.amount, 2), "num"]]);
  $("#clearedCount").textContent = `(${state.clearedCount})`;
  const body = $("#clients tbody");
  body.replaceChildren(...state.clients.map((c) => el("tr", {},
    el("td", {}, c.id), el("td", {}, c.peer), el("td", {}, c.clientId),
    el("td", {}, c.loggedOn ? (c.linkUp ? "logged on" : "link down") : "not logged on"),
    el("td", { class: "num" }, c.calls),
    el("td", {}, el("button", { onclick: () => act({ action: "drop", client: c.id }) }, "Drop link")))));
  const cut = $("#cut");
  cut.replaceChildren(...state.cut.map((id) => el("button", {
    onclick: () => act({ action: "restore", clientId: id }) }, `Restore client id ${id}`)));
  $("#clock").textContent = `clock ${fixed(state.clock, 1)} s · ports ${state.ports.call}/${state.ports.events}`;
}

function addLog(line) {
  const log = $("#log");
  log.append(el("li", {}, line.text));
  while (log.children.length > 200) log.firstChild.remove();
  log.scrollTop = log.scrollHeight;
}

function follow() {
  const link = $("#link");
  const source = new EventSource("/api/events" +
    (TOKEN ? "?token=" + encodeURIComponent(TOKEN) : ""));
  source.addEventListener("state", (e) => draw(JSON.parse(e.data)));
  source.addEventListener("log", (e) => addLog(JSON.parse(e.data)));
  source.onopen = () => { link.textContent = "live"; link.className = "badge up"; };
  source.onerror = () => { link.textContent = "reconnecting…"; link.className = "badge down"; };
}

$("#fail select").append(...OPERATIONS.map((op) => el("option", { value: op }, op)));
$("#fail").addEventListener("submit", (e) => {
  e.preventDefault();
  const form = new FormData(e.target);
  act({ action: "fail", op: form.get("op"), code: Number(form.get("code")) });
});
fetch("/api/state", { headers: AUTH }).then((r) => r.json()).then(draw).finally(follow);
