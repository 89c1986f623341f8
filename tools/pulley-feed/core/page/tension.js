// Tension beside the count: the load cell's newest good line in its own
// unit, dashes and "no tension" from a silent source; its trend under the
// count's, with the safe working load and the warning dashed; and a cast's
// profile of tension against wire out.
let tensionTrend = [];  // {t, v}: each second's most tension
// A source silent this long shows no tension: judged here from the newest
// reading's time and the page's own clock since it came, not at the next
// reading only.
const TENSION_SILENT_MS = @TENSION_SILENT_MS@;

const tensionText = (value, unit) => unit === "kN" ? value.toFixed(2) : String(Math.round(value));

function showTension(blank) {
  const tension = latest && latest.tension;
  $("tension").hidden = !tension;
  if (!tension)
    return;
  const age = tension.utc === null ? Infinity
    : Date.parse(latest.utc) - Date.parse(tension.utc) + (performance.now() - lastEventAt);
  const live = !blank && tension.valid && age < TENSION_SILENT_MS;
  write("tension-digits", live ? tensionText(tension.value, tension.unit) : "----");
  write("tension-unit", tension.unit);
  write("tension-word", live ? "tension" : "no tension");
  $("tension").classList.toggle("none", !live);
  $("tension").classList.toggle("warning", live && limits.tension_warning > 0 && tension.value >= limits.tension_warning);
  $("tension").classList.toggle("over", live && limits.tension_alarm > 0 && tension.value >= limits.tension_alarm);
}

// The events carry the newest line's tension: each second keeps its most.
function addTension(reading) {
  if (!reading.tension || !reading.tension.valid)
    return;
  const t = Math.floor(Date.parse(reading.utc) / 1000) * 1000, last = tensionTrend.at(-1);
  if (last && last.t === t)
    last.v = Math.max(last.v, reading.tension.value);
  else if (!last || t > last.t)
    tensionTrend.push({t, v: reading.tension.value});
  while (tensionTrend.length && tensionTrend[0].t < t - range * 1000 - 60000)
    tensionTrend.shift();
}

const tensionLimits = () => [limits.tension_warning, limits.tension_alarm].filter(limit => limit > 0);

// The tension's band of the trend, between the count's and the rate's.
function drawTensionBand(g, plot, colour) {
  const {font, left, right, tensionTop: top, tensionBottom: bottom, x} = plot;
  const shown = tensionTrend.filter(point => point.t >= plot.t0), unit = latest && latest.tension ? latest.tension.unit : "";
  const most = Math.max(1, ...shown.map(point => point.v), ...tensionLimits()) * 1.1;
  const y = v => bottom - v / most * (bottom - top);
  g.strokeStyle = colour.grid;
  lineAcross(g, y(0), left, right);
  g.fillStyle = colour.text;
  g.textAlign = "right";
  g.textBaseline = "middle";
  g.fillText(tensionText(most / 1.1, unit), left - font * 0.3, y(most / 1.1));
  g.fillText(unit, left - font * 0.3, y(0) - font * 0.6);
  g.strokeStyle = colour.limit;
  g.setLineDash([6, 4]);
  for (const limit of tensionLimits())
    lineAcross(g, y(limit), left, right);
  g.setLineDash([]);
  g.strokeStyle = colour.tension;
  g.lineWidth = 2;
  trace(g, shown, x, y, point => point.v, Math.max(3000, RANGES[range] * 2500));
}

// A cast's tension against the wire out read nearest in time (within a step).
function drawTensionProfile(history, start, end) {
  const canvas = $("profile-tension"), counts = history.points.filter(([, m]) => m !== null), points = [];
  canvas.hidden = !history.tension;
  if (!history.tension)
    return;
  let at = 0;
  for (const [t, v] of history.tension) {
    if (v === null || t < start || t > end || counts.length === 0)
      continue;
    while (at + 1 < counts.length && Math.abs(counts[at + 1][0] - t) <= Math.abs(counts[at][0] - t))
      at++;
    if (Math.abs(counts[at][0] - t) <= history.step_s * 1000)
      points.push({t, m: counts[at][1], v});
  }
  const unit = latest && latest.tension ? latest.tension.unit : "";
  drawProfile(canvas, points, p => inUnit(p.m), p => p.v, m => Math.round(m) + " " + lengthUnit() + " out", unit,
              Math.max(3000, history.step_s * 2500));
}
