// The casts view: the list, and a recent cast's profile; the casts the trend shades.
function loadCasts(then) {
  fetch("casts.json", {cache: "no-store"}).then(answer => answer.json())
    .then(casts => { listedCasts = casts; drawTrend(); if (then) then(); }).catch(() => {});
}

function showCasts() {
  const rows = $("casts-rows");
  rows.textContent = "";
  for (const cast of [...listedCasts].reverse()) {
    const row = rows.insertRow();
    for (const text of [cast.cast + (cast.end_utc ? "" : " (under way)"), cast.start_utc.slice(0, 19).replace("T", " "),
                        clock(Math.round(cast.duration_s) * 1000), lengthText(cast.max_wire_out_m)])
      row.insertCell().textContent = text;
    row.addEventListener("click", () => showProfile(cast));
  }
  $("profile").hidden = true;
  $("casts").hidden = false;
}

function showProfile(cast) {
  const start = Date.parse(cast.start_utc), end = cast.end_utc ? Date.parse(cast.end_utc) : (trend.at(-1) || {t: Date.now()}).t;
  const newest = (trend.at(-1) || {t: Date.now()}).t, seconds = Math.ceil((newest - start) / 1000) + 1;
  $("profile").hidden = false;
  $("profile-title").textContent = "cast " + cast.cast + ": wire out against time, and the rate" +
    (latest && latest.tension ? " and the tension" : "") + " against wire out";
  if (seconds > 86400) {
    $("profile-title").textContent = "cast " + cast.cast + " is older than the 24 hours the feed keeps";
    for (const id of ["profile-time", "profile-rate", "profile-tension"])
      $(id).hidden = true;
    return;
  }
  fetch("history.json?seconds=" + seconds + "&step=" + Math.max(1, Math.ceil(seconds / 1200)), {cache: "no-store"})
    .then(answer => answer.json()).then(history => {
      const points = history.points.map(([t, m, r]) => ({t, m, r})).filter(p => p.t >= start && p.t <= end && p.m !== null);
      const gapMs = Math.max(3000, history.step_s * 2500), length = lengthUnit();
      drawProfile($("profile-time"), points, p => p.t, p => inUnit(p.m), t => utcClock(t, true), length, gapMs);
      drawProfile($("profile-rate"), points.filter(p => p.r !== null), p => inUnit(p.m), p => rateInUnit(p.r),
                  v => Math.round(v) + " " + length + " out", rateUnit(), gapMs);
      drawTensionProfile(history, start, end);
    }).catch(() => {});
  for (const id of ["profile-time", "profile-rate"])
    $(id).hidden = false;
}

// A cast's profile: the values up against time or wire out across, broken
// where the count was lost, with lines and labels at both ends and at zero.
function drawProfile(canvas, points, across, up, acrossLabel, upUnit, gapMs) {
  const [g, width, height] = canvasContext(canvas), colour = chartColours(canvas);
  g.fillStyle = colour.bg;
  g.fillRect(0, 0, width, height);
  if (points.length === 0)
    return;
  const xs = points.map(across), ys = points.map(up);
  const x0 = Math.min(...xs), x1 = Math.max(x0 + 1, ...xs), y0 = Math.min(0, ...ys), y1 = Math.max(y0 + 1, ...ys);
  const left = 80, right = width - 10, top = 10, bottom = height - 22;
  const x = point => left + (across(point) - x0) / (x1 - x0) * (right - left);
  const y = v => bottom - (v - y0) / (y1 - y0) * (bottom - top);
  g.font = "12px sans-serif";
  g.fillStyle = colour.text;
  g.strokeStyle = colour.grid;
  g.lineWidth = 1;
  g.textAlign = "right";
  g.textBaseline = "middle";
  for (const v of new Set([y0, 0, y1])) {
    lineAcross(g, y(v), left, right);
    g.fillText(Math.round(v) + " " + upUnit, left - 6, y(v));
  }
  g.textBaseline = "bottom";
  g.fillText(acrossLabel(x1), right, height - 2);
  g.textAlign = "left";
  g.fillText(acrossLabel(x0), left, height - 2);
  g.strokeStyle = colour.line;
  g.lineWidth = 2;
  trace(g, points, x, y, up, gapMs);
}
