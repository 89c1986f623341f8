// The controls, the live stream of readings, and the page's start.
let lastWire;
function take(event) {
  latest = JSON.parse(event.data);
  lastEventAt = performance.now();
  beat = !beat;
  $("beat").classList.toggle("odd", beat);
  const last = trend.at(-1);
  if (last && Date.parse(latest.utc) - last.t > 3000)
    refetch = true;  // back after a lost connection: what was missed comes from the history
  addToTrend(latest);
  addTension(latest);
  const wire = JSON.stringify(latest.wire);
  if (wire !== lastWire && lastWire !== undefined)
    refetch = true;  // a wire book entry: the drum reserve's and the safe working load's lines with it
  lastWire = wire;
  if (refetch)
    loadHistory();
  if (latest.cast === null && listedCasts.some(cast => !cast.end_utc))
    loadCasts();  // a cast has ended
  show();
  drawTrend();
}

let source = null;
function listen() {
  if (source)
    source.close();
  source = new EventSource("events");
  source.onmessage = take;
}

function applyChoices() {
  document.body.classList.toggle("night", night);
  document.body.classList.toggle("no-chart", !chartOn);
  $("unit-button").textContent = unit === "ft" ? "metres" : "feet";
  $("night-button").textContent = night ? "day" : "night";
  $("chart-button").textContent = chartOn ? "hide chart" : "chart";
  for (const button of document.querySelectorAll("#chart-bar [data-range]"))
    button.classList.toggle("chosen", +button.dataset.range === range);
  fitted = "";
  show();
  drawTrend();
}

$("unit-button").addEventListener("click", () => { unit = unit === "ft" ? "m" : "ft"; store("pulley.unit", unit); applyChoices(); });
$("chart-button").addEventListener("click", () => { chartOn = !chartOn; store("pulley.chart", chartOn ? "1" : "0"); applyChoices(); });
for (const button of document.querySelectorAll("#chart-bar [data-range]"))
  button.addEventListener("click", () => {
    range = +button.dataset.range;
    store("pulley.range", String(range));
    applyChoices();
    loadHistory();
  });
$("casts-button").addEventListener("click", () => loadCasts(showCasts));
$("casts-close").addEventListener("click", () => { $("casts").hidden = true; });
new ResizeObserver(() => drawTrend()).observe($("trend"));
$("night-button").addEventListener("click", () => { night = !night; store("pulley.night", night ? "1" : "0"); applyChoices(); });
if (document.documentElement.requestFullscreen)
  $("full-button").addEventListener("click", () => document.fullscreenElement
    ? document.exitFullscreen() : document.documentElement.requestFullscreen());
else
  $("full-button").hidden = true;
// The room for the digits changes with the window, the banner, and the
// height of the lines under them: each change fits them again.
let roomSeen = "";
const refit = new ResizeObserver(() => {
  const main = $("reading").getBoundingClientRect();
  const now = [main.width, main.height, $("last").offsetHeight, $("watch").offsetHeight, $("tension").offsetHeight].join(" ");
  if (now !== roomSeen) {
    roomSeen = now;
    fitted = "";
    show();
  }
});
for (const element of [$("reading"), $("last"), $("watch"), $("tension")])
  refit.observe(element);
$("sound-button").addEventListener("click", () => {
  audio = new (window.AudioContext || window.webkitAudioContext)();
  audio.resume();
  show();
});
$("silence-button").addEventListener("click", () => {
  (latest && latest.alarms || []).forEach(alarm => silenced.add(alarm.id));
  show();
});

store("pulley.chart", chartOn ? "1" : "0");
showMarks();
applyChoices();
loadHistory();
loadCasts();
listen();
// The browser reconnects by itself; should it give up, so that the page
// stays dead after the feed is back, it is asked again.
setInterval(() => {
  show();
  if (source.readyState === EventSource.CLOSED && performance.now() - lastEventAt > STALE_MS)
    listen();
}, 250);
