// The trend: filled from /history.json when the page opens (and again after
// a lost connection, for what it missed), then extended by the events.
const RANGES = {600: 1, 3600: 5, 21600: 30, 86400: 120};  // seconds shown: the history's step
let range = +stored("pulley.range", "600");
if (!(range in RANGES))
  range = 600;
let chartOn = params.has("chart") ? params.get("chart") !== "0" : stored("pulley.chart", "1") === "1";
let trend = [], limits = {}, listedCasts = [], refetch = false;

function loadHistory() {
  refetch = false;
  fetch("history.json?seconds=" + range + "&step=" + RANGES[range], {cache: "no-store"})
    .then(answer => answer.json()).then(history => {
      const live = trend.filter(point => point.t > (history.points.length ? history.points.at(-1)[0] : 0));
      trend = history.points.map(([t, m, r]) => ({t, m, r})).concat(live);
      const liveTension = tensionTrend.filter(point => point.t > (history.points.length ? history.points.at(-1)[0] : 0));
      tensionTrend = (history.tension || []).filter(([, v]) => v !== null).map(([t, v]) => ({t, v})).concat(liveTension);
      limits = history.limits;
      drawTrend();
    }).catch(() => { refetch = true; });
}

function addToTrend(reading) {
  const t = Math.floor(Date.parse(reading.utc) / 1000) * 1000;
  const point = {t, m: reading.valid ? reading.metres : null, r: reading.valid ? reading.rate_m_per_min : null};
  const last = trend.at(-1);
  if (last && last.t === t)
    trend[trend.length - 1] = point;
  else if (!last || t > last.t)
    trend.push(point);
  else  // the feed's clock set back: what is newer than now is no trend
    trend = trend.filter(old => old.t < t).concat([point]);
  const oldest = t - range * 1000 - 60000;
  let drop = 0;
  while (drop < trend.length && trend[drop].t < oldest)
    drop++;
  if (drop > 0)
    trend.splice(0, drop);
}

// Round steps for an axis: 1, 2, 5 times a power of ten, or for time the
// minutes and hours a clock shows.
function niceStep(span, count) {
  const raw = span / count, power = Math.pow(10, Math.floor(Math.log10(raw)));
  return [1, 2, 5, 10].map(f => f * power).find(step => step >= raw);
}
const TIME_STEPS = [60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600].map(s => s * 1000);

function chartColours(canvas) {
  const css = getComputedStyle(canvas), colour = name => css.getPropertyValue(name).trim();
  return {bg: colour("--chart-bg"), grid: colour("--chart-grid"), text: colour("--chart-text"), line: colour("--chart-line"),
          rate: colour("--chart-rate"), limit: colour("--chart-limit"), cast: colour("--chart-cast"),
          tension: colour("--chart-tension")};
}

// A canvas sized to its box in device pixels; its context drawing in CSS pixels.
function canvasContext(canvas) {
  const box = canvas.getBoundingClientRect(), scale = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(box.width * scale)), height = Math.max(1, Math.round(box.height * scale));
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  const context = canvas.getContext("2d");
  context.setTransform(scale, 0, 0, scale, 0, 0);
  return [context, box.width, box.height];
}

// A trace through the points, broken where there is no value or a gap in
// time; many points to a pixel column are drawn as that column's extent.
function trace(context, points, x, y, value, gapMs) {
  context.beginPath();
  let previous = null, column = null, low = 0, high = 0;
  for (const point of points) {
    const v = value(point);
    if (v === null || v === undefined) {
      previous = null;
      continue;
    }
    const px = Math.round(x(point)), py = y(v);
    if (previous && point.t - previous.t <= gapMs && px === column) {
      low = Math.min(low, py);
      high = Math.max(high, py);
      context.lineTo(px, low);
      context.lineTo(px, high);
      context.lineTo(px, py);
    } else if (previous && point.t - previous.t <= gapMs) {
      context.lineTo(px, py);
    } else {
      context.moveTo(px, py);
      context.lineTo(px + 0.5, py);  // a lone point still shows
    }
    column = px;
    low = high = py;
    previous = point;
  }
  context.stroke();
}

// A line across the plot at y, or down it at x, on the pixel grid.
function lineAcross(g, y, left, right) {
  g.beginPath();
  g.moveTo(left, Math.round(y) + 0.5);
  g.lineTo(right, Math.round(y) + 0.5);
  g.stroke();
}
function lineDown(g, x, top, bottom) {
  g.beginPath();
  g.moveTo(Math.round(x) + 0.5, top);
  g.lineTo(Math.round(x) + 0.5, bottom);
  g.stroke();
}

// Where the trend goes on its canvas: the plot of wire out over the band of
// the tension (with a load cell) and the rate's, each with its scale, over
// the range shown.
function trendPlot(width, height, font) {
  const plot = {font, left: font * 4.2, right: width - font * 0.6, top: font * 0.6, bottom: height - font * 1.6};
  plot.tension = Boolean(latest && latest.tension) || tensionTrend.length > 0;
  const span = plot.bottom - plot.top;
  plot.split = plot.top + span * (plot.tension ? 0.48 : 0.72);
  plot.tensionTop = plot.split + font * 1.2;  // its top label clear of the count's lowest
  plot.tensionBottom = plot.top + span * 0.78;
  plot.rateTop = (plot.tension ? plot.tensionBottom : plot.split) + font * 0.6;
  plot.t1 = trend.length ? trend.at(-1).t : Date.now();
  plot.t0 = plot.t1 - range * 1000;
  plot.shown = trend.filter(point => point.t >= plot.t0);
  plot.values = plot.shown.filter(point => point.m !== null).map(point => inUnit(point.m));
  let lo = plot.values.length ? Math.min(...plot.values) : 0, hi = plot.values.length ? Math.max(...plot.values) : 10;
  plot.limits = [limits.above_m, limits.below_m, limits.reserve_m].filter(limit => limit !== null && limit !== undefined)
    .map(inUnit).filter(limit => limit >= lo - (hi - lo) - 20 && limit <= hi + (hi - lo) + 20);
  lo = Math.min(lo, ...plot.limits);
  hi = Math.max(hi, ...plot.limits);
  const pad = Math.max(1, (hi - lo) * 0.08);
  plot.lo = lo - pad;
  plot.hi = hi + pad;
  plot.x = point => plot.left + (point.t - plot.t0) / (plot.t1 - plot.t0) * (plot.right - plot.left);
  plot.y = v => plot.split - (v - plot.lo) / (plot.hi - plot.lo) * (plot.split - plot.top);
  const rates = plot.shown.filter(point => point.r !== null).map(point => Math.abs(rateInUnit(point.r)));
  plot.rateMax = Math.max(10, ...rates) * 1.1;
  plot.ry = r => (plot.rateTop + plot.bottom) / 2 - r / plot.rateMax * (plot.bottom - plot.rateTop) / 2;
  return plot;
}

// Casts as shaded spans.
function drawCastSpans(g, plot, colour) {
  const {x, t0, t1, top, bottom} = plot;
  g.fillStyle = colour.cast;
  const casts = listedCasts.map(cast => [Date.parse(cast.start_utc), cast.end_utc ? Date.parse(cast.end_utc) : t1]);
  if (latest && latest.cast)
    casts.push([Date.parse(latest.cast.start_utc), t1]);
  for (const [start, end] of casts)
    if (end >= t0 && start <= t1)
      g.fillRect(x({t: Math.max(start, t0)}), top, x({t: Math.min(end, t1)}) - x({t: Math.max(start, t0)}), bottom - top);
}

// The grid: values in the screen's unit, the rate's middle line and scale,
// UTC times; the limits dashed.
function drawGrid(g, plot, colour) {
  const {font, left, right, top, bottom, rateTop, x, y, ry, t0, t1} = plot;
  g.strokeStyle = colour.grid;
  g.fillStyle = colour.text;
  g.lineWidth = 1;
  g.textAlign = "right";
  g.textBaseline = "middle";
  const step = Math.max(1, niceStep(plot.hi - plot.lo, 4));  // whole metres or feet
  for (let v = Math.ceil(plot.lo / step) * step; v <= plot.hi; v += step) {
    lineAcross(g, y(v), left, right);
    g.fillText(Math.round(v) + " " + lengthUnit(), left - font * 0.3, y(v));
  }
  g.textAlign = "left";
  g.fillText("rate \u00b1" + Math.round(plot.rateMax / 1.1) + " " + rateUnit(), left + font * 0.3, rateTop + font * 0.4);
  lineAcross(g, ry(0), left, right);
  g.textAlign = "center";
  g.textBaseline = "top";
  const timeStep = TIME_STEPS.find(ms => (t1 - t0) / ms <= 6) || 21600000;
  for (let t = Math.ceil(t0 / timeStep) * timeStep; t <= t1; t += timeStep) {
    lineDown(g, x({t}), top, bottom);
    g.fillText(utcClock(t, false), x({t}), bottom + font * 0.3);
  }
  g.strokeStyle = colour.limit;
  g.setLineDash([6, 4]);
  for (const limit of plot.limits)
    lineAcross(g, y(limit), left, right);
  g.setLineDash([]);
}

function drawTrend() {
  const canvas = $("trend");
  if (!chartOn || canvas.offsetParent === null)
    return;
  const [g, width, height] = canvasContext(canvas), colour = chartColours(canvas);
  const plot = trendPlot(width, height, Math.max(11, Math.min(16, height / 16)));
  g.fillStyle = colour.bg;
  g.fillRect(0, 0, width, height);
  g.font = plot.font + "px sans-serif";
  drawCastSpans(g, plot, colour);
  drawGrid(g, plot, colour);
  // Wire out, and the rate in its band below.
  const gapMs = Math.max(3000, RANGES[range] * 2500);
  g.lineWidth = 2;
  g.strokeStyle = colour.rate;
  trace(g, plot.shown, plot.x, plot.ry, point => point.r === null ? null : rateInUnit(point.r), gapMs);
  g.strokeStyle = colour.line;
  trace(g, plot.shown, plot.x, plot.y, point => point.m === null ? null : inUnit(point.m), gapMs);
  if (plot.tension)
    drawTensionBand(g, plot, colour);
  // Where it drew, for those who check the drawing (the tests).
  const {t0, t1, lo, hi, left, right, top, split} = plot;
  Object.assign(canvas.dataset, {t0, t1, lo, hi, left, right, top, split, points: plot.values.length,
                                 tension: plot.tension ? tensionTrend.filter(point => point.t >= t0).length : 0});
}
