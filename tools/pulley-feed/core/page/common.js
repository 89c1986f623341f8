"use strict";
// What every part of the page uses: the feed's words, the page's own
// storage, the unit and the palette chosen, lengths and times in text.
// The count as the feed sends it, a reading at least every second. The
// page judges staleness by its own clock since the last event, not by the
// reading's time: a tablet's clock may be far off.
const STALE_MS = 3000, BLANK_MS = 10000;
const WORDS = {
  "valid": "live", "not-connected": "not connected", "lost-link": "link lost",
  "no-display": "no display", "test-value": "test value", "no-reading": "waiting for the first reading",
  "no-data": "no relay lines", "no-port": "serial port lost"
};
const $ = id => document.getElementById(id);
const params = new URLSearchParams(location.search);
const stored = (key, fallback) => { try { return localStorage.getItem(key) ?? fallback; } catch (e) { return fallback; } };
const store = (key, value) => { try { localStorage.setItem(key, value); } catch (e) { } };
// Text written only when it changes: the page is shown again four times a
// second, and each write would cost the browser a layout.
const write = (id, text) => { if ($(id).textContent !== String(text)) $(id).textContent = text; };

let unit = params.get("unit") === "ft" || params.get("unit") === "m" ? params.get("unit") : stored("pulley.unit", "m");
const darkSystem = window.matchMedia && matchMedia("(prefers-color-scheme: dark)").matches;
let night = params.has("night") ? params.get("night") === "1" : stored("pulley.night", darkSystem ? "1" : "0") === "1";
store("pulley.unit", unit);
store("pulley.night", night ? "1" : "0");

// Lengths and rates in the screen's unit, feet as the display has them (its
// factor, put here by the build); the JSON keeps metres.
const FEET_PER_METRE = @FEET_PER_METRE@;
const inUnit = metres => unit === "ft" ? Math.trunc(metres * FEET_PER_METRE) : metres;
const rateInUnit = perMinute => unit === "ft" ? perMinute * FEET_PER_METRE : perMinute;
const lengthUnit = () => unit === "ft" ? "ft" : "m";
const lengthText = metres => inUnit(metres) + " " + lengthUnit();
const rateUnit = () => lengthUnit() + "/min";

// A duration as hh:mm:ss; a UTC time of day as hh:mm or hh:mm:ss.
function clock(ms) {
  const s = Math.max(0, Math.floor(ms / 1000));
  return [s / 3600, s / 60 % 60, s % 60].map(n => String(Math.floor(n)).padStart(2, "0")).join(":");
}
const utcClock = (ms, seconds) => new Date(ms).toISOString().slice(11, seconds ? 19 : 16);
